// Whole-archive CAB extraction under hostile input: cabinet folders, file placement and sets.
#include "archive/extract/UnCAB.h"
#include "fuzz/ExtractorFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzExtract<TUnCAB>(data, size, "in.cab");
    return 0;
}
