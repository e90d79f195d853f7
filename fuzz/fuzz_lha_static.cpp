// The static Huffman decoder under hostile input.  The first byte picks
// the dictionary size (lh4 to lh7) and whether the claimed unpacked size is
// modest or absurd; the rest is the compressed stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static constexpr std::uint8_t kBits[4] = {12, 13, 15, 16};
    dec::Params p;
    p.Variant = kBits[data[0] & 3];
    p.Size = (data[0] & 4) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    fuzzDecode(fmt::Codec::LhaStatic, data + 1, size - 1, p);
    return 0;
}
