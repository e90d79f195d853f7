// RAR archives, listed but not extracted: their method table.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace rar {

// Method codes are the method byte of RAR 1.5 to 4.x file headers, 0x30
// (stored) to 0x35 (best); RAR 5 compression levels map onto the same codes.
std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t method);

} // namespace rar
