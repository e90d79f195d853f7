#include "archive/format/RarFormat.h"

namespace rar {

namespace {
using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {0x30, "Stored", Codec::None, 0}, {0x31, "Fastest", Codec::None, 0},
    {0x32, "Fast", Codec::None, 0},   {0x33, "Normal", Codec::None, 0},
    {0x34, "Good", Codec::None, 0},   {0x35, "Best", Codec::None, 0},
};
} // namespace

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace rar
