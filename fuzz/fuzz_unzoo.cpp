// Whole-archive ZOO extraction under hostile input (see ExtractWalk.h).
#include "archive/extract/UnZOO.h"
#include "fuzz/ExtractWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TUnZOO x;
    fuzzExtract(x, "in.zoo", data, size);
    return 0;
}
