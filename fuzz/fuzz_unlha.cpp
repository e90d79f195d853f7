// Whole-archive LHA extraction under hostile input (see ExtractWalk.h).
#include "archive/extract/UnLHA.h"
#include "fuzz/ExtractWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TUnLHA x;
    fuzzExtract(x, "in.lzh", data, size);
    return 0;
}
