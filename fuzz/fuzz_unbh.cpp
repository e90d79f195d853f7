// Whole-archive BH extraction under hostile input: BH headers, encryption and fused members.
#include "archive/extract/UnBH.h"
#include "fuzz/ExtractorFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzExtract<TUnBH>(data, size, "in.bh");
    return 0;
}
