// Unshrink under hostile input: any stream ends in output or a decoder
// error, with fixed memory.
#include <cstddef>
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/LegacyDecoders.h"
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unz::MemoryInputSource src(data, size);
    unz::MemberInput in(src, size);
    CountingSink sink;
    try {
        unz::Unshrink(in, sink);
    } catch (const E_RAISE&) {}
    return 0;
}
