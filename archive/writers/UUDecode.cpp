#include <algorithm>
#include <array>
#include <cstring>

#include "archive/writers/UUCodec.h"

namespace uucodec {

namespace {

constexpr std::uint8_t kBad = 0xFF;
constexpr std::uint8_t kBlank = 0xFE; // Base64: skipped
constexpr std::uint8_t kPad = 0xFD;   // Base64: '='

using Inverse = std::array<std::uint8_t, 256>;

Inverse makeInverse(Scheme s) {
    Inverse t;
    t.fill(kBad);
    const char* a = alphabet(s);
    for (int v = 0; v < 64; ++v) t[static_cast<unsigned char>(a[v])] = static_cast<std::uint8_t>(v);
    if (s == Scheme::UU) t[' '] = 0; // older encoders wrote blanks for zero
    if (s == Scheme::Base64) {
        for (unsigned char c : {' ', '\t', '\r', '\v', '\f'}) t[c] = kBlank;
        t['='] = kPad;
    }
    return t;
}

const Inverse& inverse(Scheme s) {
    static const Inverse uu = makeInverse(Scheme::UU), xx = makeInverse(Scheme::XX),
                         b64 = makeInverse(Scheme::Base64);
    return s == Scheme::UU ? uu : s == Scheme::XX ? xx : b64;
}

bool startsWith(const std::uint8_t* s, std::size_t len, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return len >= n && std::memcmp(s, prefix, n) == 0;
}

const char* beginWord(Scheme s) {
    return s == Scheme::Base64 ? "begin-base64 " : "begin ";
}

std::size_t trimmedLength(const std::uint8_t* s, std::size_t len) {
    while (len && (s[len - 1] == ' ' || s[len - 1] == '\t' || s[len - 1] == '\r')) --len;
    return len;
}

inline std::uint8_t* put3(std::uint8_t* d, std::uint32_t v) {
    d[0] = static_cast<std::uint8_t>(v >> 16);
    d[1] = static_cast<std::uint8_t>(v >> 8);
    d[2] = static_cast<std::uint8_t>(v);
    return d + 3;
}

// Whether a line is a well-formed data line of the scheme: its length
// character announces exactly the characters that follow (groups cut to
// the data or padded to four), all from the alphabet.
bool fits(const Inverse& t, const std::uint8_t* s, std::size_t len) {
    if (!len || t[s[0]] > 63) return false;
    const std::size_t n = t[s[0]];
    if (len != 1 + (n * 4 + 2) / 3 && len != 1 + (n + 2) / 3 * 4) return false;
    for (std::size_t i = 1; i < len; ++i)
        if (t[s[i]] > 63) return false;
    return true;
}

} // namespace

Decoder::Decoder(Scheme scheme, bool headers)
    : scheme_(scheme), headers_(headers), state_(headers ? State::Header : State::Data) {}

void Decoder::fail(const std::string& what) {
    if (state_ == State::Failed) return;
    state_ = State::Failed;
    error_ = what;
}

void Decoder::headerLine(const std::uint8_t* s, std::size_t len) {
    const char* word = beginWord(scheme_);
    if (!startsWith(s, len, word)) return;
    if (len >= kMaxHold) return fail("Invalid file name in the begin line");
    std::size_t i = std::strlen(word);
    while (i < len && s[i] == ' ') ++i;
    const std::size_t modeStart = i;
    while (i < len && s[i] != ' ') ++i;
    mode_ = -1;
    if (i > modeStart && i - modeStart <= 6) {
        int m = 0;
        std::size_t k = modeStart;
        for (; k < i && s[k] >= '0' && s[k] <= '7'; ++k) m = m * 8 + (s[k] - '0');
        if (k == i) mode_ = m & 07777;
    }
    name_.clear();
    for (++i; i < len; ++i)
        if (s[i] != '\r' && s[i] != '\n' && s[i] != '"') name_ += static_cast<char>(s[i]);
    headerSeen_ = true;
    state_ = State::Data;
}

// An over-long line is never the trailer, however it is cut into pieces.
bool Decoder::trailerLine(const std::uint8_t* s, std::size_t len) const {
    if (len >= kMaxHold) return false;
    len = trimmedLength(s, len);
    if (len == 3 && std::memcmp(s, "end", 3) == 0) return true;
    return scheme_ == Scheme::Base64 && len == 4 && std::memcmp(s, "====", 4) == 0;
}

void Decoder::lineUU(const std::uint8_t* s, std::size_t len, std::vector<std::uint8_t>& out) {
    if (!len) return; // a zero-length line whose blank was stripped
    const Inverse& t = inverse(scheme_);
    const std::size_t n = t[s[0]];
    if (n > 63) return fail("Line " + std::to_string(line_) + " is damaged");
    if (!n) return;
    const std::size_t at = out.size();
    out.resize(at + n + 3);
    std::uint8_t* d = out.data() + at;
    const std::uint8_t* c = s + 1;
    const std::size_t have = len - 1;

    std::size_t done = 0, pos = 0;
    // Whole groups that are all there.
    for (; done + 3 <= n && pos + 4 <= have; done += 3, pos += 4) {
        const std::uint8_t a = t[c[pos]], b = t[c[pos + 1]], e = t[c[pos + 2]], f = t[c[pos + 3]];
        if ((a | b | e | f) & 0xC0) return fail("Line " + std::to_string(line_) + " is damaged");
        d = put3(d, std::uint32_t(a) << 18 | std::uint32_t(b) << 12 | std::uint32_t(e) << 6 | f);
    }
    // The last group, and characters missing at the end of the line.
    for (; done < n; done += 3, pos += 4) {
        const std::size_t need = std::min<std::size_t>(n - done, 3) + 1;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint8_t x = 0;
            if (k < need && pos + k < have) {
                x = t[c[pos + k]];
                if (x > 63) return fail("Line " + std::to_string(line_) + " is damaged");
            }
            v = v << 6 | x;
        }
        d = put3(d, v);
    }
    out.resize(at + n);
}

void Decoder::stream64(const std::uint8_t* s, std::size_t len, std::vector<std::uint8_t>& out) {
    const Inverse& t = inverse(Scheme::Base64);
    const std::size_t at = out.size();
    out.resize(at + (len / 4 + 2) * 3);
    std::uint8_t* const base = out.data() + at;
    std::uint8_t* d = base;
    std::size_t i = 0;
    for (;;) {
        if (accN_ == 0)
            for (; i + 4 <= len; i += 4) {
                const std::uint8_t a = t[s[i]], b = t[s[i + 1]], e = t[s[i + 2]], f = t[s[i + 3]];
                if ((a | b | e | f) & 0xC0) break;
                d = put3(d, std::uint32_t(a) << 18 | std::uint32_t(b) << 12 |
                                std::uint32_t(e) << 6 | f);
            }
        if (i >= len) break;
        const std::uint8_t x = t[s[i++]];
        if (x < 64) {
            acc_ = acc_ << 6 | x;
            if (++accN_ == 4) {
                d = put3(d, acc_);
                acc_ = 0;
                accN_ = 0;
            }
        } else if (x == kPad) {
            // '=' closes the group early; further '=' are ignored.
            if (accN_ == 1) {
                out.resize(at + static_cast<std::size_t>(d - base));
                return fail("Line " + std::to_string(line_) + " is damaged");
            }
            if (accN_ == 2) *d++ = static_cast<std::uint8_t>(acc_ >> 4);
            if (accN_ == 3) {
                *d++ = static_cast<std::uint8_t>(acc_ >> 10);
                *d++ = static_cast<std::uint8_t>(acc_ >> 2);
            }
            acc_ = 0;
            accN_ = 0;
        } else if (x != kBlank) {
            out.resize(at + static_cast<std::size_t>(d - base));
            return fail("Line " + std::to_string(line_) + " is damaged");
        }
    }
    out.resize(at + static_cast<std::size_t>(d - base));
}

// Unpadded text ends with a group of two or three characters.
void Decoder::finish64(std::vector<std::uint8_t>& out) {
    if (accN_ == 1) return fail("Line " + std::to_string(line_) + " is damaged");
    if (accN_ == 2) out.push_back(static_cast<std::uint8_t>(acc_ >> 4));
    if (accN_ == 3) {
        out.push_back(static_cast<std::uint8_t>(acc_ >> 10));
        out.push_back(static_cast<std::uint8_t>(acc_ >> 2));
    }
    acc_ = 0;
    accN_ = 0;
}

void Decoder::trailer(std::vector<std::uint8_t>& out) {
    if (scheme_ == Scheme::Base64) finish64(out);
    if (state_ == State::Data) state_ = State::Done;
}

std::size_t Decoder::feed(const std::uint8_t* p, std::size_t n, bool last,
                          std::vector<std::uint8_t>& out) {
    std::size_t pos = 0;
    while (pos < n && (state_ == State::Header || state_ == State::Data)) {
        const std::uint8_t* s = p + pos;
        const std::size_t avail = n - pos;
        const auto* nl = static_cast<const std::uint8_t*>(std::memchr(s, '\n', avail));
        if (skipToEol_) {
            if (!nl) {
                pos = n;
                break;
            }
            pos += static_cast<std::size_t>(nl - s) + 1;
            skipToEol_ = false;
            ++line_;
            continue;
        }
        if (!nl && !last) {
            // More than kMaxHold bytes without a line end: whatever CR may
            // follow, the line is over-long.
            if (avail <= kMaxHold) break;
            // An over-long line: its start says all that matters.
            if (state_ == State::Header) {
                if (startsWith(s, avail, beginWord(scheme_)))
                    fail("Invalid file name in the begin line");
                else
                    skipToEol_ = true;
            } else if (scheme_ == Scheme::Base64) {
                stream64(s, avail, out);
                midLine_ = true;
            } else {
                lineUU(s, avail, out);
                skipToEol_ = true;
            }
            pos = n;
            break;
        }
        std::size_t len = nl ? static_cast<std::size_t>(nl - s) : avail;
        const std::size_t next = pos + len + (nl ? 1 : 0);
        if (len && s[len - 1] == '\r') --len;
        if (state_ == State::Header)
            headerLine(s, len);
        else if (!midLine_ && trailerLine(s, len))
            trailer(out);
        else if (scheme_ == Scheme::Base64)
            stream64(s, len, out);
        else
            lineUU(s, len, out);
        midLine_ = false;
        pos = next;
        ++line_;
    }
    if (last && pos == n) {
        if (state_ == State::Header)
            fail("No begin line found");
        else if (state_ == State::Data && headers_)
            fail("The text ends before its end line");
        else if (state_ == State::Data)
            trailer(out);
    }
    return pos;
}

bool detectScheme(const std::uint8_t* p, std::size_t n, Scheme& scheme) {
    std::size_t pos = 0;
    auto nextLine = [&](const std::uint8_t*& s, std::size_t& len) {
        if (pos >= n) return false;
        s = p + pos;
        const auto* nl = static_cast<const std::uint8_t*>(std::memchr(s, '\n', n - pos));
        len = nl ? static_cast<std::size_t>(nl - s) : n - pos;
        pos += len + (nl ? 1 : 0);
        if (len && s[len - 1] == '\r') --len;
        return true;
    };
    const std::uint8_t* s;
    std::size_t len;
    while (nextLine(s, len)) {
        if (startsWith(s, len, "begin-base64 ")) {
            scheme = Scheme::Base64;
            return true;
        }
        if (!startsWith(s, len, "begin ")) continue;
        int uu = 0, xx = 0;
        for (int lines = 0; lines < 64 && nextLine(s, len); ++lines) {
            if (trimmedLength(s, len) == 3 && std::memcmp(s, "end", 3) == 0) break;
            uu += fits(inverse(Scheme::UU), s, len);
            xx += fits(inverse(Scheme::XX), s, len);
        }
        scheme = xx > uu ? Scheme::XX : Scheme::UU;
        return true;
    }
    return false;
}

} // namespace uucodec
