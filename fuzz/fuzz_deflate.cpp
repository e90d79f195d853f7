// The compressor under arbitrary input: at every level the stream must
// decode to the input again.  The first byte sets how many bytes each read
// of the input delivers (0: as many as asked for).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/extract/decoders/Inflate.h"
#include "archive/zip/Deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t step = data[0] ? data[0] : SIZE_MAX;
    ++data;
    --size;

    // One compressor per level, kept: their buffers are large.
    static std::array<std::unique_ptr<Deflater>, 10> byLevel;
    std::vector<std::uint8_t> packed, out;
    for (int level = 1; level <= 9; ++level) {
        auto& d = byLevel[static_cast<std::size_t>(level)];
        if (!d) d = std::make_unique<Deflater>(level);
        std::size_t pos = 0;
        packed.clear();
        d->Input = [&](std::uint8_t* buf, std::size_t cap) {
            const std::size_t n = std::min({cap, step, size - pos});
            std::memcpy(buf, data + pos, n);
            pos += n;
            return n;
        };
        d->Output = [&](std::uint8_t* p, std::size_t n) { packed.insert(packed.end(), p, p + n); };
        if (d->Deflate() != packed.size()) std::abort();
        out.clear();
        std::size_t unused = 0;
        if (inflateBuffer(packed, out, size + 1, &unused) != 0 || unused != 0) std::abort();
        if (out.size() != size || (size && std::memcmp(out.data(), data, size) != 0)) std::abort();
        // Never much larger than storing.
        if (packed.size() > size + 5 * (size / 65535 + 1) + 8) std::abort();
    }
    return 0;
}
