// Deflate decoder, also for Deflate64 (a 64 KB window, length code 285
// with 16 extra bits, distance codes 30 and 31).  The hot loop keeps the bit buffer, the input and
// the output pointers in locals (stores through the output pointer would otherwise force reloads of
// every member), refills the 64-bit bit buffer eight bytes at a time and decodes from a contiguous
// window that slides by 32 KB, so matches never wrap.
#include "archive/extract/decoders/Inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"
#include "archive/extract/MatchCopy.h"

namespace {

constexpr std::size_t kWin = Inflater::kWindowSize;
constexpr std::size_t kMaxHist = 65536;
// Deflate64's longest match.
constexpr std::size_t kMaxMatch64 = 65538;
// History (32 or 64 KB), the active part (32 KB), then room for the longest
// match plus the overshoot of wide copies past the flush point.
constexpr std::size_t kWinBuf = kMaxHist + kWin + kMaxMatch64 + 512;
// Leftover bytes (at most 7) are moved to the front before each refill.
constexpr std::size_t kInBuf = kWin + 16;

constexpr unsigned kLitRoot = 11;
constexpr unsigned kDistRoot = 8;
constexpr unsigned kLenRoot = 7;
// Root table plus at most one sub-table per long code, each no wider than
// the longest code (15 bits) minus the root.
constexpr std::size_t kLitTable = (1u << kLitRoot) + 288 * (1u << (15 - kLitRoot));
constexpr std::size_t kDistTable = (1u << kDistRoot) + 32 * (1u << (15 - kDistRoot));
constexpr std::size_t kLenTable = 1u << kLenRoot;

// Table entry layout:
//   bits 0-4   bits to drop (code length plus extra bits; the root width for
//              a sub-table link)
//   bit  5     exceptional: value 0 = end of block, 1 = invalid code
//   bit  6     link to a sub-table: value = its start, bits 8-11 = its width
//   bit  7     literal: value = the byte
//   bits 8-11  code length (length and distance codes)
//   bits 12-15 extra bits
//   bits 16-31 value: literal, base length or base distance
constexpr std::uint32_t kExc = 0x20;
constexpr std::uint32_t kSub = 0x40;
constexpr std::uint32_t kLit = 0x80;
constexpr std::uint32_t kEndOfBlock = kExc;
constexpr std::uint32_t kInvalid = kExc | (1u << 16);

constexpr std::uint16_t kLenBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                        15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kLenOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// What each symbol decodes to, before the code length is filled in, and
// the extra bits that follow its code.
struct Templates {
    std::array<std::uint32_t, 288> lit{};
    std::array<std::uint8_t, 288> litExtra{};
    std::array<std::uint32_t, 32> dist{};
    std::array<std::uint8_t, 32> distExtra{};
    std::array<std::uint32_t, 19> len{};
    std::array<std::uint8_t, 19> lenExtra{};
    constexpr explicit Templates(bool deflate64) {
        for (unsigned s = 0; s < 256; ++s) lit[s] = kLit | (s << 16);
        lit[256] = kEndOfBlock;
        for (unsigned s = 257; s < 286; ++s) {
            lit[s] = std::uint32_t(kLenBase[s - 257]) << 16;
            litExtra[s] = kLenExtra[s - 257];
        }
        lit[286] = lit[287] = kInvalid;
        for (unsigned s = 0; s < 30; ++s) {
            dist[s] = std::uint32_t(kDistBase[s]) << 16;
            distExtra[s] = kDistExtra[s];
        }
        dist[30] = dist[31] = kInvalid;
        if (deflate64) {
            lit[285] = 3u << 16;
            litExtra[285] = 16;
            dist[30] = 32769u << 16;
            dist[31] = 49153u << 16;
            distExtra[30] = distExtra[31] = 14;
        }
        for (unsigned s = 0; s < 19; ++s) len[s] = s << 16;
    }
};
constexpr Templates kTemplates[2] = {Templates(false), Templates(true)};

// Builds a canonical Huffman look-up table.  Refuses over-subscribed sets and
// incomplete ones, except the empty set and a single code of length 1.
bool buildTable(std::uint32_t* table, std::size_t capacity, unsigned root, const std::uint8_t* lens,
                unsigned n, const std::uint32_t* templ, const std::uint8_t* extras) {
    unsigned count[16] = {};
    for (unsigned s = 0; s < n; ++s) count[lens[s]]++;
    count[0] = 0;
    unsigned maxLen = 15;
    while (maxLen > 0 && count[maxLen] == 0) --maxLen;
    const std::size_t rootSize = std::size_t(1) << root;
    if (maxLen == 0) {
        std::fill(table, table + rootSize, kInvalid);
        return true;
    }
    int left = 1;
    for (unsigned l = 1; l <= 15; ++l) {
        left = (left << 1) - int(count[l]);
        if (left < 0) return false;
    }
    if (left > 0) {
        if (maxLen != 1) return false;
        std::fill(table, table + rootSize, kInvalid);
    }

    unsigned offs[16];
    offs[1] = 0;
    for (unsigned l = 1; l < 15; ++l) offs[l + 1] = offs[l] + count[l];
    std::uint16_t sorted[288];
    for (unsigned s = 0; s < n; ++s)
        if (lens[s]) sorted[offs[lens[s]]++] = std::uint16_t(s);
    const unsigned total = offs[15];

    unsigned remaining[16];
    std::copy(count, count + 16, remaining);
    std::uint32_t code = 0; // bit-reversed, as the bits arrive
    std::size_t next = rootSize;
    std::uint32_t curPrefix = ~0u;
    std::size_t subStart = 0;
    unsigned subWidth = 0;
    for (unsigned i = 0; i < total; ++i) {
        const unsigned s = sorted[i];
        const unsigned len = lens[s];
        const std::uint32_t t = templ[s];
        const unsigned extra = extras[s];
        if (len <= root) {
            const std::uint32_t e = t | (len << 8) | (len + extra);
            for (std::size_t k = code; k < rootSize; k += std::size_t(1) << len) table[k] = e;
        } else {
            const std::uint32_t prefix = code & (rootSize - 1);
            if (prefix != curPrefix) {
                unsigned w = len - root;
                int room = 1 << w;
                for (unsigned l = len; l < maxLen; ++l) {
                    room -= int(remaining[l]);
                    if (room <= 0) break;
                    ++w;
                    room <<= 1;
                }
                if (next + (std::size_t(1) << w) > capacity) return false;
                subStart = next;
                subWidth = w;
                next += std::size_t(1) << w;
                curPrefix = prefix;
                table[prefix] = kSub | (w << 8) | root | (std::uint32_t(subStart) << 16);
            }
            const unsigned sl = len - root;
            if (sl > subWidth) return false;
            const std::uint32_t e = t | (sl << 8) | (sl + extra);
            for (std::size_t k = code >> root; k < (std::size_t(1) << subWidth);
                 k += std::size_t(1) << sl)
                table[subStart + k] = e;
        }
        remaining[len]--;
        std::uint32_t bit = 1u << (len - 1);
        while (code & bit) bit >>= 1;
        code = bit ? (code & (bit - 1)) | bit : 0;
    }
    return true;
}

struct FixedTables {
    std::array<std::uint32_t, kLitTable> lit;
    std::array<std::uint32_t, kDistTable> dist;
    explicit FixedTables(const Templates& t) {
        std::uint8_t lens[288];
        std::fill(lens, lens + 144, 8);
        std::fill(lens + 144, lens + 256, 9);
        std::fill(lens + 256, lens + 280, 7);
        std::fill(lens + 280, lens + 288, 8);
        buildTable(lit.data(), lit.size(), kLitRoot, lens, 288, t.lit.data(), t.litExtra.data());
        std::fill(lens, lens + 32, 5);
        buildTable(dist.data(), dist.size(), kDistRoot, lens, 32, t.dist.data(),
                   t.distExtra.data());
    }
};

const FixedTables& fixedTables(bool deflate64) {
    static const FixedTables plain(kTemplates[0]), wide(kTemplates[1]);
    return deflate64 ? wide : plain;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

} // namespace

struct Inflater::State {
    alignas(64) std::uint8_t win[kWinBuf];
    alignas(64) std::uint8_t inbuf[kInBuf];
    std::uint32_t lit[kLitTable];
    std::uint32_t dist[kDistTable];
    std::uint32_t lenTable[kLenTable];

    std::uint8_t* out = nullptr;       // next byte to write
    std::uint8_t* flushed = nullptr;   // first byte not yet handed to the sink
    std::uint8_t* histStart = nullptr; // first byte a match may reach
    const std::uint8_t* in = nullptr;
    const std::uint8_t* inEnd = nullptr;
    std::size_t hist = kWin; // history a match may reach: 32 KB, 64 KB for Deflate64
    bool deflate64 = false;
    std::uint64_t bitbuf = 0;
    unsigned bitcnt = 0;
    unsigned overrun = 0; // zero bytes supplied past the end of the input
    bool eof = false;
    int error = 0;
};

Inflater::Inflater(bool deflate64) : s_(std::make_unique<State>()) {
    // Wide match copies read a few bytes past what was written.
    std::memset(s_->win, 0, sizeof s_->win);
    s_->deflate64 = deflate64;
    s_->hist = deflate64 ? kMaxHist : kWin;
    Reset();
}
Inflater::~Inflater() = default;

void Inflater::Reset() {
    s_->out = s_->flushed = s_->histStart = s_->win + s_->hist;
}

int Inflater::Inflate() {
    Reset();
    return run();
}

int Inflater::InflateNext() {
    return run();
}

namespace {

// Decoder for one call: owns nothing, works on the Inflater's state.
class Decoder {
public:
    Decoder(Inflater::State& s, const Inflater::InputFn& input, const Inflater::OutputFn& output)
        : s(s), input(input), output(output) {}

    int stream();
    int flush();
    std::uint64_t produced = 0;

private:
    Inflater::State& s;
    const Inflater::InputFn& input;
    const Inflater::OutputFn& output;

    int fillInput();
    int need(unsigned n);
    std::uint32_t bits(unsigned n) {
        const std::uint32_t v = std::uint32_t(s.bitbuf & ((std::uint64_t(1) << n) - 1));
        s.bitbuf >>= n;
        s.bitcnt -= n;
        return v;
    }
    int slide();
    int stored();
    int dynamicTables();
    template <bool D64> int huffman(const std::uint32_t* lt, const std::uint32_t* dt, int bad);
    std::uint8_t* limit() const { return s.win + s.hist + kWin; }
};

int Decoder::fillInput() {
    if (s.eof) return 0;
    const std::size_t keep = std::size_t(s.inEnd - s.in);
    if (keep) std::memmove(s.inbuf, s.in, keep);
    s.in = s.inbuf;
    s.inEnd = s.inbuf + keep;
    const std::size_t cap = std::min(kWin, kInBuf - keep);
    const std::ptrdiff_t got = input ? input(s.inbuf + keep, cap) : 0;
    if (got < 0) return err::ReadError;
    if (got == 0) {
        s.eof = true;
        return 0;
    }
    s.inEnd += std::min<std::size_t>(std::size_t(got), cap);
    return 0;
}

// Makes at least n (<= 56) bits available.  Past the end of the input zero
// bytes are supplied so that look-ahead works; consuming any of them means
// the stream was cut short.
int Decoder::need(unsigned n) {
    while (s.bitcnt < n) {
        if (s.in < s.inEnd) {
            s.bitbuf |= std::uint64_t(*s.in++) << s.bitcnt;
            s.bitcnt += 8;
        } else if (!s.eof) {
            if (int e = fillInput()) return e;
        } else {
            if (s.bitcnt < 8 * s.overrun) return err::ReadError;
            s.bitbuf &= (std::uint64_t(1) << s.bitcnt) - 1;
            s.bitcnt += 8;
            s.overrun++;
        }
    }
    return 0;
}

int Decoder::flush() {
    const std::size_t n = std::size_t(s.out - s.flushed);
    if (n == 0) return 0;
    produced += n;
    const std::uint8_t* p = s.flushed;
    s.flushed = s.out;
    if (!output || !output(p, n)) return err::WriteError;
    return 0;
}

// Hands out the active part and moves the history down by 32 KB.
int Decoder::slide() {
    std::uint8_t* const half = limit();
    if (s.flushed < half) {
        const std::size_t n = std::size_t(half - s.flushed);
        produced += n;
        const std::uint8_t* p = s.flushed;
        s.flushed = half;
        if (!output || !output(p, n)) return err::WriteError;
    }
    std::memmove(s.win, s.win + kWin, std::size_t(s.out - (s.win + kWin)));
    s.out -= kWin;
    s.flushed -= kWin;
    s.histStart = s.histStart >= s.win + kWin ? s.histStart - kWin : s.win;
    return 0;
}

int Decoder::stored() {
    s.bitbuf >>= s.bitcnt & 7;
    s.bitcnt &= ~7u;
    if (int e = need(32)) return e;
    const std::uint32_t len = bits(16);
    const std::uint32_t nlen = bits(16);
    if (len != (~nlen & 0xFFFF)) return err::BadBlock;
    // Drop the look-ahead bits beyond the count: bytes are taken straight
    // from the input buffer from here on.
    s.bitbuf &= (std::uint64_t(1) << s.bitcnt) - 1;
    std::uint32_t left = len;
    while (left) {
        if (s.out >= limit())
            if (int e = slide()) return e;
        std::size_t room = std::size_t(limit() - s.out);
        if (s.bitcnt >= 8) {
            if (s.bitcnt <= 8 * s.overrun) return err::ReadError;
            *s.out++ = std::uint8_t(bits(8));
            --left;
            continue;
        }
        if (s.in == s.inEnd) {
            if (int e = fillInput()) return e;
            if (s.in == s.inEnd) return err::ReadError;
        }
        const std::size_t n = std::min({std::size_t(left), room, std::size_t(s.inEnd - s.in)});
        std::memcpy(s.out, s.in, n);
        s.out += n;
        s.in += n;
        left -= std::uint32_t(n);
    }
    return 0;
}

int Decoder::dynamicTables() {
    if (int e = need(14)) return e;
    const unsigned nlit = bits(5) + 257;
    const unsigned ndist = bits(5) + 1;
    const unsigned nlen = bits(4) + 4;
    std::uint8_t lens[288 + 32] = {};
    for (unsigned i = 0; i < nlen; ++i) {
        if (int e = need(3)) return e;
        lens[kLenOrder[i]] = std::uint8_t(bits(3));
    }
    const Templates& t = kTemplates[s.deflate64];
    if (!buildTable(s.lenTable, kLenTable, kLenRoot, lens, 19, t.len.data(), t.lenExtra.data()))
        return err::IncompleteCodeSet;
    std::fill(lens, lens + 19, 0);

    const unsigned total = nlit + ndist;
    unsigned i = 0;
    std::uint8_t last = 0;
    while (i < total) {
        if (int e = need(kLenRoot + 7)) return e;
        const std::uint32_t en = s.lenTable[s.bitbuf & ((1u << kLenRoot) - 1)];
        if (en & kExc) return err::IncompleteCodeSet;
        bits(en & 31);
        const unsigned sym = en >> 16;
        unsigned repeat;
        std::uint8_t value;
        if (sym < 16) {
            lens[i++] = last = std::uint8_t(sym);
            continue;
        } else if (sym == 16) {
            repeat = 3 + bits(2);
            value = last;
        } else if (sym == 17) {
            repeat = 3 + bits(3);
            value = last = 0;
        } else {
            repeat = 11 + bits(7);
            value = last = 0;
        }
        if (i + repeat > total) return err::IncompleteCodeSet;
        std::fill(lens + i, lens + i + repeat, value);
        i += repeat;
    }
    if (!buildTable(s.lit, kLitTable, kLitRoot, lens, nlit, t.lit.data(), t.litExtra.data()))
        return err::IncompleteCodeSet;
    if (!buildTable(s.dist, kDistTable, kDistRoot, lens + nlit, ndist, t.dist.data(),
                    t.distExtra.data()))
        return err::IncompleteCodeSet;
    return 0;
}

// D64: a length and its distance can take 60 bits, more than one refill
// gives; the bit buffer is refilled between them, so the fast path keeps
// 16 input bytes in reserve instead of 8.
template <bool D64>
int Decoder::huffman(const std::uint32_t* lt, const std::uint32_t* dt, int bad) {
    constexpr std::uint64_t litMask = (1u << kLitRoot) - 1;
    constexpr std::uint64_t distMask = (1u << kDistRoot) - 1;
    constexpr std::ptrdiff_t reserve = D64 ? 16 : 8;
    std::uint8_t* const outLimit = limit();
    for (;;) {
        if (s.out >= outLimit)
            if (int e = slide()) return e;

        // Fast path: at least 8 input bytes and room for the longest match.
        std::uint64_t bb = s.bitbuf;
        unsigned bc = s.bitcnt;
        const std::uint8_t* in = s.in;
        std::uint8_t* out = s.out;
        const std::uint8_t* const hist = s.histStart;
        int result = -1;
        if (s.inEnd - s.in >= reserve && out < outLimit) {
            const std::uint8_t* const inFast = s.inEnd - reserve;
            bb |= load64(in) << bc;
            in += (63 - bc) >> 3;
            bc |= 56;
            // The next entry is looked up before the refill: refilling only
            // adds bits above the ones it was taken from.
            std::uint32_t e = lt[bb & litMask];
            for (;;) {
                if (e & kLit) {
                    bb >>= e & 31;
                    bc -= e & 31;
                    *out++ = std::uint8_t(e >> 16);
                    e = lt[bb & litMask];
                    if (e & kLit) {
                        bb >>= e & 31;
                        bc -= e & 31;
                        *out++ = std::uint8_t(e >> 16);
                        e = lt[bb & litMask];
                    }
                } else {
                    if (e & kSub) {
                        bb >>= kLitRoot;
                        bc -= kLitRoot;
                        e = lt[(e >> 16) + (bb & ((1u << ((e >> 8) & 15)) - 1))];
                    }
                    std::uint64_t saved = bb;
                    bb >>= e & 31;
                    bc -= e & 31;
                    if (e & kLit) {
                        *out++ = std::uint8_t(e >> 16);
                    } else if (e & kExc) {
                        result = (e >> 16) ? bad : 0;
                        break;
                    } else {
                        const std::size_t len =
                            (e >> 16) +
                            ((saved & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
                        if constexpr (D64) {
                            bb |= load64(in) << bc;
                            in += (63 - bc) >> 3;
                            bc |= 56;
                        }
                        e = dt[bb & distMask];
                        if (e & kSub) {
                            bb >>= kDistRoot;
                            bc -= kDistRoot;
                            e = dt[(e >> 16) + (bb & ((1u << ((e >> 8) & 15)) - 1))];
                        }
                        saved = bb;
                        bb >>= e & 31;
                        bc -= e & 31;
                        const std::size_t dist =
                            (e >> 16) +
                            ((saved & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
                        if ((e & kExc) || dist > std::size_t(out - hist)) {
                            result = bad;
                            break;
                        }
                        dec::copyMatch(out, dist, len);
                        out += len;
                    }
                    if (in > inFast || out >= outLimit) break;
                    bb |= load64(in) << bc;
                    in += (63 - bc) >> 3;
                    bc |= 56;
                    e = lt[bb & litMask];
                    continue;
                }
                if (in > inFast || out >= outLimit) break;
                bb |= load64(in) << bc;
                in += (63 - bc) >> 3;
                bc |= 56;
            }
        }
        s.bitbuf = bb;
        s.bitcnt = bc;
        s.in = in;
        s.out = out;
        if (result >= 0) return result;
        if (s.out >= outLimit) continue;
        if (!s.eof && s.inEnd - s.in < reserve) {
            if (int e = fillInput()) return e;
            if (!s.eof) continue;
        }

        // Slow path near the end of the input: one symbol at a time.
        if (int e = need(48)) return e;
        std::uint32_t e = lt[s.bitbuf & litMask];
        if (e & kSub) {
            bits(kLitRoot);
            e = lt[(e >> 16) + (s.bitbuf & ((1u << ((e >> 8) & 15)) - 1))];
        }
        std::uint64_t saved = s.bitbuf;
        bits(e & 31);
        if (e & kLit) {
            *s.out++ = std::uint8_t(e >> 16);
            continue;
        }
        if (e & kExc) return (e >> 16) ? bad : 0;
        const std::size_t len =
            (e >> 16) + ((saved & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
        if constexpr (D64)
            if (int r = need(48)) return r;
        e = dt[s.bitbuf & distMask];
        if (e & kSub) {
            bits(kDistRoot);
            e = dt[(e >> 16) + (s.bitbuf & ((1u << ((e >> 8) & 15)) - 1))];
        }
        saved = s.bitbuf;
        bits(e & 31);
        const std::size_t dist =
            (e >> 16) + ((saved & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
        if ((e & kExc) || dist > std::size_t(s.out - s.histStart)) return bad;
        dec::copyMatch(s.out, dist, len);
        s.out += len;
    }
}

int Decoder::stream() {
    for (;;) {
        if (int e = need(3)) return e;
        const bool last = bits(1);
        const unsigned type = bits(2);
        int e;
        if (type == 0) {
            e = stored();
        } else if (type == 1) {
            const FixedTables& f = fixedTables(s.deflate64);
            e = s.deflate64 ? huffman<true>(f.lit.data(), f.dist.data(), err::BadBlock)
                            : huffman<false>(f.lit.data(), f.dist.data(), err::BadBlock);
        } else if (type == 2) {
            e = dynamicTables();
            if (!e)
                e = s.deflate64 ? huffman<true>(s.lit, s.dist, err::IncompleteCodeSet)
                                : huffman<false>(s.lit, s.dist, err::IncompleteCodeSet);
        } else {
            e = err::BadBlock;
        }
        if (e) return e;
        if (s.bitcnt < 8 * s.overrun) return err::ReadError;
        if (last) return 0;
    }
}

} // namespace

int Inflater::run() {
    State& s = *s_;
    s.in = s.inEnd = s.inbuf;
    s.bitbuf = 0;
    s.bitcnt = 0;
    s.overrun = 0;
    s.eof = false;
    unusedInput_ = 0;
    Decoder d(s, Input, Output);
    int e = d.stream();
    if (!e) e = d.flush();
    totalOut_ = d.produced;
    if (!e) unusedInput_ = std::size_t(s.inEnd - s.in) + (s.bitcnt / 8 - s.overrun);
    return e;
}

int inflateBuffer(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                  std::size_t maxOut, std::size_t* unused) {
    Inflater inf;
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, in.size() - pos);
        if (n) std::memcpy(buf, in.data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    std::size_t written = 0;
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        if (n > maxOut - written) return false;
        written += n;
        out.insert(out.end(), p, p + n);
        return true;
    };
    const int e = inf.Inflate();
    if (unused) *unused = e ? 0 : inf.UnusedInput();
    return e;
}

namespace dec {

namespace {

// Deflate members of any family; Variant kVariantDeflate64 for Deflate64.
class InflateDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params& p) override {
        const bool wide = p.Variant == Inflater::kVariantDeflate64;
        std::unique_ptr<Inflater>& slot = inflaters_[wide];
        if (!slot) slot = std::make_unique<Inflater>(wide);
        Inflater& inflater = *slot;
        inflater.Input = [&in](std::uint8_t* buf, std::size_t cap) {
            return static_cast<std::ptrdiff_t>(in.read(buf, cap));
        };
        inflater.Output = [&out](const std::uint8_t* data, std::size_t len) {
            return out.write(data, len);
        };
        const int rc = inflater.Inflate();
        inflater.Input = nullptr;
        inflater.Output = nullptr;
        if (rc != 0) fail(rc);
        in.finish();
    }

private:
    std::unique_ptr<Inflater> inflaters_[2];
};

} // namespace

void registerInflateDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Inflate, [] { return std::unique_ptr<Decoder>(new InflateDecoder); });
}

} // namespace dec
