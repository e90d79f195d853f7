#include "archive/zip/Deflate.h"

#include <algorithm>
#include <cstring>

#include "archive/zip/DeflateBlock.h"

using namespace zdef;

namespace {

constexpr std::int32_t kWindow = 32768;
constexpr std::int32_t kWindowMask = kWindow - 1;
// The window buffer: up to 64 KiB of history, the block being built, and
// new input.  A block stays in the buffer until it is written, since a
// stored block copies its bytes from there.
constexpr std::int32_t kBufSize = (1 << 20) + 2 * kWindow;
constexpr std::int32_t kBufPad = 64; // word reads past the end of the data
constexpr std::size_t kReadChunk = 1 << 16;
// Bytes kept ahead of the parse position while more input may come: the
// longest match from two positions further on.
constexpr std::int32_t kLookahead = 2 * kMaxMatch + 16;
constexpr std::int32_t kMaxBlockBytes = 1 << 18;
constexpr std::size_t kMaxSeqs = 1 << 16;
// Hash table sizes in bits, at most; small inputs get smaller tables, since
// filling the tables would cost more than compressing.
constexpr int kChainBits = 16;
constexpr int kHash3Bits = 15;
constexpr int kHash4Bits = 15;
constexpr int kBucketBits = 15;
constexpr int kMinTableBits = 10;
// Every byte the same, so that clearing a table is a memset; far enough
// below any position that a slide cannot take a valid one under it.
constexpr std::uint8_t kNilByte = 0xC0;
constexpr std::int32_t kNil = static_cast<std::int32_t>(0xC0C0C0C0u);

// Fast: one table of two-entry buckets, greedy.  The others walk hash
// chains; Lazy2 looks two positions ahead instead of one.
enum class Parse { Fast, Greedy, Lazy, Lazy2 };

struct LevelParams {
    Parse parse;
    // Bytes hashed for the chains: 4, or 5 with a table of the latest 4-byte
    // strings beside them.  The 4-byte levels, built for speed, leave the
    // 3-byte table alone inside matches.
    int chainBytes;
    unsigned depth;       // chain candidates searched per position
    unsigned nice;        // a match this long ends the search
    unsigned maxLazy;     // a match this long is taken without looking ahead
    unsigned good;        // looking ahead from a match this long searches a quarter of the chain
    std::int32_t segment; // bytes between block-split decisions
};

constexpr LevelParams kLevels[10] = {
    {Parse::Fast, 4, 0, 258, 0, 0, 32768},      // 0: not used
    {Parse::Fast, 4, 0, 258, 0, 0, 32768},      // 1
    {Parse::Greedy, 4, 4, 32, 0, 0, 32768},     // 2
    {Parse::Lazy, 4, 6, 32, 16, 8, 32768},      // 3
    {Parse::Lazy, 5, 16, 64, 32, 8, 16384},     // 4
    {Parse::Lazy, 5, 32, 128, 64, 16, 16384},   // 5
    {Parse::Lazy, 5, 64, 128, 128, 16, 16384},  // 6
    {Parse::Lazy2, 5, 96, 258, 258, 32, 8192},  // 7
    {Parse::Lazy2, 5, 144, 258, 258, 32, 8192}, // 8
    {Parse::Lazy2, 5, 192, 258, 258, 32, 8192}, // 9
};

// Looking two positions ahead gains a few tenths of a percent on small
// inputs for a seventh of the time; below this size levels 7 to 9 look one
// ahead.
constexpr std::uint64_t kLookTwoMinSize = std::uint64_t(1) << 16;

LevelParams paramsFor(int level, std::uint64_t sizeHint) {
    LevelParams p = kLevels[std::clamp(level, 1, 9)];
    if (p.parse == Parse::Lazy2 && sizeHint < kLookTwoMinSize) p.parse = Parse::Lazy;
    return p;
}

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Multiplicative hashes of 3, 4 and 5 bytes to `bits` bits.
inline std::uint32_t hash3(std::uint32_t v, int bits) {
    return ((v << 8) * 0x1E35A7BDu) >> (32 - bits);
}

inline std::uint32_t hash4(std::uint32_t v, int bits) {
    return (v * 0x1E35A7BDu) >> (32 - bits);
}

inline std::uint32_t hash5(const std::uint8_t* p, int bits) {
    const std::uint64_t v = load64(p) << 24;
    return static_cast<std::uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

// Table size in bits for an input of about `size` bytes.
int tableBits(int maxBits, std::uint64_t size) {
    int bits = kMinTableBits;
    while (bits < maxBits && (std::uint64_t(1) << (bits - 1)) < size) ++bits;
    return bits;
}

// Length of the common prefix of a and b from `len` on, at most maxLen.
inline unsigned extend(const std::uint8_t* a, const std::uint8_t* b, unsigned len,
                       unsigned maxLen) {
    while (len < maxLen) {
        const std::uint64_t x = load64(a + len) ^ load64(b + len);
        if (x) {
            len += static_cast<unsigned>(__builtin_ctzll(x)) >> 3;
            return len < maxLen ? len : maxLen;
        }
        len += 8;
    }
    return maxLen;
}

// Bit costs of symbols in sixteenths of a bit, taken from the codes of the
// last block written, for the parser's choices between matches and literals.
struct CostModel {
    static constexpr unsigned kScale = 16;
    std::uint32_t lit[256];
    std::uint32_t len[kMaxMatch + 1];
    std::uint32_t dist[30];
    std::uint32_t avgLit;

    void set(const std::uint8_t* litLens, const std::uint8_t* distLens, const Freqs* f) {
        // A symbol the last block did not use is likely rare in the next.
        constexpr unsigned kUnused = 12;
        auto bits = [](unsigned l) { return (l ? l : kUnused) * kScale; };
        std::uint64_t sum = 0, count = 0;
        for (int c = 0; c < 256; ++c) {
            lit[c] = bits(litLens[c]);
            if (f) {
                sum += std::uint64_t(f->litlen[c]) * lit[c];
                count += f->litlen[c];
            }
        }
        avgLit = count ? static_cast<std::uint32_t>(sum / count) : 8 * kScale;
        for (int l = kMinMatch; l <= kMaxMatch; ++l) {
            const int slot = kLenSlot[static_cast<std::size_t>(l)];
            len[l] = bits(litLens[257 + slot]) + kLenExtra[slot] * kScale;
        }
        for (int d = 0; d < 30; ++d) dist[d] = bits(distLens[d]) + kDistExtra[d] * kScale;
    }

    // Costs as the fixed code gives them.
    void setFixed() {
        std::uint8_t ll[kNumLitLen], dl[kNumDist];
        for (int c = 0; c < kNumLitLen; ++c)
            ll[c] = static_cast<std::uint8_t>(c < 144 ? 8 : c < 256 ? 9 : c < 280 ? 7 : 8);
        for (int c = 0; c < kNumDist; ++c) dl[c] = 5;
        set(ll, dl, nullptr);
    }

    std::uint32_t match(unsigned l, unsigned d) const { return len[l] + dist[distSlot(d)]; }
};

template <typename T> std::unique_ptr<T[]> table(bool needed, std::size_t n) {
    return needed ? std::unique_ptr<T[]>(new T[n]) : nullptr;
}

} // namespace

struct Deflater::Engine {
    Engine(int level, std::uint64_t sizeHint)
        : prm(paramsFor(level, sizeHint)), bucketBits(tableBits(kBucketBits, sizeHint)),
          chainBits(tableBits(kChainBits, sizeHint)), bits3(tableBits(kHash3Bits, sizeHint)),
          bits4(tableBits(kHash4Bits, sizeHint)),
          prevUsed(sizeHint < kWindow ? static_cast<std::size_t>(sizeHint) + 1 : kWindow),
          win(new std::uint8_t[kBufSize + kBufPad]),
          buckets(table<std::int32_t>(fast(), 2u << bucketBits)),
          head(table<std::int32_t>(!fast(), 1u << chainBits)),
          prev(table<std::int32_t>(!fast(), kWindow)),
          head3(table<std::int32_t>(!fast(), 1u << bits3)),
          head4(table<std::int32_t>(!fast() && prm.chainBytes > 4, 1u << bits4)),
          seqs(new Seq[kMaxSeqs]) {}

    bool fast() const { return prm.parse == Parse::Fast; }

    static std::size_t workingSet(int level) {
        const LevelParams& l = kLevels[std::clamp(level, 1, 9)];
        const bool f = l.parse == Parse::Fast;
        std::size_t tables = f ? (2u << kBucketBits)
                               : (1u << kChainBits) + kWindow + (1u << kHash3Bits) +
                                     (l.chainBytes > 4 ? 1u << kHash4Bits : 0);
        return sizeof(Engine) + std::size_t(kBufSize + kBufPad) + tables * sizeof(std::int32_t) +
               kMaxSeqs * sizeof(Seq) + BitWriter::kCapacity;
    }

    LevelParams prm;
    int bucketBits, chainBits, bits3, bits4;
    // Chain links a small input can reach; the others are written before
    // they are read (every position is hashed before a slide).
    std::size_t prevUsed;
    std::unique_ptr<std::uint8_t[]> win;
    // Positions in the tables are window-buffer offsets; kNil is empty.
    std::unique_ptr<std::int32_t[]> buckets; // fast level: two per hash
    std::unique_ptr<std::int32_t[]> head;    // chain heads
    std::unique_ptr<std::int32_t[]> prev;    // chain links by position
    std::unique_ptr<std::int32_t[]> head3;   // latest 3-byte string
    std::unique_ptr<std::int32_t[]> head4;   // latest 4-byte string, with 5-byte chains
    std::unique_ptr<Seq[]> seqs;
    BitWriter bw;
    Freqs blockF, segF, sumF;
    BlockPlan plan;
    CostModel costs;
    const InputFn* input = nullptr;

    std::int32_t p = 0, end = 0, litStart = 0, insTo = 0;
    std::int32_t blockStart = 0, segStart = 0, nextCheck = 0;
    std::size_t nseq = 0, segSeq = 0;
    std::size_t seqReserve = 0;
    std::uint64_t blockBits = 0;
    bool eof = false;
    int fileType = 2;
    Stats stats;

    // ---- hash chains -------------------------------------------------------

    // Hash of the first CB bytes at p.
    template <int CB> std::uint32_t chainHash(const std::uint8_t* p) const {
        if constexpr (CB == 4)
            return hash4(load32(p), chainBits);
        else
            return hash5(p, chainBits);
    }

    template <int CB> void insert(std::int32_t q) {
        const std::uint8_t* in = win.get() + q;
        const std::uint32_t v = load32(in);
        head3[hash3(v, bits3)] = q;
        if constexpr (CB > 4) head4[hash4(v, bits4)] = q;
        const std::uint32_t h = chainHash<CB>(in);
        prev[q & kWindowMask] = head[h];
        head[h] = q;
    }

    // Hashes the positions up to `to`.  Inside matches, the short-string
    // tables may be left alone for speed.
    template <int CB, bool All3> void insertTo(std::int32_t to) {
        // A local counter: the tables' stores could alias a member.
        std::int32_t q = insTo;
        if constexpr (All3) {
            for (; q < to; ++q) insert<CB>(q);
        } else {
            std::int32_t* const h = head.get();
            std::int32_t* const pv = prev.get();
            const std::uint8_t* const w = win.get();
            for (; q < to; ++q) {
                const std::uint32_t c = chainHash<CB>(w + q);
                pv[q & kWindowMask] = h[c];
                h[c] = q;
            }
        }
        if (to > insTo) insTo = to;
    }

    // Hashes position q (the next one not yet hashed) and returns the
    // longest match there that is longer than `best`, or `best`.  The
    // latest 3-byte (and with 5-byte chains 4-byte) string is tried first.
    template <int CB>
    unsigned findMatch(std::int32_t q, unsigned best, unsigned maxLen, unsigned depth,
                       unsigned& dist) {
        const std::uint8_t* const w = win.get();
        const std::uint8_t* in = w + q;
        const std::uint32_t cur = load32(in);
        const std::uint32_t h3 = hash3(cur, bits3);
        const std::int32_t c3 = head3[h3];
        head3[h3] = q;
        std::int32_t c4 = kNil;
        if constexpr (CB > 4) {
            const std::uint32_t h4 = hash4(cur, bits4);
            c4 = head4[h4];
            head4[h4] = q;
        }
        const std::uint32_t hc = chainHash<CB>(in);
        std::int32_t cand = head[hc];
        prev[q & kWindowMask] = cand;
        head[hc] = q;
        insTo = q + 1;

        const std::int32_t limit = q - kWindow;
        if (best >= maxLen) return best;
        if (best < 3 && c3 >= limit && ((load32(w + c3) ^ cur) & 0xFFFFFF) == 0) {
            best = 3;
            dist = static_cast<unsigned>(q - c3);
            if (maxLen <= 3) return best;
        }
        if constexpr (CB > 4) {
            if (c4 >= limit && load32(w + c4) == cur) {
                const unsigned len = extend(w + c4, in, 4, maxLen);
                if (len > best) {
                    best = len;
                    dist = static_cast<unsigned>(q - c4);
                }
            }
        }
        const unsigned nice = std::min(prm.nice, maxLen);
        if (best >= nice) return best;
        while (depth-- && cand >= limit) {
            const std::uint8_t* m = w + cand;
            // The bytes that would make the match longer than the best so
            // far are compared first: most candidates fail there.
            const unsigned off = best >= 4 ? best - 3 : 0;
            if (load32(m + off) == load32(in + off) && load32(m) == cur) {
                const unsigned len = extend(m, in, 4, maxLen);
                if (len > best) {
                    best = len;
                    dist = static_cast<unsigned>(q - cand);
                    if (len >= nice) break;
                }
            }
            const std::int32_t next = prev[cand & kWindowMask];
            if (next >= cand) break;
            cand = next;
        }
        return best;
    }

    std::uint32_t bucketHash(std::uint32_t v) const { return hash4(v, bucketBits); }

    // ---- sequences and blocks --------------------------------------------

    void countLiterals(std::int32_t from, std::int32_t to) {
        const std::uint8_t* w = win.get();
        for (std::int32_t i = from; i < to; ++i) ++segF.litlen[w[i]];
    }

    void emitMatch(unsigned len, unsigned dist) {
        countLiterals(litStart, p);
        seqs[nseq++] = {static_cast<std::uint32_t>(p - litStart), static_cast<std::uint16_t>(len),
                        static_cast<std::uint16_t>(dist)};
        ++segF.litlen[257 + kLenSlot[len]];
        ++segF.dist[distSlot(dist)];
        litStart = p + static_cast<std::int32_t>(len);
    }

    void closeLiterals() {
        if (p > litStart) {
            countLiterals(litStart, p);
            seqs[nseq++] = {static_cast<std::uint32_t>(p - litStart), 0, 0};
            litStart = p;
        }
    }

    std::uint64_t cost(const Freqs& f, std::int32_t bytes) {
        planBlock(f, plan);
        return std::min(plan.huffmanBits(), storedBits(static_cast<std::uint64_t>(bytes), 0));
    }

    void writeBlockPart(std::size_t n, std::int32_t endPos, bool last) {
        planBlock(blockF, plan);
        if (fileType == 2) {
            std::uint64_t ctl = 0, text = 0;
            for (int c = 0; c < 256; ++c) ((c < 7 || c > 127) ? ctl : text) += blockF.litlen[c];
            fileType = ctl * 4 > text ? 0 : 1;
        }
        const int type = writeBlock(bw, plan, seqs.get(), n, win.get() + blockStart,
                                    static_cast<std::uint32_t>(endPos - blockStart), last);
        (type == 0 ? stats.storedBlocks : type == 1 ? stats.fixedBlocks : stats.dynamicBlocks)++;
        costs.set(plan.litLens, plan.distLens, &blockF);
    }

    // Ends the segment at p: it either joins the block or, when coding the
    // two apart is cheaper, the block is written and the segment begins the
    // next one.
    void endSegment(bool last) {
        const std::int32_t segBytes = p - segStart;
        if (segSeq == 0) {
            blockF = segF;
            if (!last) blockBits = cost(segF, segBytes);
        } else if (nseq > segSeq) {
            sumF = blockF;
            sumF.add(segF);
            const std::uint64_t both = cost(sumF, p - blockStart);
            const std::uint64_t alone = cost(segF, segBytes);
            if (blockBits + alone < both) {
                writeBlockPart(segSeq, segStart, false);
                std::memmove(seqs.get(), seqs.get() + segSeq, (nseq - segSeq) * sizeof(Seq));
                nseq -= segSeq;
                blockStart = segStart;
                blockF = segF;
                blockBits = alone;
            } else {
                blockF = sumF;
                blockBits = both;
            }
        }
        segF.clear();
        segSeq = nseq;
        segStart = p;
        if (last) {
            writeBlockPart(nseq, p, true);
        } else if (p - blockStart >= kMaxBlockBytes || nseq + seqReserve > kMaxSeqs) {
            writeBlockPart(nseq, p, false);
            nseq = segSeq = 0;
            blockStart = p;
        }
    }

    void checkpoint() {
        closeLiterals();
        endSegment(false);
        nextCheck = p + prm.segment;
    }

    // ---- input -------------------------------------------------------------

    template <typename Fn> void forEachTable(Fn fn) {
        if (buckets) fn(buckets.get(), 2u << bucketBits);
        if (head) fn(head.get(), 1u << chainBits);
        if (prev) fn(prev.get(), prevUsed);
        if (head3) fn(head3.get(), 1u << bits3);
        if (head4) fn(head4.get(), 1u << bits4);
    }

    void slide(std::int32_t by) {
        prevUsed = kWindow;
        std::memmove(win.get(), win.get() + by, static_cast<std::size_t>(end - by));
        end -= by;
        p -= by;
        litStart -= by;
        insTo -= by;
        blockStart -= by;
        segStart -= by;
        nextCheck -= by;
        forEachTable([by](std::int32_t* t, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) t[i] = t[i] - by < kNil ? kNil : t[i] - by;
        });
    }

    void refill() {
        // Keep the block being built and a window's worth of history, in
        // whole windows so that the chain links stay in their slots.
        const std::int32_t keep = std::min(blockStart, p - kWindow) & ~kWindowMask;
        if (keep > 0) slide(keep);
        while (!eof && end < kBufSize) {
            const std::size_t cap = std::min<std::size_t>(kReadChunk, std::size_t(kBufSize - end));
            const std::size_t n = (*input)(win.get() + end, cap);
            if (n == 0)
                eof = true;
            else
                end += static_cast<std::int32_t>(std::min(n, cap));
        }
        // Word reads run a little past the data; keep what they see fixed.
        std::memset(win.get() + end, 0, kBufPad);
    }

    // ---- parsing -------------------------------------------------------------

    // A match is worth taking when it costs less than its bytes as literals.
    bool worthIt(unsigned len, unsigned dist) const {
        if (len < kMinMatch) return false;
        const std::uint8_t* w = win.get() + p;
        const std::uint32_t asLiterals =
            len == 3 ? costs.lit[w[0]] + costs.lit[w[1]] + costs.lit[w[2]] : len * costs.avgLit;
        return costs.match(len, dist) < asLiterals;
    }

    // Greedy parse over the bucket table: matches of 4 bytes or more at one
    // of the two latest positions with the same hash.
    void parseFast(std::int32_t limit) {
        std::int32_t* const tab = buckets.get();
        const std::uint8_t* const w = win.get();
        while (p < limit) {
            if (p >= nextCheck) checkpoint();
            const std::uint8_t* in = w + p;
            const std::uint32_t cur = load32(in);
            std::int32_t* b = tab + 2 * bucketHash(cur);
            const std::int32_t c0 = b[0], c1 = b[1];
            b[1] = c0;
            b[0] = p;
            const unsigned maxLen = static_cast<unsigned>(std::min(kMaxMatch, end - p));
            const std::int32_t lim = p - kWindow;
            unsigned len = 0, dist = 0;
            if (maxLen >= 4) {
                if (c0 >= lim && load32(w + c0) == cur) {
                    len = extend(w + c0, in, 4, maxLen);
                    dist = static_cast<unsigned>(p - c0);
                }
                const unsigned off = len > 3 ? len - 3 : 0;
                if (c1 >= lim && len < maxLen && load32(w + c1 + off) == load32(in + off) &&
                    load32(w + c1) == cur) {
                    const unsigned l1 = extend(w + c1, in, 4, maxLen);
                    if (l1 > len) {
                        len = l1;
                        dist = static_cast<unsigned>(p - c1);
                    }
                }
            }
            if (len < 4 || !worthIt(len, dist)) {
                ++p;
                continue;
            }
            emitMatch(len, dist);
            const std::int32_t stop = p + static_cast<std::int32_t>(len);
            for (std::int32_t q = p + 1; q < stop; ++q) {
                std::int32_t* bq = tab + 2 * bucketHash(load32(w + q));
                bq[1] = bq[0];
                bq[0] = q;
            }
            p = stop;
        }
    }

    template <int CB, bool All3> void parseGreedy(std::int32_t limit) {
        while (p < limit) {
            if (p >= nextCheck) checkpoint();
            const unsigned maxLen = static_cast<unsigned>(std::min(kMaxMatch, end - p));
            if (maxLen < kMinMatch) {
                ++p;
                continue;
            }
            insertTo<CB, true>(p);
            unsigned dist = 0;
            const unsigned len = findMatch<CB>(p, 2, maxLen, prm.depth, dist);
            if (!worthIt(len, dist)) {
                ++p;
                continue;
            }
            emitMatch(len, dist);
            insertTo<CB, All3>(p + static_cast<std::int32_t>(len));
            p += static_cast<std::int32_t>(len);
        }
    }

    // Lazy parsing: before taking the match at p, look for one at p + 1
    // (and, with Two, at p + 2) that codes the same stretch in fewer bits
    // once the literals in front of it are paid for.
    template <int CB, bool All3, bool Two> void parseLazy(std::int32_t limit) {
        while (p < limit) {
            if (p >= nextCheck) checkpoint();
            const unsigned maxLen = static_cast<unsigned>(std::min(kMaxMatch, end - p));
            if (maxLen < kMinMatch) {
                ++p;
                continue;
            }
            insertTo<CB, true>(p);
            unsigned dist = 0;
            unsigned len = findMatch<CB>(p, 2, maxLen, prm.depth, dist);
            if (!worthIt(len, dist)) {
                ++p;
                continue;
            }
            while (len < prm.maxLazy) {
                const unsigned depth = len >= prm.good ? prm.depth >> 2 : prm.depth;
                const std::uint32_t here = costs.match(len, dist);
                const unsigned max1 = static_cast<unsigned>(std::min(kMaxMatch, end - p - 1));
                if (max1 < len) break;
                unsigned d1 = 0;
                const unsigned len1 = findMatch<CB>(p + 1, len - 1, max1, depth, d1);
                if (len1 >= len) {
                    // Both cover the longer stretch; the rest as literals.
                    const unsigned span = std::max(len, len1 + 1);
                    const std::uint32_t a = here + (span - len) * costs.avgLit;
                    const std::uint32_t b = costs.lit[win[static_cast<std::size_t>(p)]] +
                                            costs.match(len1, d1) +
                                            (span - len1 - 1) * costs.avgLit;
                    if (b < a) {
                        ++p;
                        len = len1;
                        dist = d1;
                        continue;
                    }
                }
                if constexpr (Two) {
                    const unsigned max2 = static_cast<unsigned>(std::min(kMaxMatch, end - p - 2));
                    if (max2 <= len) break;
                    unsigned d2 = 0;
                    const unsigned len2 = findMatch<CB>(p + 2, len, max2, depth, d2);
                    if (len2 > len) {
                        const unsigned span = std::max(len, len2 + 2);
                        const std::uint32_t a = here + (span - len) * costs.avgLit;
                        const std::uint32_t b = costs.lit[win[static_cast<std::size_t>(p)]] +
                                                costs.lit[win[static_cast<std::size_t>(p + 1)]] +
                                                costs.match(len2, d2) +
                                                (span - len2 - 2) * costs.avgLit;
                        if (b < a) {
                            p += 2;
                            len = len2;
                            dist = d2;
                            continue;
                        }
                    }
                }
                break;
            }
            emitMatch(len, dist);
            insertTo<CB, All3>(p + static_cast<std::int32_t>(len));
            p += static_cast<std::int32_t>(len);
        }
    }

    void parse(std::int32_t limit) {
        const bool five = prm.chainBytes > 4;
        switch (prm.parse) {
        case Parse::Fast:
            parseFast(limit);
            break;
        case Parse::Greedy:
            parseGreedy<4, false>(limit);
            break;
        case Parse::Lazy:
            if (five)
                parseLazy<5, true, false>(limit);
            else
                parseLazy<4, false, false>(limit);
            break;
        case Parse::Lazy2:
            parseLazy<5, true, true>(limit);
            break;
        }
    }

    std::uint64_t run() {
        forEachTable(
            [](std::int32_t* t, std::size_t n) { std::memset(t, kNilByte, n * sizeof *t); });
        p = end = litStart = insTo = blockStart = segStart = 0;
        nextCheck = prm.segment;
        nseq = segSeq = 0;
        seqReserve = static_cast<std::size_t>(prm.segment + 2 * kLookahead) / 3 + 8;
        eof = false;
        fileType = 2;
        stats = {};
        blockF.clear();
        segF.clear();
        costs.setFixed();

        refill();
        for (;;) {
            parse(eof ? end : end - kLookahead);
            if (eof) break;
            refill();
        }
        closeLiterals();
        endSegment(true);
        bw.alignToByte();
        bw.drain();
        return bw.total();
    }
};

Deflater::Deflater(int level, std::uint64_t sizeHint)
    : e_(std::make_unique<Engine>(level, sizeHint)) {}

Deflater::~Deflater() = default;

std::uint64_t Deflater::Deflate() {
    e_->input = &Input;
    e_->bw.Sink = Output;
    e_->bw.reset();
    return e_->run();
}

int Deflater::FileType() const {
    return e_->fileType;
}

const Deflater::Stats& Deflater::BlockStats() const {
    return e_->stats;
}

std::size_t Deflater::WorkingSetBytes(int level) {
    return Engine::workingSet(level);
}

std::vector<std::uint8_t> deflateBuffer(std::span<const std::uint8_t> in, int level,
                                        Deflater::Stats* stats) {
    Deflater d(level, in.size());
    std::size_t pos = 0;
    std::vector<std::uint8_t> out;
    d.Input = [&](std::uint8_t* buf, std::size_t cap) {
        const std::size_t n = std::min(cap, in.size() - pos);
        if (n) std::memcpy(buf, in.data() + pos, n);
        pos += n;
        return n;
    };
    d.Output = [&](std::uint8_t* data, std::size_t n) { out.insert(out.end(), data, data + n); };
    d.Deflate();
    if (stats) *stats = d.BlockStats();
    return out;
}
