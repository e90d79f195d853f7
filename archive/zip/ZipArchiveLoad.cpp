// Loading a ZIP archive's directory into the model, through the ZIP
// format module's rules: a plain archive, one behind a self-extractor
// stub, or a set of disks (floppies or split files).
#include <algorithm>
#include <cctype>

#include "archive/zip/ZipArchive.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/Endian.h"
#include "platform/FileSystem.h"

namespace {

bool readAt(TZlStream& s, std::int64_t pos, void* buf, std::size_t n) {
    if (pos < 0) return false;
    s.SetPosition(pos);
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n) {
        const std::size_t got = s.Read(p, n);
        if (got == 0) return false;
        p += got;
        n -= got;
    }
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "name.z01" -> "name.zip" (in the extension's case); empty for other names.
std::string lastOfSplit(const std::string& first) {
    const std::string ext = plat::extractFileExt(first);
    if (lower(ext) != ".z01") return {};
    return first.substr(0, first.size() - ext.size()) + (ext[1] == 'Z' ? ".ZIP" : ".zip");
}

[[noreturn]] void invalid(TZlArchive& a) {
    a.State = stInvalid;
    throw EZlZipInvalid();
}

} // namespace

void TZlZipArchive::loadProgress(std::uint64_t read, std::uint64_t total) {
    const std::uint64_t pct = total ? std::min<std::uint64_t>(100, read * 100 / total) : 100;
    try {
        Progress(static_cast<std::uint8_t>(pct));
    } catch (const EZlUserAbort&) {
        State = stInvalid;
        throw;
    }
}

void TZlZipArchive::addLoadedItem(const zip::CentralHeader& h, std::string name, std::string extra,
                                  std::string comment, std::int64_t delta) {
    auto item = std::make_unique<TZlZipItem>();
    item->DiskFileName = name;
    item->Record().Assign(h, std::move(name), std::move(extra), std::move(comment));
    // Offsets are kept as file positions, also behind a stub whose
    // offsets were never adjusted.
    item->SetRelativeOffsetOfLocalHeader(
        std::min<std::uint64_t>(h.LocalOffset, std::uint64_t{1} << 60) +
        static_cast<std::uint64_t>(delta));
    item->SetLastModFileTime(item->Record().LastModFileTime);
    item->SetLastModFileDate(item->Record().LastModFileDate);
    item->Action = iaNone;
    ItemList.push_back(std::move(item));
}

bool TZlZipArchive::lastDiskOfSet() {
    if (!ownsStream_ || fileName_.empty()) return false;
    TZlStream& s = *stream_;
    auto read = [&s](std::int64_t pos, void* buf, std::size_t n) { return readAt(s, pos, buf, n); };
    const auto end = zip::findEndRecord(read, s.Size());
    return end && end->DiskNumber > 0;
}

bool TZlZipArchive::detectSplit() {
    if (!ownsStream_ || fileName_.empty() || lower(plat::extractFileExt(fileName_)) != ".zip")
        return false;
    IsSplit = true;
    Footer.NumberOfThisDisk = 1; // DiskFileName(0) names the first split file
    const bool siblings = plat::fileExists(DiskFileName(0));
    IsSplit = false;
    Footer.NumberOfThisDisk = 0;
    if (!siblings) return false;
    TZlStream& s = *stream_;
    auto read = [&s](std::int64_t pos, void* buf, std::size_t n) { return readAt(s, pos, buf, n); };
    const auto end = zip::findEndRecord(read, s.Size());
    return end && end->DiskNumber > 0;
}

void TZlZipArchive::LoadArchive() {
    ItemList.clear();
    CurrentItem = nullptr;
    Footer = TZlZipDirectoryFileFooter();
    IsExecutable = IsSpanned = IsSplit = false;
    CurrentDisk = 0;
    StubSize = 0;
    offsetDelta_ = 0;
    IsDirty = false;

    TZlStream* s = Stream();
    const std::int64_t size = s ? s->Size() : 0;
    if (size == 0) {
        // A new or empty archive: nothing to read.
        loadProgress(0, 0);
        return;
    }
    std::uint8_t head[4] = {};
    if (!readAt(*s, 0, head, std::min<std::int64_t>(size, 4))) invalid(*this);

    if (detectSplit()) {
        IsSpanned = IsSplit = true;
        loadDiskSet();
    } else if (lastDiskOfSet()) {
        // The last disk of a set, which starts with member data or, when a
        // disk change fell between members, with a header.
        IsSpanned = true;
        loadDiskSet();
    } else if (head[0] == 'M' && head[1] == 'Z') {
        IsExecutable = true;
        loadSingleDisk();
    } else if (head[0] == 'P' && head[1] == 'K') {
        if (size >= 4 && plat::le32(head) == zip::kSpanSig) {
            IsSpanned = true;
            if (!ownsStream_ || fileName_.empty()) throw EZlZipBadSpanStream();
            const std::string last = lastOfSplit(fileName_);
            if (!last.empty() && plat::fileExists(last)) {
                // The first file of a split set: the set is read from its
                // last file.
                fileName_ = last;
                reopen();
                IsSplit = detectSplit();
            } else {
                ownedStream_.reset();
                stream_ = nullptr;
                requestDisk(true, 0);
                reopen();
            }
            loadDiskSet();
        } else {
            loadSingleDisk();
        }
    } else {
        invalid(*this);
    }
    loadProgress(1, 1);
    IsDirty = false;
}

void TZlZipArchive::loadSingleDisk() {
    TZlStream& s = *stream_;
    const std::int64_t size = s.Size();
    auto read = [&s](std::int64_t pos, void* buf, std::size_t n) { return readAt(s, pos, buf, n); };
    zip::Directory dir;
    if (zip::locateDirectory(read, size, 0, dir) != zip::DirStatus::Ok) invalid(*this);
    if (dir.End.DiskNumber != 0) {
        // The last disk of a set, opened by itself.
        IsSpanned = true;
        if (!ownsStream_ || fileName_.empty()) throw EZlZipBadSpanStream();
        loadDiskSet();
        return;
    }
    const zip::EndRecord& e = dir.End;
    offsetDelta_ = dir.OffsetDelta;
    Footer.NumberOfThisDisk = e.DiskNumber;
    Footer.DiskWithDirectory = e.DirDisk;
    Footer.EntriesOnThisDisk = e.Entries;
    Footer.TotalEntries = e.Entries;
    Footer.DirectorySize = e.DirSize;
    Footer.DirectoryOffset = e.DirOffset;
    Footer.Comment = e.Comment;

    std::uint64_t count = 0;
    std::vector<std::uint8_t> var;
    std::int64_t pos = dir.FirstCentral;
    const std::int64_t limit = e.DirEnd;
    while (pos >= 0 && pos + static_cast<std::int64_t>(zip::kCentralSize) <= limit) {
        std::uint8_t fixed[zip::kCentralSize];
        zip::CentralHeader h;
        if (!readAt(s, pos, fixed, sizeof fixed) || !zip::parseCentral(fixed, h)) break;
        var.resize(h.VariableLength());
        if (!var.empty() &&
            !readAt(s, pos + static_cast<std::int64_t>(zip::kCentralSize), var.data(), var.size()))
            invalid(*this);
        const auto* v = reinterpret_cast<const char*>(var.data());
        zip::applyZip64Extra(std::span(var.data() + h.NameLength, h.ExtraLength), h);
        addLoadedItem(h, std::string(v, h.NameLength), std::string(v + h.NameLength, h.ExtraLength),
                      std::string(v + h.NameLength + h.ExtraLength, h.CommentLength),
                      dir.OffsetDelta);
        pos += static_cast<std::int64_t>(h.TotalLength());
        loadProgress(++count, e.Entries);
    }

    if (IsExecutable) {
        // The stub is everything in front of the first member (or of the
        // directory when no record leads to a local header).  A record
        // whose offset points into the stub holds no member there and
        // does not cut the stub short: the save copies the stub, and a
        // broken record that is kept fails the save.
        const std::uint64_t dirPos = dir.FirstCentral >= 0
                                         ? static_cast<std::uint64_t>(dir.FirstCentral)
                                         : static_cast<std::uint64_t>(e.Pos);
        std::vector<std::uint64_t> offsets;
        for (const auto& i : ItemList) {
            const std::uint64_t o = static_cast<TZlZipItem&>(*i).RelativeOffsetOfLocalHeader();
            if (o < dirPos) offsets.push_back(o);
        }
        std::sort(offsets.begin(), offsets.end());
        offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
        StubSize = static_cast<std::int64_t>(dirPos);
        for (const std::uint64_t o : offsets) {
            std::uint8_t sig[4];
            if (readAt(s, static_cast<std::int64_t>(o), sig, sizeof sig) &&
                plat::le32(sig) == zip::kLocalSig) {
                StubSize = static_cast<std::int64_t>(o);
                break;
            }
        }
    }
}

void TZlZipArchive::loadDiskSet() {
    TZlStream& s = *stream_;
    auto read = [&s](std::int64_t pos, void* buf, std::size_t n) { return readAt(s, pos, buf, n); };
    const auto end = zip::findEndRecord(read, s.Size());
    if (!end) invalid(*this);
    Footer.NumberOfThisDisk = end->DiskNumber;
    Footer.DiskWithDirectory = end->DirDisk;
    Footer.EntriesOnThisDisk = end->Entries;
    Footer.TotalEntries = end->Entries;
    Footer.DirectorySize = end->DirSize;
    Footer.DirectoryOffset = end->DirOffset;
    Footer.Comment = end->Comment;
    CurrentDisk = end->DiskNumber;
    if (end->DirDisk > end->DiskNumber) invalid(*this);

    TZlDiskReader r(*this, end->DirDisk, end->DirOffset);
    std::vector<std::uint8_t> var;
    for (std::uint64_t i = 0; i < end->Entries; ++i) {
        std::uint8_t fixed[zip::kCentralSize];
        zip::CentralHeader h;
        r.ReadBuffer(fixed, sizeof fixed);
        if (!zip::parseCentral(fixed, h)) invalid(*this);
        var.resize(h.VariableLength());
        if (!var.empty()) r.ReadBuffer(var.data(), var.size());
        const auto* v = reinterpret_cast<const char*>(var.data());
        zip::applyZip64Extra(std::span(var.data() + h.NameLength, h.ExtraLength), h);
        if (h.DiskStart > end->DiskNumber) invalid(*this);
        addLoadedItem(h, std::string(v, h.NameLength), std::string(v + h.NameLength, h.ExtraLength),
                      std::string(v + h.NameLength + h.ExtraLength, h.CommentLength), 0);
        loadProgress(i + 1, end->Entries);
    }
}
