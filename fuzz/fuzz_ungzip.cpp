// Whole-archive GZIP extraction under hostile input: GZIP members one after another, and compress
// files.
#include "archive/extract/UnGZIP.h"
#include "fuzz/ExtractorFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzExtract<TUnGZIP>(data, size, "in.gz");
    return 0;
}
