// Runs one of the shared decoders over a stream held in memory, for decoder
// tests: the output, the error code and where it stopped.
#pragma once

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

inline dec::Params params(std::uint64_t size, std::uint16_t flags = 0, std::uint8_t variant = 0) {
    dec::Params p;
    p.Size = size;
    p.Flags = flags;
    p.Variant = variant;
    return p;
}

} // namespace testsupport
