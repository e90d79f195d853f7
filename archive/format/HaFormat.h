// HA archives, listed but not extracted: their method table.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace ha {

// Method codes are the low four bits of a member's type byte.
std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t method);

} // namespace ha
