// Inflate under hostile input.  The first byte picks the mode:
//   bit 0 clear: one raw Deflate stream, input handed out in pieces whose
//                size comes from the rest of the first byte;
//   bit 0 set:   a chain of cabinet-style blocks sharing one window, each
//                block prefixed by a one-byte length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/extract/decoders/Inflate.h"

namespace {

constexpr std::size_t kOutLimit = 4u << 20;

struct Feed {
    const std::uint8_t* data;
    std::size_t size, pos = 0, step;
    std::ptrdiff_t operator()(std::uint8_t* buf, std::size_t cap) {
        const std::size_t n = std::min({cap, step, size - pos});
        std::memcpy(buf, data + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    static Inflater inf;
    std::size_t total = 0;
    std::uint8_t check = 0;
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        if (n == 0 || n > Inflater::kWindowSize) std::abort();
        total += n;
        // Touch every byte handed out so that the sanitizers see the reads.
        for (std::size_t i = 0; i < n; ++i) check ^= p[i];
        return total <= kOutLimit;
    };

    if (!(mode & 1)) {
        const std::size_t step = (mode >> 1) ? (mode >> 1) : SIZE_MAX;
        Feed feed{data, size, 0, step};
        inf.Input = std::ref(feed);
        const int rc = inf.Inflate();
        if (rc == 0 && inf.UnusedInput() > size) std::abort();
    } else {
        inf.Reset();
        std::size_t at = 0;
        while (at < size) {
            const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
            Feed feed{data + at + 1, n, 0, SIZE_MAX};
            inf.Input = std::ref(feed);
            if (inf.InflateNext() != 0) break;
            at += 1 + n;
        }
    }
    volatile std::uint8_t sink = check;
    (void)sink;
    return 0;
}
