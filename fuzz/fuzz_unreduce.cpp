// Unreduce under hostile input.  The first byte picks the factor and
// whether the claimed unpacked size is modest or absurd; the rest is the
// compressed stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    dec::Params p;
    p.Variant = static_cast<std::uint8_t>((data[0] & 3) + 1);
    p.Size = (data[0] & 4) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    fuzzDecode(fmt::Codec::Unreduce, data + 1, size - 1, p);
    return 0;
}
