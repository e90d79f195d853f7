// Whole-archive ARJ extraction under hostile input (see ExtractWalk.h).
#include "archive/extract/UnARJ.h"
#include "fuzz/ExtractWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TUnARJ x;
    fuzzExtract(x, "in.arj", data, size);
    return 0;
}
