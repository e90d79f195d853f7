// The LArc decoders (-lzs-, -lz5-) under hostile input.  The first byte
// picks the method and the claimed unpacked size; the rest is the stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    dec::Params p;
    p.Size = (data[0] & 2) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    fuzzDecode((data[0] & 1) ? fmt::Codec::Lz5 : fmt::Codec::Lzs, data + 1, size - 1, p);
    return 0;
}
