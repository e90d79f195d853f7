// Unshrink under hostile input: any stream ends in output or a decoder
// error, with fixed memory.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzDecode(fmt::Codec::Unshrink, data, size, {});
    return 0;
}
