#include "archive/format/Format.h"

#include <algorithm>

#include "platform/Utf.h"

namespace fmt {

const MethodInfo* findMethod(std::span<const MethodInfo> table, std::uint32_t code) {
    for (const MethodInfo& m : table)
        if (m.Code == code) return &m;
    return nullptr;
}

namespace {
std::string_view upToZero(std::string_view raw) {
    auto zero = raw.find('\0');
    return zero == std::string_view::npos ? raw : raw.substr(0, zero);
}
} // namespace

std::string storedName(std::string_view raw) {
    std::string s = plat::decodeStoredName(upToZero(raw));
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string commentText(std::string_view raw) {
    return plat::decodeStoredName(upToZero(raw));
}

} // namespace fmt
