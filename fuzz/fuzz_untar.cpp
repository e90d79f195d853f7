// Whole-archive TAR extraction under hostile input: the 512-byte header chain: long names, pax
// records, sparse maps, links.
#include "archive/extract/UnTAR.h"
#include "fuzz/ExtractorFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzExtract<TUnTAR>(data, size, "in.tar");
    return 0;
}
