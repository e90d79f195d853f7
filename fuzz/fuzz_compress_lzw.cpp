// The LZW decoder of compress (.Z) under hostile input: the first byte is
// the flags byte of the file (widest code, block mode), the rest the codes.
// Any stream ends in output or a decoder error, with fixed memory.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    dec::Params p;
    p.Flags = data[0];
    fuzzDecode(fmt::Codec::CompressLzw, data + 1, size - 1, p);
    return 0;
}
