// The LZHUF decoder (-lh1-) under hostile input.  The first byte sets the
// claimed unpacked size, modest or absurd; the rest is the stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    dec::Params p;
    p.Size = (data[0] & 1) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    fuzzDecode(fmt::Codec::Lzhuf, data + 1, size - 1, p);
    return 0;
}
