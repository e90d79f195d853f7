// Target paths of extracted members.  Stored names come from other systems
// and other people: whatever they hold, the target stays inside ExtractDir.
#include <algorithm>
#include <cctype>
#include <vector>

#include "archive/core/ArcRoot.h"
#include "platform/FileSystem.h"

void TZipCommon::SetExtractDir(const std::string& Value) {
    std::string v = Value;
    if (v.empty()) v = plat::extractFileDir(ArchiveFile_);
    ExtractDir_ = v.empty() ? v : plat::includeTrailingDelimiter(v);
}

// Sets FileName to ExtractDir followed by the confined stored path.  A name
// whose file part is "." or ".." cannot be confined: FileName then ends
// with '/', which the extractors refuse as an invalid file name.
void TZipCommon::MakeFileName(const std::string& StoredName) {
    std::string name = StoredName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (ExtractDir_.empty()) SetExtractDir(ArchiveFolder());

    // A DOS drive ("C:" or "C:/") is dropped; other colons are ordinary
    // characters here.
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);

    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        parts.push_back(name.substr(start, slash - start));
        start = slash + 1;
    }
    std::string filePart = parts.back();
    parts.pop_back();
    if (filePart == "." || filePart == "..") filePart.clear();

    std::string folder = ExtractDir_;
    if (UseStoredDirs)
        for (const auto& p : parts)
            if (!p.empty() && p != "." && p != "..") folder += p + '/';
    FileName = folder + filePart;
}
