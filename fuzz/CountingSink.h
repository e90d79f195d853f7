// Shared by the decoder fuzz targets: a sink that only counts and stops a
// decoder that writes more than any sane member would, and one call that
// runs a shared decoder over the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

class CountingSink : public dec::Sink {
public:
    bool write(const std::uint8_t*, std::size_t n) override {
        total += n;
        return total <= (64u << 20);
    }
    std::size_t total = 0;
};

inline void fuzzDecode(fmt::Codec codec, const std::uint8_t* data, std::size_t size,
                       const dec::Params& params) {
    // One decoder per codec, kept across runs as an extractor keeps them.
    static dec::DecoderSet decoders;
    dec::Decoder* decoder = decoders.get(codec);
    if (!decoder) return;
    dec::MemorySource src(data, size);
    dec::Input in(src, size);
    CountingSink sink;
    try {
        decoder->decode(in, sink, params);
    } catch (const E_RAISE&) {}
}
