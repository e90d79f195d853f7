// Shared by the decoder fuzz targets: a sink that only counts and stops a
// decoder that writes more than any sane member would, and one call that
// runs a shared decoder over the fuzzer's bytes (for odd sizes handed over
// a few bytes and then many at a time, so that the decoders' buffers end
// everywhere).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

class PiecewiseSource : public dec::Source {
public:
    PiecewiseSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override {
        std::size_t k = step_ % 2 ? 1 + step_ / 2 % 7 : 64;
        ++step_;
        k = std::min({k, n, size_ - pos_});
        std::memcpy(buf, data_ + pos_, k);
        pos_ += k;
        return static_cast<std::int64_t>(k);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t step_ = 0;
};

inline void fuzzDecode(fmt::Codec codec, const std::uint8_t* data, std::size_t size,
                       const dec::Params& params) {
    // One decoder per codec, kept across runs as an extractor keeps them.
    static dec::DecoderSet decoders;
    dec::Decoder* decoder = decoders.get(codec);
    if (!decoder) return;
    dec::MemorySource whole(data, size);
    PiecewiseSource pieces(data, size);
    dec::Input in(size & 1 ? static_cast<dec::Source&>(pieces) : whole, size);
    CountingSink sink;
    try {
        decoder->decode(in, sink, params);
    } catch (const E_RAISE&) {}
}
