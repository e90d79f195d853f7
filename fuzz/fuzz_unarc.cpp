// Whole-archive ARC extraction under hostile input (see ExtractWalk.h).
#include "archive/extract/UnARC.h"
#include "fuzz/ExtractWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TUnARC x;
    fuzzExtract(x, "in.arc", data, size);
    return 0;
}
