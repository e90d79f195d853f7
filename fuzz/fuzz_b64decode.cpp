// The Base64 text decoder under hostile input; see TextDecoderFuzz.h.
#include "fuzz/TextDecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return textfuzz::run(uucodec::Scheme::Base64, data, size);
}
