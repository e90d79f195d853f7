// Block coding of the Deflate compressor: symbol tables, length-limited
// Huffman codes, exact block costs for the stored / fixed / dynamic choice,
// and the bit writer that turns a block's matches and literals into bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

namespace zdef {

constexpr int kNumLitLen = 288; // 286 in use, 288 in the fixed code
constexpr int kNumDist = 32;    // 30 in use, 32 in the fixed code
constexpr int kNumPrecode = 19;
constexpr int kEndOfBlock = 256;
constexpr int kMaxCodeLen = 15;
constexpr int kMaxPrecodeLen = 7;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr std::uint32_t kMaxStoredLen = 65535;

// A run of `litrun` literals taken from the window, then a match of `len`
// bytes `dist` back; len 0 ends a part of a block that has no match.
struct Seq {
    std::uint32_t litrun;
    std::uint16_t len;
    std::uint16_t dist;
};

struct Freqs {
    std::uint32_t litlen[kNumLitLen];
    std::uint32_t dist[kNumDist];
    void clear() { std::memset(this, 0, sizeof(*this)); }
    void add(const Freqs& o) {
        for (int i = 0; i < kNumLitLen; ++i) litlen[i] += o.litlen[i];
        for (int i = 0; i < kNumDist; ++i) dist[i] += o.dist[i];
    }
};

inline constexpr std::uint16_t kLenBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                               15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                               67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistExtra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Length 3..258 to its slot (symbol - 257).
inline constexpr std::array<std::uint8_t, kMaxMatch + 1> kLenSlot = [] {
    std::array<std::uint8_t, kMaxMatch + 1> t{};
    for (int s = 0; s < 28; ++s)
        for (int l = kLenBase[s]; l < kLenBase[s + 1]; ++l)
            t[static_cast<std::size_t>(l)] = static_cast<std::uint8_t>(s);
    t[kMaxMatch] = 28;
    return t;
}();

// Distance 1..32768 to its slot.
inline unsigned distSlot(unsigned dist) {
    const unsigned x = dist - 1;
    if (x < 4) return x;
    const unsigned b = 31u - static_cast<unsigned>(__builtin_clz(x));
    return 2 * b + ((x >> (b - 1)) & 1);
}

// Code lengths of a complete prefix code over n symbols, none longer than
// maxLen; at least two symbols get a code so that every decoder accepts it.
void buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens);
// Canonical codes for the lengths, bit-reversed for LSB-first output.
void buildCodes(const std::uint8_t* lens, int n, std::uint16_t* codes);

// Everything needed to write a block with Huffman codes.
struct BlockPlan {
    std::uint8_t litLens[kNumLitLen];
    std::uint8_t distLens[kNumDist];
    int numLit = 0, numDist = 0, numPrecode = 0;
    std::uint8_t precodeLens[kNumPrecode];
    // Run-length coded code lengths: symbol and extra-bit value per item.
    std::uint8_t itemSym[kNumLitLen + kNumDist];
    std::uint8_t itemExtra[kNumLitLen + kNumDist];
    int numItems = 0;
    std::uint64_t dynamicBits = 0; // block header included
    std::uint64_t fixedBits = 0;   // block header included
    std::uint64_t huffmanBits() const { return dynamicBits < fixedBits ? dynamicBits : fixedBits; }
    bool useFixed() const { return fixedBits <= dynamicBits; }
};

// Builds the dynamic codes for the frequencies (the end-of-block symbol is
// counted here) and the costs of both Huffman block types.
void planBlock(const Freqs& f, BlockPlan& plan);

// Bits of `bytes` stored bytes as stored blocks, starting `bitPos` bits
// into a byte.
std::uint64_t storedBits(std::uint64_t bytes, unsigned bitPos);

// Output buffer and 64-bit bit accumulator.  Whole bytes go to the buffer;
// the buffer goes to the sink when it fills.
class BitWriter {
public:
    static constexpr std::size_t kCapacity = 1 << 16;
    static constexpr std::size_t kDrainAt = kCapacity - 8192;

    BitWriter();
    ~BitWriter();
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    // Receives finished output; may change the bytes (encryption).
    std::function<void(std::uint8_t* data, std::size_t n)> Sink;

    // Adds up to 56 bits with at most 7 pending; call flushBits() after
    // at most 56 bits in all.
    void add(std::uint64_t bits, unsigned n) {
        bitbuf_ |= bits << bitcount_;
        bitcount_ += n;
    }
    void flushBits() {
        std::memcpy(pos_, &bitbuf_, 8);
        const unsigned bytes = bitcount_ >> 3;
        pos_ += bytes;
        bitbuf_ >>= bytes * 8; // at most 56: bitcount_ stays below 64
        bitcount_ &= 7;
    }
    void drainIfFull() {
        if (static_cast<std::size_t>(pos_ - buf_) >= kDrainAt) drain();
    }
    // Pads with zero bits to a byte boundary.
    void alignToByte() {
        bitcount_ = (bitcount_ + 7) & ~7u;
        flushBits();
    }
    // Copies bytes after alignToByte().
    void putBytes(const std::uint8_t* p, std::size_t n);
    void drain();
    // Forgets pending output, for a new stream.
    void reset() {
        pos_ = buf_;
        bitbuf_ = 0;
        bitcount_ = 0;
        total_ = 0;
    }
    unsigned bitPos() const { return bitcount_; }
    std::uint64_t total() const { return total_ + static_cast<std::uint64_t>(pos_ - buf_); }

private:
    std::uint8_t* buf_;
    std::uint8_t* pos_;
    std::uint64_t bitbuf_ = 0;
    unsigned bitcount_ = 0;
    std::uint64_t total_ = 0;
};

// Writes one block of sequences whose literals start at `lits`; the plan
// comes from planBlock() on the block's frequencies.  `bytes` is the block's
// length in the window (for stored blocks, which copy it from `lits`).
// Returns the block type written: 0 stored, 1 fixed, 2 dynamic.
int writeBlock(BitWriter& bw, const BlockPlan& plan, const Seq* seqs, std::size_t n,
               const std::uint8_t* lits, std::uint32_t bytes, bool last);

} // namespace zdef
