// Explode under hostile input.  The first byte gives the general-purpose
// flags (window size, literal tree) and whether the claimed unpacked size
// is modest or absurd; the rest is the compressed stream.
#include <cstddef>
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/LegacyDecoders.h"
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint16_t flags = data[0] & 6;
    const std::uint64_t unpacked =
        (data[0] & 1) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 12;
    unz::MemoryInputSource src(data + 1, size - 1);
    unz::MemberInput in(src, size - 1);
    CountingSink sink;
    try {
        unz::Explode(in, sink, flags, unpacked);
    } catch (const E_RAISE&) {}
    return 0;
}
