#include "archive/zip/DeflateBlock.h"

#include <algorithm>
#include <bit>

namespace zdef {

static_assert(std::endian::native == std::endian::little, "the bit writer stores words as-is");

namespace {

// Order in which the precode lengths are sent.
constexpr std::uint8_t kPrecodeOrder[kNumPrecode] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr std::uint8_t kPrecodeExtra[kNumPrecode] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                     0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr std::array<std::uint8_t, 256> kReverse8 = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
        t[i] = static_cast<std::uint8_t>(r);
    }
    return t;
}();

// Frequencies are packed with the symbol into one word for sorting.
constexpr std::uint32_t kFreqCap = (1u << 23) - 1;

int fixedLitLen(int s) {
    return s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
}

struct FixedCodes {
    std::uint8_t litLens[kNumLitLen];
    std::uint16_t litCodes[kNumLitLen];
    std::uint8_t distLens[kNumDist];
    std::uint16_t distCodes[kNumDist];
    FixedCodes() {
        for (int s = 0; s < kNumLitLen; ++s) litLens[s] = static_cast<std::uint8_t>(fixedLitLen(s));
        for (int s = 0; s < kNumDist; ++s) distLens[s] = 5;
        buildCodes(litLens, kNumLitLen, litCodes);
        buildCodes(distLens, kNumDist, distCodes);
    }
};

const FixedCodes& fixedCodes() {
    static const FixedCodes f;
    return f;
}

// Run-length codes a sequence of code lengths with the precode's repeat
// symbols 16 (previous length 3-6 times), 17 (3-10 zeros), 18 (11-138 zeros).
int runLengthCode(const std::uint8_t* lens, int n, std::uint8_t* sym, std::uint8_t* extra) {
    int k = 0;
    int i = 0;
    while (i < n) {
        const std::uint8_t v = lens[i];
        int r = 1;
        while (i + r < n && lens[i + r] == v) ++r;
        i += r;
        if (v == 0) {
            while (r >= 11) {
                const int c = std::min(r, 138);
                sym[k] = 18;
                extra[k++] = static_cast<std::uint8_t>(c - 11);
                r -= c;
            }
            if (r >= 3) {
                sym[k] = 17;
                extra[k++] = static_cast<std::uint8_t>(r - 3);
                r = 0;
            }
        } else {
            sym[k] = v;
            extra[k++] = 0;
            --r;
            while (r >= 3) {
                const int c = std::min(r, 6);
                sym[k] = 16;
                extra[k++] = static_cast<std::uint8_t>(c - 3);
                r -= c;
            }
        }
        for (; r > 0; --r) {
            sym[k] = v;
            extra[k++] = 0;
        }
    }
    return k;
}

} // namespace

void buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens) {
    std::uint32_t item[kNumLitLen];
    int m = 0;
    for (int s = 0; s < n; ++s) {
        lens[s] = 0;
        if (freq[s]) item[m++] = (std::min(freq[s], kFreqCap) << 9) | static_cast<std::uint32_t>(s);
    }
    if (m < 2) {
        const int a = m ? static_cast<int>(item[0] & 511) : 0;
        lens[a] = 1;
        lens[a == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(item, item + m);

    // Huffman's construction with two queues: the leaves in order of weight
    // and the inner nodes in order of creation, which is also by weight.
    std::uint32_t weight[kNumLitLen];
    int parent[2 * kNumLitLen];
    int leaf = 0, inner = 0;
    for (int k = 0; k < m - 1; ++k) {
        std::uint32_t sum = 0;
        for (int c = 0; c < 2; ++c) {
            if (leaf < m && (inner >= k || (item[leaf] >> 9) <= weight[inner])) {
                sum += item[leaf] >> 9;
                parent[leaf++] = m + k;
            } else {
                sum += weight[inner];
                parent[m + inner++] = m + k;
            }
        }
        weight[k] = sum;
    }
    int depth[2 * kNumLitLen];
    const int root = 2 * m - 2;
    depth[root] = 0;
    for (int x = root - 1; x >= 0; --x) depth[x] = depth[parent[x]] + 1;

    int count[kMaxCodeLen + 1] = {};
    for (int i = 0; i < m; ++i) ++count[std::min(depth[i], maxLen)];

    // Leaves cut to maxLen over-subscribe the code; lengthen the deepest
    // shorter codes until it fits, then give back any room left over.
    const std::uint32_t full = 1u << maxLen;
    std::uint32_t kraft = 0;
    for (int l = 1; l <= maxLen; ++l) kraft += static_cast<std::uint32_t>(count[l]) << (maxLen - l);
    while (kraft > full) {
        int l = maxLen - 1;
        while (l > 1 && count[l] == 0) --l;
        --count[l];
        ++count[l + 1];
        kraft -= 1u << (maxLen - l - 1);
    }
    while (kraft < full) {
        int l = maxLen;
        while (l > 1 && (count[l] == 0 || (1u << (maxLen - l)) > full - kraft)) --l;
        if (l <= 1) break;
        --count[l];
        ++count[l - 1];
        kraft += 1u << (maxLen - l);
    }

    // The rarest symbols take the longest codes.
    int idx = 0;
    for (int l = maxLen; l >= 1; --l)
        for (int c = 0; c < count[l]; ++c) lens[item[idx++] & 511] = static_cast<std::uint8_t>(l);
}

void buildCodes(const std::uint8_t* lens, int n, std::uint16_t* codes) {
    int count[kMaxCodeLen + 1] = {};
    for (int s = 0; s < n; ++s) ++count[lens[s]];
    count[0] = 0;
    unsigned next[kMaxCodeLen + 2] = {};
    unsigned code = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) {
        code = (code + static_cast<unsigned>(count[l - 1])) << 1;
        next[l] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int l = lens[s];
        if (!l) {
            codes[s] = 0;
            continue;
        }
        const unsigned c = next[l]++;
        const unsigned r = kReverse8[c & 0xFF] << 8 | kReverse8[c >> 8];
        codes[s] = static_cast<std::uint16_t>(r >> (16 - l));
    }
}

void planBlock(const Freqs& f, BlockPlan& plan) {
    std::uint32_t lit[kNumLitLen];
    std::memcpy(lit, f.litlen, sizeof lit);
    lit[kEndOfBlock] = 1;
    buildLengths(lit, 286, kMaxCodeLen, plan.litLens);
    plan.litLens[286] = plan.litLens[287] = 0;
    buildLengths(f.dist, 30, kMaxCodeLen, plan.distLens);
    plan.distLens[30] = plan.distLens[31] = 0;

    std::uint64_t extra = 0;
    for (int s = 0; s < 29; ++s) extra += std::uint64_t(lit[257 + s]) * kLenExtra[s];
    for (int s = 0; s < 30; ++s) extra += std::uint64_t(f.dist[s]) * kDistExtra[s];
    std::uint64_t dyn = extra, fix = extra;
    for (int s = 0; s < 286; ++s) {
        dyn += std::uint64_t(lit[s]) * plan.litLens[s];
        fix += std::uint64_t(lit[s]) * static_cast<unsigned>(fixedLitLen(s));
    }
    for (int s = 0; s < 30; ++s) {
        dyn += std::uint64_t(f.dist[s]) * plan.distLens[s];
        fix += std::uint64_t(f.dist[s]) * 5;
    }

    int nl = 286;
    while (nl > 257 && plan.litLens[nl - 1] == 0) --nl;
    int nd = 30;
    while (nd > 1 && plan.distLens[nd - 1] == 0) --nd;
    plan.numLit = nl;
    plan.numDist = nd;
    std::uint8_t all[kNumLitLen + kNumDist];
    std::memcpy(all, plan.litLens, static_cast<std::size_t>(nl));
    std::memcpy(all + nl, plan.distLens, static_cast<std::size_t>(nd));
    plan.numItems = runLengthCode(all, nl + nd, plan.itemSym, plan.itemExtra);

    std::uint32_t pf[kNumPrecode] = {};
    for (int i = 0; i < plan.numItems; ++i) ++pf[plan.itemSym[i]];
    buildLengths(pf, kNumPrecode, kMaxPrecodeLen, plan.precodeLens);
    int np = kNumPrecode;
    while (np > 4 && plan.precodeLens[kPrecodeOrder[np - 1]] == 0) --np;
    plan.numPrecode = np;

    std::uint64_t header = 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(np);
    for (int s = 0; s < kNumPrecode; ++s)
        header += std::uint64_t(pf[s]) * (plan.precodeLens[s] + kPrecodeExtra[s]);
    plan.dynamicBits = 3 + header + dyn;
    plan.fixedBits = 3 + fix;
}

std::uint64_t storedBits(std::uint64_t bytes, unsigned bitPos) {
    const std::uint64_t chunks = bytes == 0 ? 1 : (bytes + kMaxStoredLen - 1) / kMaxStoredLen;
    const unsigned pad = (8 - ((bitPos + 3) & 7)) & 7;
    return 8 * bytes + (3 + pad + 32) + (chunks - 1) * (3 + 5 + 32);
}

BitWriter::BitWriter() : buf_(new std::uint8_t[kCapacity]), pos_(buf_) {}

BitWriter::~BitWriter() {
    delete[] buf_;
}

void BitWriter::drain() {
    const std::size_t n = static_cast<std::size_t>(pos_ - buf_);
    if (n && Sink) Sink(buf_, n);
    total_ += n;
    pos_ = buf_;
}

void BitWriter::putBytes(const std::uint8_t* p, std::size_t n) {
    while (n) {
        const std::size_t room = kCapacity - static_cast<std::size_t>(pos_ - buf_);
        const std::size_t c = std::min(n, room);
        std::memcpy(pos_, p, c);
        pos_ += c;
        p += c;
        n -= c;
        if (n) drain();
    }
    drainIfFull();
}

int writeBlock(BitWriter& bw, const BlockPlan& plan, const Seq* seqs, std::size_t n,
               const std::uint8_t* lits, std::uint32_t bytes, bool last) {
    bw.drainIfFull();
    if (storedBits(bytes, bw.bitPos()) < plan.huffmanBits()) {
        std::uint32_t left = bytes;
        do {
            const std::uint32_t c = std::min(left, kMaxStoredLen);
            left -= c;
            bw.add(last && left == 0 ? 1 : 0, 3);
            bw.alignToByte();
            bw.add(c | ((~c & 0xFFFFu) << 16), 32);
            bw.flushBits();
            bw.putBytes(lits, c);
            lits += c;
        } while (left);
        return 0;
    }

    const std::uint8_t* litLens;
    const std::uint8_t* distLens;
    std::uint16_t litCodesBuf[kNumLitLen], distCodesBuf[kNumDist];
    const std::uint16_t* litCodes;
    const std::uint16_t* distCodes;
    const bool fixed = plan.useFixed();
    if (fixed) {
        const FixedCodes& fc = fixedCodes();
        litLens = fc.litLens;
        distLens = fc.distLens;
        litCodes = fc.litCodes;
        distCodes = fc.distCodes;
        bw.add((last ? 1 : 0) | (1 << 1), 3);
    } else {
        litLens = plan.litLens;
        distLens = plan.distLens;
        buildCodes(litLens, kNumLitLen, litCodesBuf);
        buildCodes(distLens, kNumDist, distCodesBuf);
        litCodes = litCodesBuf;
        distCodes = distCodesBuf;
        std::uint16_t preCodes[kNumPrecode];
        buildCodes(plan.precodeLens, kNumPrecode, preCodes);
        bw.add((last ? 1 : 0) | (2 << 1), 3);
        bw.add(static_cast<std::uint64_t>(plan.numLit - 257), 5);
        bw.add(static_cast<std::uint64_t>(plan.numDist - 1), 5);
        bw.add(static_cast<std::uint64_t>(plan.numPrecode - 4), 4);
        bw.flushBits();
        for (int i = 0; i < plan.numPrecode; ++i) {
            bw.add(plan.precodeLens[kPrecodeOrder[i]], 3);
            bw.flushBits();
        }
        for (int i = 0; i < plan.numItems; ++i) {
            const int s = plan.itemSym[i];
            bw.add(preCodes[s], plan.precodeLens[s]);
            bw.add(plan.itemExtra[i], kPrecodeExtra[s]);
            bw.flushBits();
        }
    }

    // Length codes with their extra bits, one entry per match length.
    std::uint32_t lenCode[kMaxMatch + 1];
    std::uint8_t lenBits[kMaxMatch + 1];
    for (int l = kMinMatch; l <= kMaxMatch; ++l) {
        const int slot = kLenSlot[static_cast<std::size_t>(l)];
        const int sym = 257 + slot;
        lenCode[l] = litCodes[sym] | static_cast<std::uint32_t>(l - kLenBase[slot]) << litLens[sym];
        lenBits[l] = static_cast<std::uint8_t>(litLens[sym] + kLenExtra[slot]);
    }

    for (std::size_t i = 0; i < n; ++i) {
        const Seq& s = seqs[i];
        std::uint32_t r = s.litrun;
        for (; r >= 3; r -= 3, lits += 3) {
            bw.add(litCodes[lits[0]], litLens[lits[0]]);
            bw.add(litCodes[lits[1]], litLens[lits[1]]);
            bw.add(litCodes[lits[2]], litLens[lits[2]]);
            bw.flushBits();
            bw.drainIfFull();
        }
        for (; r; --r, ++lits) {
            bw.add(litCodes[*lits], litLens[*lits]);
            bw.flushBits();
        }
        if (s.len) {
            bw.add(lenCode[s.len], lenBits[s.len]);
            const unsigned d = s.dist;
            const unsigned slot = distSlot(d);
            bw.add(distCodes[slot] | std::uint64_t(d - kDistBase[slot]) << distLens[slot],
                   distLens[slot] + kDistExtra[slot]);
            bw.flushBits();
            lits += s.len;
        }
        bw.drainIfFull();
    }
    bw.add(litCodes[kEndOfBlock], litLens[kEndOfBlock]);
    bw.flushBits();
    return fixed ? 1 : 2;
}

} // namespace zdef
