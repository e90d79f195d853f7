// Explode under hostile input.  The first byte gives the general-purpose
// flags (window size, literal tree) and whether the claimed unpacked size
// is modest or absurd; the rest is the compressed stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    dec::Params p;
    p.Flags = data[0] & 6;
    p.Size = (data[0] & 1) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 12;
    fuzzDecode(fmt::Codec::Explode, data + 1, size - 1, p);
    return 0;
}
