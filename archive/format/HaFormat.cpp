#include "archive/format/HaFormat.h"

namespace ha {

namespace {
using fmt::Codec;
// 14 and 15 mark folder entries and special files, not compression.
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Cpy", Codec::None, 0},  {1, "Asc", Codec::None, 0},      {2, "HSC", Codec::None, 0},
    {14, "Dir", Codec::None, 0}, {15, "Special", Codec::None, 0},
};
} // namespace

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace ha
