#include <array>
#include <cstdio>
#include <cstring>

#include "archive/writers/UUCodec.h"

namespace uucodec {

namespace {

constexpr char kUU[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr char kXX[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for every 12-bit value, so a 3-byte group takes two
// lookups.
using PairTable = std::array<std::array<char, 2>, 4096>;

constexpr PairTable makePairs(const char* a) {
    PairTable t{};
    for (int v = 0; v < 4096; ++v) t[v] = {a[v >> 6], a[v & 63]};
    return t;
}

constexpr PairTable kPairsUU = makePairs(kUU);
constexpr PairTable kPairsXX = makePairs(kXX);
constexpr PairTable kPairs64 = makePairs(kB64);

const PairTable& pairs(Scheme s) {
    return s == Scheme::UU ? kPairsUU : s == Scheme::XX ? kPairsXX : kPairs64;
}

inline std::uint8_t* group(const PairTable& t, const std::uint8_t* in, std::uint8_t* o) {
    const std::uint32_t v = std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
    std::memcpy(o, t[v >> 12].data(), 2);
    std::memcpy(o + 2, t[v & 0xFFF].data(), 2);
    return o + 4;
}

template <std::size_t Groups, bool LengthChar, bool Crlf>
std::size_t lines(const PairTable& t, char lengthChar, const std::uint8_t* in, std::size_t n,
                  std::uint8_t* out) {
    std::uint8_t* o = out;
    for (std::size_t i = 0; i < n; ++i) {
        if constexpr (LengthChar) *o++ = static_cast<std::uint8_t>(lengthChar);
        for (std::size_t g = 0; g < Groups; ++g, in += 3) o = group(t, in, o);
        if constexpr (Crlf) *o++ = '\r';
        *o++ = '\n';
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t eolSize(const Layout& l) {
    return l.crlf ? 2 : 1;
}

std::uint8_t* eol(const Layout& l, std::uint8_t* o) {
    if (l.crlf) *o++ = '\r';
    *o++ = '\n';
    return o;
}

} // namespace

const char* alphabet(Scheme s) {
    return s == Scheme::UU ? kUU : s == Scheme::XX ? kXX : kB64;
}

std::string headerLine(const Layout& l, unsigned fileMode, const std::string& name) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%.4u", fileMode & 0xFFFFu);
    std::string safe = name;
    for (char& c : safe)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    std::string line = l.scheme == Scheme::Base64 ? "begin-base64 " : "begin ";
    line += mode;
    line += ' ';
    line += safe;
    line += l.crlf ? "\r\n" : "\n";
    return line;
}

std::size_t linesSize(const Layout& l, std::size_t n) {
    const std::size_t chars = lineBytes(l.scheme) / 3 * 4 + (l.scheme == Scheme::Base64 ? 0 : 1);
    return n * (chars + eolSize(l));
}

std::uint64_t textSize(const Layout& l, std::uint64_t dataSize, std::size_t headerSize) {
    const std::uint64_t lb = lineBytes(l.scheme);
    const std::uint64_t rem = dataSize % lb;
    std::uint64_t size = headerSize + linesSize(l, 1) * (dataSize / lb);
    if (l.scheme != Scheme::Base64)
        size += 1 + (rem * 4 + 2) / 3 + eolSize(l) + (rem ? 1 + eolSize(l) : 0);
    else if (rem)
        size += (rem + 2) / 3 * 4 + eolSize(l);
    if (l.headers) size += l.scheme == Scheme::Base64 ? 4 : 3;
    return size + eolSize(l);
}

std::size_t encodeLines(const Layout& l, const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    const PairTable& t = pairs(l.scheme);
    if (l.scheme == Scheme::Base64)
        return l.crlf ? lines<19, false, true>(t, 0, in, n, out)
                      : lines<19, false, false>(t, 0, in, n, out);
    const char len = alphabet(l.scheme)[45];
    return l.crlf ? lines<15, true, true>(t, len, in, n, out)
                  : lines<15, true, false>(t, len, in, n, out);
}

std::size_t encodeTail(const Layout& l, const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    const PairTable& t = pairs(l.scheme);
    const bool b64 = l.scheme == Scheme::Base64;
    std::uint8_t* o = out;
    if (!b64 || n) {
        if (!b64) *o++ = static_cast<std::uint8_t>(alphabet(l.scheme)[n]);
        std::size_t left = n;
        for (; left >= 3; left -= 3, in += 3) o = group(t, in, o);
        if (left) {
            const std::uint8_t last[3] = {in[0], left > 1 ? in[1] : std::uint8_t(0), 0};
            std::uint8_t chars[4];
            group(t, last, chars);
            // Only the characters that carry data; Base64 pads with '='.
            std::memcpy(o, chars, left + 1);
            o += left + 1;
            if (b64)
                for (std::size_t i = left + 1; i < 4; ++i) *o++ = '=';
        }
        o = eol(l, o);
        // The data ends with a line of length zero.
        if (!b64 && n) {
            *o++ = static_cast<std::uint8_t>(alphabet(l.scheme)[0]);
            o = eol(l, o);
        }
    }
    if (l.headers) {
        const char* trailer = b64 ? "====" : "end";
        const std::size_t len = std::strlen(trailer);
        std::memcpy(o, trailer, len);
        o += len;
    }
    return static_cast<std::size_t>(eol(l, o) - out);
}

} // namespace uucodec
