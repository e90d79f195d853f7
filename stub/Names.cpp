#include "stub/Names.h"

#include <cctype>

namespace sfx {

std::optional<PathParts> confinedPath(const std::string& stored) {
    std::string name = stored;
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);

    PathParts parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        std::string part = name.substr(start, slash - start);
        if (!part.empty() && part != "." && part != "..") parts.push_back(std::move(part));
        start = slash + 1;
    }
    if (parts.empty()) return std::nullopt;
    return parts;
}

std::string joinPath(const PathParts& path) {
    std::string s;
    for (const std::string& p : path) {
        if (!s.empty()) s += '/';
        s += p;
    }
    return s;
}

} // namespace sfx
