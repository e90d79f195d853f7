// Text encodings: UTF-8 checks, UTF-16 and the DOS code page 437 that old
// archives store their names in.
#pragma once

#include <string>
#include <string_view>

namespace plat {

bool isValidUtf8(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
std::u16string utf8ToUtf16(std::string_view s);
std::string cp437ToUtf8(std::string_view s);
// A stored archive name as the user sees it: kept when it is valid UTF-8,
// else decoded from CP437.
std::string decodeStoredName(std::string_view s);

} // namespace plat
