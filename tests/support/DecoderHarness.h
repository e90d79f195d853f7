// Runs one of the shared decoders over a stream held in memory, for decoder
// tests: the output, the error code and where it stopped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace testsupport {

// Collects the output; refuses (a short write) beyond `limit` bytes.
class StringSink : public dec::Sink {
public:
    bool write(const std::uint8_t* buf, std::size_t n) override {
        text.append(reinterpret_cast<const char*>(buf), n);
        return text.size() <= limit;
    }
    std::string text;
    std::size_t limit = SIZE_MAX;
};

struct DecodeResult {
    int code = 0;     // 0, or the error the decoder stopped with
    std::string text; // what it wrote
};

inline DecodeResult decodeWith(fmt::Codec codec, const std::vector<std::uint8_t>& stream,
                               dec::Params params = {}, std::size_t limit = SIZE_MAX) {
    DecodeResult r;
    auto d = dec::DecoderTable::instance().make(codec);
    if (!d) {
        r.code = err::UnsupportedMethod;
        return r;
    }
    dec::MemorySource src(stream.data(), stream.size());
    dec::Input in(src, stream.size());
    StringSink sink;
    sink.limit = limit;
    try {
        d->decode(in, sink, params);
    } catch (const E_RAISE& e) {
        r.code = e.Code;
    }
    r.text = std::move(sink.text);
    return r;
}

// Hands out a few bytes (1 to `few`), then `many`, and so on, so that a
// decoder's input ends at every possible position of its buffers.
class PiecewiseSource : public dec::Source {
public:
    PiecewiseSource(const std::vector<std::uint8_t>& data, std::size_t few, std::size_t many)
        : data_(data), few_(few), many_(many) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override {
        const std::size_t want = step_ % 2 ? 1 + step_ / 2 % few_ : many_;
        ++step_;
        const std::size_t k = std::min({n, data_.size() - pos_, want});
        std::copy(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                  data_.begin() + static_cast<std::ptrdiff_t>(pos_ + k), buf);
        pos_ += k;
        return static_cast<std::int64_t>(k);
    }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t few_, many_;
    std::size_t pos_ = 0;
    std::size_t step_ = 0;
};

// decodeWith, the stream handed over in pieces.
inline DecodeResult decodeInPieces(fmt::Codec codec, const std::vector<std::uint8_t>& stream,
                                   dec::Params params, std::size_t few = 7, std::size_t many = 64) {
    DecodeResult r;
    auto d = dec::DecoderTable::instance().make(codec);
    if (!d) {
        r.code = err::UnsupportedMethod;
        return r;
    }
    PiecewiseSource src(stream, few, many);
    dec::Input in(src, stream.size());
    StringSink sink;
    try {
        d->decode(in, sink, params);
    } catch (const E_RAISE& e) {
        r.code = e.Code;
    }
    r.text = std::move(sink.text);
    return r;
}

inline dec::Params params(std::uint64_t size, std::uint16_t flags = 0, std::uint8_t variant = 0) {
    dec::Params p;
    p.Size = size;
    p.Flags = flags;
    p.Variant = variant;
    return p;
}

} // namespace testsupport
