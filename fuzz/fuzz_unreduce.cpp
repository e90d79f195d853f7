// Unreduce under hostile input.  The first byte picks the factor and
// whether the claimed unpacked size is modest or absurd; the rest is the
// compressed stream.
#include <cstddef>
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/LegacyDecoders.h"
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int factor = (data[0] & 3) + 1;
    const std::uint64_t unpacked =
        (data[0] & 4) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    unz::MemoryInputSource src(data + 1, size - 1);
    unz::MemberInput in(src, size - 1);
    CountingSink sink;
    try {
        unz::Unreduce(in, sink, factor, unpacked);
    } catch (const E_RAISE&) {}
    return 0;
}
