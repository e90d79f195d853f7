// Whole-buffer helpers over the streaming text coder, for tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/writers/UUCodec.h"

namespace texttest {

using Bytes = std::vector<std::uint8_t>;

inline std::string encode(const Bytes& data, uucodec::Scheme s, bool headers = true,
                          bool crlf = false, unsigned mode = 644,
                          const std::string& name = "data.bin") {
    const uucodec::Layout l{s, headers, crlf};
    std::string text = headers ? uucodec::headerLine(l, mode, name) : "";
    const std::size_t lb = uucodec::lineBytes(s), lines = data.size() / lb;
    std::string body(uucodec::linesSize(l, lines) + uucodec::kTailCapacity, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(body.data());
    std::size_t n = uucodec::encodeLines(l, data.data(), lines, out);
    n += uucodec::encodeTail(l, data.data() + lines * lb, data.size() % lb, out + n);
    body.resize(n);
    return text + body;
}

struct Decoded {
    Bytes data;
    bool ok = false;
    std::string error, name;
    int mode = -1;
};

// Decodes text offered in pieces of `piece` bytes (0: all at once), the
// way a reader with a small buffer would.
inline Decoded decode(const std::string& text, uucodec::Scheme s, bool headers = true,
                      std::size_t piece = 0) {
    uucodec::Decoder d(s, headers);
    Decoded r;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t at = 0, offered = piece ? std::min(piece, text.size()) : text.size();
    for (;;) {
        const bool last = offered == text.size();
        at += d.feed(p + at, offered - at, last, r.data);
        if (d.done() || d.failed() || last) break;
        offered = std::min(text.size(), offered + piece);
    }
    r.ok = d.done();
    r.error = d.error();
    r.name = d.name();
    r.mode = d.mode();
    return r;
}

inline Bytes randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(g());
    return b;
}

inline Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

} // namespace texttest
