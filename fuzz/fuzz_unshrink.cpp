// Unshrink under hostile input: any stream ends in output or a decoder
// error, with fixed memory.
#include <cstddef>
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/LegacyDecoders.h"

namespace {

class CountingSink : public unz::OutputSink {
public:
    bool write(const std::uint8_t*, std::size_t n) override {
        total += n;
        return total <= (64u << 20);
    }
    std::size_t total = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unz::MemoryInputSource src(data, size);
    unz::MemberInput in(src, size);
    CountingSink sink;
    try {
        unz::Unshrink(in, sink);
    } catch (const E_RAISE&) {}
    return 0;
}
