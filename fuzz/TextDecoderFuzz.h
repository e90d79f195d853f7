// The text decoders under hostile input.  The first byte picks the options:
//   bit 0:     the text has headers;
//   bit 1:     CRLF line ends for the round trip;
//   bits 2..7: size of the pieces the text is offered in (0: all at once).
// Decoding in pieces must give exactly what decoding at once gives, with
// bounded output, and the input taken as a file must survive a round trip.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/writers/UUCodec.h"

namespace textfuzz {

struct Result {
    std::vector<std::uint8_t> data;
    bool done = false;
    std::string error, name;
    int mode = -1;
    bool operator==(const Result&) const = default;
};

inline Result decode(uucodec::Scheme s, bool headers, const std::uint8_t* p, std::size_t n,
                     std::size_t piece) {
    uucodec::Decoder d(s, headers);
    Result r;
    std::size_t at = 0, offered = piece ? std::min(piece, n) : n;
    for (;;) {
        const bool last = offered == n;
        const std::size_t before = at;
        const std::size_t used = d.feed(p + at, offered - at, last, r.data);
        if (used > offered - at) std::abort();
        at += used;
        if (d.done() || d.failed() || last) break;
        if (!used && offered - before > uucodec::Decoder::kMaxHold) std::abort();
        offered = std::min(n, offered + piece);
    }
    if (d.done() == d.failed()) std::abort(); // the end of the text decides
    if (r.data.size() > 64 * (n + 1)) std::abort();
    r.done = d.done();
    r.error = d.error();
    r.name = d.name();
    r.mode = d.mode();
    return r;
}

inline std::vector<std::uint8_t> encode(uucodec::Scheme s, bool headers, bool crlf,
                                        const std::uint8_t* p, std::size_t n) {
    const uucodec::Layout l{s, headers, crlf};
    const std::string head = headers ? uucodec::headerLine(l, 644, "f") : "";
    const std::size_t lb = uucodec::lineBytes(s), lines = n / lb;
    std::vector<std::uint8_t> text(head.begin(), head.end());
    const std::size_t at = text.size();
    text.resize(at + uucodec::linesSize(l, lines) + uucodec::kTailCapacity);
    std::size_t k = uucodec::encodeLines(l, p, lines, text.data() + at);
    k += uucodec::encodeTail(l, p + lines * lb, n % lb, text.data() + at + k);
    text.resize(at + k);
    if (text.size() != uucodec::textSize(l, n, head.size())) std::abort();
    return text;
}

inline int run(uucodec::Scheme s, const std::uint8_t* data, std::size_t size) {
    if (!size) return 0;
    const bool headers = data[0] & 1, crlf = data[0] & 2;
    const std::size_t piece = static_cast<std::size_t>(data[0] >> 2) * 97;
    ++data;
    --size;

    const Result whole = decode(s, headers, data, size, 0);
    if (piece && !(decode(s, headers, data, size, piece) == whole)) std::abort();
    uucodec::Scheme found;
    (void)uucodec::detectScheme(data, size, found);

    const std::vector<std::uint8_t> text = encode(s, headers, crlf, data, size);
    const Result back = decode(s, headers, text.data(), text.size(), piece);
    if (!back.done || back.data != std::vector<std::uint8_t>(data, data + size)) std::abort();
    return 0;
}

} // namespace textfuzz
