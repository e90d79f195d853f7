#include "archive/writers/Lzhuf.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lzhuf {

namespace {

constexpr int kRing = 4096;                            // the decoder's history
constexpr int kMaxMatch = 60;                          // longest match
constexpr int kThreshold = 2;                          // matches this short go as literals
constexpr int kSymbols = 256 - kThreshold + kMaxMatch; // literals, then lengths 3..60
constexpr int kNodes = 2 * kSymbols - 1;
constexpr int kRoot = kNodes - 1;
constexpr unsigned kRebuildAt = 0x8000; // root frequency that halves the model
// The ring holds the look-ahead too, so a match reaches back at most this far.
constexpr int kMaxDistance = kRing - kMaxMatch - 1;
// Where the data starts in the window: far enough in that no chain link
// (-1 at the end) ever passes the distance test.
constexpr int kStart = kRing;

// The fixed code of the upper six position bits: 1 code of 3 bits, 3 of 4,
// 8 of 5, 12 of 6, 24 of 7 and 16 of 8, assigned in ascending order.
struct PositionCode {
    std::array<std::uint8_t, 64> Len{};
    std::array<std::uint8_t, 64> Code{}; // right-aligned
};

constexpr PositionCode makePositionCode() {
    PositionCode p;
    const int counts[] = {1, 3, 8, 12, 24, 16};
    unsigned code = 0; // 8-bit left-aligned
    int i = 0;
    for (int len = 3; len <= 8; ++len) {
        for (int k = 0; k < counts[len - 3]; ++k, ++i) {
            p.Len[i] = static_cast<std::uint8_t>(len);
            p.Code[i] = static_cast<std::uint8_t>(code >> (8 - len));
            code += 1u << (8 - len);
        }
    }
    return p;
}

constexpr PositionCode kPositionCode = makePositionCode();

// Window: a linear buffer whose indices are positions; it slides by whole
// rings so that the chain links (kept per ring slot) stay put.
constexpr int kWindow = 1 << 17;
constexpr int kPad = 8; // word-wise comparison may look past the data
constexpr int kHashBits = 14;
constexpr int kMaxChain = 256;
// Look-ahead kept in the buffer: a whole match plus the two bytes that
// hash the string starting at its last position.
constexpr int kLookAhead = kMaxMatch + 2;

inline unsigned hash3(const std::uint8_t* p) {
    const std::uint32_t v =
        static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

// Bytes in common at a and b, at most limit; both may be read up to 7
// bytes past limit.
inline int matchLength(const std::uint8_t* a, const std::uint8_t* b, int limit) {
    int n = 0;
    while (n < limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (const std::uint64_t d = x ^ y) {
            n += __builtin_ctzll(d) >> 3;
            return std::min(n, limit);
        }
        n += 8;
    }
    return limit;
}

} // namespace

struct Encoder::State {
    // Adaptive Huffman model: nodes ordered by frequency, siblings side by
    // side; Son holds a node's first child, or symbol + kNodes for a leaf.
    std::array<unsigned, kNodes + 1> Freq{};
    std::array<unsigned, kNodes + kSymbols> Parent{};
    std::array<unsigned, kNodes> Son{};

    std::vector<std::uint8_t> Win;
    std::vector<std::int32_t> Head;
    std::vector<std::int32_t> Prev; // per ring slot
    int Pos = 0, End = 0;
    bool Eof = false;

    std::vector<std::uint8_t> Out;
    std::size_t OutLen = 0;
    std::uint64_t Bits = 0; // pending bits, right-aligned
    int BitCount = 0;
    std::uint64_t Written = 0;
    const Sink* Sink_ = nullptr;

    State() : Win(kWindow + kPad), Head(std::size_t{1} << kHashBits), Prev(kRing), Out(1 << 16) {}

    void startModel() {
        for (int i = 0; i < kSymbols; ++i) {
            Freq[i] = 1;
            Son[i] = static_cast<unsigned>(i + kNodes);
            Parent[i + kNodes] = static_cast<unsigned>(i);
        }
        for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            Freq[j] = Freq[i] + Freq[i + 1];
            Son[j] = static_cast<unsigned>(i);
            Parent[i] = Parent[i + 1] = static_cast<unsigned>(j);
        }
        Freq[kNodes] = 0xFFFF; // stops the search for a swap partner
        Parent[kRoot] = 0;
    }

    // Halves the leaf frequencies and rebuilds the inner nodes in order, as
    // every decoder does at the same moment.
    void rebuild() {
        int j = 0;
        for (int i = 0; i < kNodes; ++i) {
            if (Son[i] >= static_cast<unsigned>(kNodes)) {
                Freq[j] = (Freq[i] + 1) / 2;
                Son[j] = Son[i];
                ++j;
            }
        }
        for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const unsigned f = Freq[i] + Freq[i + 1];
            int k = n - 1;
            while (f < Freq[k]) --k;
            ++k;
            const std::size_t moved = static_cast<std::size_t>(n - k);
            std::memmove(&Freq[k + 1], &Freq[k], moved * sizeof Freq[0]);
            std::memmove(&Son[k + 1], &Son[k], moved * sizeof Son[0]);
            Freq[k] = f;
            Son[k] = static_cast<unsigned>(i);
        }
        for (int i = 0; i < kNodes; ++i) {
            const unsigned k = Son[i];
            Parent[k] = static_cast<unsigned>(i);
            if (k < static_cast<unsigned>(kNodes)) Parent[k + 1] = static_cast<unsigned>(i);
        }
    }

    void update(unsigned symbol) {
        if (Freq[kRoot] == kRebuildAt) rebuild();
        unsigned c = Parent[symbol + kNodes];
        do {
            const unsigned f = ++Freq[c];
            unsigned l = c + 1;
            if (f > Freq[l]) {
                // Swap with the last node of the block this one outgrew.
                while (f > Freq[++l]) {}
                --l;
                Freq[c] = Freq[l];
                Freq[l] = f;
                const unsigned i = Son[c];
                Parent[i] = l;
                if (i < static_cast<unsigned>(kNodes)) Parent[i + 1] = l;
                const unsigned j = Son[l];
                Son[l] = i;
                Parent[j] = c;
                if (j < static_cast<unsigned>(kNodes)) Parent[j + 1] = c;
                Son[c] = j;
                c = l;
            }
            c = Parent[c];
        } while (c != 0);
    }

    void flushOut() {
        if (OutLen) (*Sink_)(Out.data(), OutLen);
        Written += OutLen;
        OutLen = 0;
    }

    // n <= 32 bits, most significant first.
    void putBits(int n, std::uint32_t v) {
        Bits = Bits << n | v;
        BitCount += n;
        if (BitCount >= 32) {
            BitCount -= 32;
            const auto w = static_cast<std::uint32_t>(Bits >> BitCount);
            std::uint8_t* o = Out.data() + OutLen;
            o[0] = static_cast<std::uint8_t>(w >> 24);
            o[1] = static_cast<std::uint8_t>(w >> 16);
            o[2] = static_cast<std::uint8_t>(w >> 8);
            o[3] = static_cast<std::uint8_t>(w);
            OutLen += 4;
            if (OutLen + 4 > Out.size()) flushOut();
        }
    }

    void finishBits() {
        while (BitCount > 0) {
            const int take = std::min(BitCount, 8);
            Out[OutLen++] = static_cast<std::uint8_t>((Bits >> (BitCount - take)) << (8 - take));
            BitCount -= take;
            if (OutLen == Out.size()) flushOut();
        }
        Bits = 0;
        flushOut();
    }

    void encodeSymbol(unsigned symbol) {
        // The path from the leaf up gives the code from its last bit on;
        // a node's place in its sibling pair is the bit.  The frequency
        // limit keeps the tree well under 32 levels deep.
        unsigned k = Parent[symbol + kNodes];
        std::uint32_t code = 0;
        int len = 0;
        do {
            code |= (k & 1u) << len;
            ++len;
            k = Parent[k];
        } while (k != static_cast<unsigned>(kRoot));
        putBits(len, code);
        update(symbol);
    }

    void encodePosition(unsigned c) {
        const unsigned upper = c >> 6;
        putBits(kPositionCode.Len[upper] + 6,
                static_cast<unsigned>(kPositionCode.Code[upper]) << 6 | (c & 63u));
    }

    void insert(int p) {
        if (p + 2 >= End) return; // too close to the end to start a match
        const unsigned h = hash3(&Win[static_cast<std::size_t>(p)]);
        Prev[static_cast<std::size_t>(p & (kRing - 1))] = Head[h];
        Head[h] = p;
    }

    // Keeps at least kLookAhead bytes ahead of Pos unless the input ends.
    void refill(const Source& in) {
        if (End == kWindow) {
            // Slide by whole rings, keeping a full ring of history.
            const int shift = (Pos - kRing) & ~(kRing - 1);
            std::memmove(Win.data(), Win.data() + shift, static_cast<std::size_t>(End - shift));
            Pos -= shift;
            End -= shift;
            for (auto& h : Head) h = h >= shift ? h - shift : -1;
            for (auto& h : Prev) h = h >= shift ? h - shift : -1;
        }
        while (End < kWindow) {
            const std::size_t got = in(Win.data() + End, static_cast<std::size_t>(kWindow - End));
            if (got == 0) {
                Eof = true;
                break;
            }
            End += static_cast<int>(got);
        }
    }

    std::uint64_t run(const Source& in, const Sink& out) {
        Sink_ = &out;
        OutLen = 0;
        Bits = 0;
        BitCount = 0;
        Written = 0;
        Eof = false;
        startModel();
        std::fill(Head.begin(), Head.end(), -1);
        std::fill(Prev.begin(), Prev.end(), -1);
        // Matches stay inside the data: decoders disagree on what the ring
        // holds before it (LHA fills it with spaces, jlha with zeros).
        Pos = End = kStart;
        refill(in);

        const std::uint8_t* const w = Win.data();
        while (Pos < End) {
            if (!Eof && End - Pos < kLookAhead) refill(in);
            const int p = Pos;
            const int maxLen = std::min(kMaxMatch, End - p);
            int bestLen = kThreshold, bestDist = 0;
            if (maxLen > kThreshold) {
                const std::uint8_t* s = w + p;
                const int limit = p - kMaxDistance;
                int cur = Head[hash3(s)];
                for (int chain = kMaxChain; cur >= limit && chain > 0; --chain) {
                    const std::uint8_t* t = w + cur;
                    if (t[bestLen] == s[bestLen] && t[0] == s[0] && t[1] == s[1]) {
                        const int len = matchLength(t, s, maxLen);
                        // The nearest of equally long matches is met first.
                        if (len > bestLen) {
                            bestLen = len;
                            bestDist = p - cur;
                            if (len == maxLen) break;
                        }
                    }
                    cur = Prev[static_cast<std::size_t>(cur & (kRing - 1))];
                }
            }
            int advance = 1;
            if (bestLen > kThreshold) {
                encodeSymbol(static_cast<unsigned>(256 - kThreshold - 1 + bestLen));
                encodePosition(static_cast<unsigned>(bestDist - 1));
                advance = bestLen;
            } else {
                encodeSymbol(w[p]);
            }
            for (int i = 0; i < advance; ++i) insert(p + i);
            Pos = p + advance;
        }
        finishBits();
        Sink_ = nullptr;
        return Written;
    }
};

Encoder::Encoder() : s_(std::make_unique<State>()) {}
Encoder::~Encoder() = default;

std::uint64_t Encoder::encode(const Source& in, const Sink& out) {
    return s_->run(in, out);
}

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    std::size_t at = 0;
    Encoder e;
    e.encode(
        [&](std::uint8_t* buf, std::size_t n) {
            const std::size_t take = std::min(n, data.size() - at);
            if (take) std::memcpy(buf, data.data() + at, take);
            at += take;
            return take;
        },
        [&](const std::uint8_t* buf, std::size_t n) { out.insert(out.end(), buf, buf + n); });
    return out;
}

} // namespace lzhuf
