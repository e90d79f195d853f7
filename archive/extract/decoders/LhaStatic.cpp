// Static Huffman sliding-dictionary decoder: block-coded LZ77 whose blocks
// each carry their own code tables.  LHA -lh4- to -lh7-, ARJ methods 1 to
// 3, ZOO method 2 and BH method 1 are all this one format with different
// dictionary sizes.
//
// Params.Variant is the dictionary bits; everything else follows from it:
//   12  lh4                    13  lh5, ZOO 2, BH 1
//   15  lh6                    16  lh7, ARJ 1 to 3
// The position code has NumPos = max(bits + 1, 14) symbols (lh4 streams are
// written with the lh5 position set), its count field is 4 bits wide while
// NumPos fits in it and 5 bits beyond, and the history kept is the farthest
// a position code can reach, 2^(NumPos - 1) bytes: 8, 32 or 64 KB.  Before
// the first byte the history reads as spaces.  Params.Size (the member's
// uncompressed size) ends the stream; a block of size 0, or running out of
// compressed bytes, ends it early (the caller's CRC then tells).
//
// Speed: the bit buffer, input and output pointers live in locals in the
// hot loop, one 64-bit refill serves a whole literal or match (at most 47
// bits), codes are looked up in a 12-bit (literals and lengths) or 8-bit
// (positions) first-level table with small second-level tables for longer
// codes, and matches are copied without wrap-around from a flat buffer that
// slides once a chunk has gone to the sink.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"
#include "archive/extract/MatchCopy.h"

namespace dec {

namespace {

constexpr int kNC = 510; // 256 literals and the match lengths 3 to 256
constexpr int kNT = 19;  // code-length code
constexpr int kTBits = 5;
constexpr int kCBits = 9;
constexpr int kMaxLen = 16;
constexpr int kCRoot = 12;
constexpr int kPRoot = 8;
constexpr std::size_t kCTable = (1u << kCRoot) + kNC * (1u << (kMaxLen - kCRoot));
constexpr std::size_t kPTable = (1u << kPRoot) + kNT * (1u << (kMaxLen - kPRoot));

constexpr std::size_t kInBuf = kBlockSize;
constexpr std::size_t kMaxMatch = 256;
// Wide match copies write up to 15 bytes past the match.
constexpr std::size_t kMargin = kMaxMatch + 16;

// Table entry: bits 0-4 bits to drop, bit 7 link to a second-level table
// (bits 8-12 its width), bits 16-31 the symbol or the second table's start.
constexpr std::uint32_t kSub = 0x80;

inline std::uint64_t load64be(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// Builds the table of a canonical code, most significant bit first.  The
// code must be complete (every bit string decodes); lengths above 16 or an
// incomplete or over-full set fail.
bool buildTable(const std::uint8_t* len, int n, int root, std::uint32_t* table) {
    unsigned count[kMaxLen + 1] = {};
    for (int s = 0; s < n; ++s) {
        if (len[s] > kMaxLen) return false;
        count[len[s]]++;
    }
    std::uint32_t space = 0;
    int maxLen = 0;
    for (int l = 1; l <= kMaxLen; ++l) {
        space += count[l] << (kMaxLen - l);
        if (count[l]) maxLen = l;
    }
    if (space != (1u << kMaxLen)) return false;

    // Symbols in code order: by length, then by symbol.
    unsigned offs[kMaxLen + 2];
    offs[1] = 0;
    for (int l = 1; l <= kMaxLen; ++l) offs[l + 1] = offs[l] + count[l];
    std::uint16_t sorted[kNC];
    for (int s = 0; s < n; ++s)
        if (len[s]) sorted[offs[len[s]]++] = static_cast<std::uint16_t>(s);
    const unsigned total = offs[kMaxLen];

    const int subWidth = maxLen > root ? maxLen - root : 0;
    std::size_t next = std::size_t{1} << root;
    std::uint32_t curPrefix = ~0u;
    std::size_t subStart = 0;
    std::uint32_t code = 0; // left-aligned to 16 bits
    for (unsigned i = 0; i < total; ++i) {
        const unsigned s = sorted[i];
        const int l = len[s];
        const std::uint32_t c = code >> (kMaxLen - l);
        if (l <= root) {
            const std::uint32_t e = (s << 16) | static_cast<std::uint32_t>(l);
            const std::size_t first = std::size_t{c} << (root - l);
            std::fill(table + first, table + first + (std::size_t{1} << (root - l)), e);
        } else {
            const std::uint32_t prefix = c >> (l - root);
            if (prefix != curPrefix) {
                curPrefix = prefix;
                subStart = next;
                next += std::size_t{1} << subWidth;
                table[prefix] = (static_cast<std::uint32_t>(subStart) << 16) |
                                (static_cast<std::uint32_t>(subWidth) << 8) | kSub |
                                static_cast<std::uint32_t>(root);
            }
            const int rest = l - root;
            const std::uint32_t e = (s << 16) | static_cast<std::uint32_t>(rest);
            const std::size_t first =
                subStart + (std::size_t{c & ((1u << rest) - 1)} << (subWidth - rest));
            std::fill(table + first, table + first + (std::size_t{1} << (subWidth - rest)), e);
        }
        code += 1u << (kMaxLen - l);
    }
    return true;
}

// A table that decodes every bit string, without consuming any, as one
// symbol: a set with a single symbol.
void singleSymbol(std::uint32_t* table, int root, std::uint32_t sym) {
    std::fill(table, table + (std::size_t{1} << root), sym << 16);
}

class LhaStaticDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params& p) override;

private:
    // Bits, most significant first, in the top of a 64-bit buffer.  The
    // bits below the valid ones are either zero or the stream's own next
    // bits, so a word load may overlap them.
    struct Bits {
        Input* src = nullptr;
        std::uint8_t* buf = nullptr;
        const std::uint8_t* p = nullptr;
        const std::uint8_t* e = nullptr;
        std::uint64_t bb = 0;
        int bc = 0;
        int pad = 0; // zero bytes supplied past the end of the member
        bool eof = false;

        // Moves the unread bytes to the front and reads more.
        bool fill() {
            if (eof) return false;
            const std::size_t keep = static_cast<std::size_t>(e - p);
            std::memmove(buf, p, keep);
            p = buf;
            e = buf + keep;
            const std::size_t got = src->read(buf + keep, kInBuf - keep);
            if (got == 0) {
                eof = true;
                return false;
            }
            e += got;
            return true;
        }
        // At least 56 bits, zero bits once the member's bytes are used up.
        void refill() {
            if (e - p < 8) {
                // Whole bytes near the end of the buffer, clearing what a word
                // load may have left below the valid bits.
                bb &= bc ? ~std::uint64_t{0} << (64 - bc) : 0;
                while (bc <= 56 && e - p < 8) {
                    if (p == e && !fill()) {
                        ++pad;
                        bc += 8;
                    } else if (e - p < 8) {
                        bb |= static_cast<std::uint64_t>(*p++) << (56 - bc);
                        bc += 8;
                    }
                }
                if (bc > 56) return;
            }
            bb |= load64be(p) >> bc;
            p += (63 - bc) >> 3;
            bc |= 56;
        }
        void need(int n) {
            if (bc < n) refill();
        }
        std::uint32_t peek(int n) const { return static_cast<std::uint32_t>(bb >> (64 - n)); }
        void drop(int n) {
            bb <<= n;
            bc -= n;
        }
        std::uint32_t get(int n) {
            if (n == 0) return 0;
            need(n);
            const std::uint32_t v = peek(n);
            drop(n);
            return v;
        }
        std::uint32_t decode(const std::uint32_t* table, int root) {
            need(kMaxLen);
            std::uint32_t en = table[peek(root)];
            if (en & kSub) {
                drop(root);
                en = table[(en >> 16) + peek(static_cast<int>((en >> 8) & 31))];
            }
            drop(static_cast<int>(en & 31));
            return en >> 16;
        }
        // Bits past the end of the member have been used.
        bool dry() const { return bc < 8 * pad; }
    };

    void readPtLen(int nn, int nbit, int special);
    void readCLen();

    Bits b_;
    std::unique_ptr<std::uint8_t[]> inBuf_ = std::make_unique<std::uint8_t[]>(kInBuf + 8);
    std::unique_ptr<std::uint32_t[]> cTable_ = std::make_unique<std::uint32_t[]>(kCTable);
    std::unique_ptr<std::uint32_t[]> pTable_ = std::make_unique<std::uint32_t[]>(kPTable);
    std::uint8_t cLen_[kNC] = {};
    std::uint8_t pLen_[kNT] = {};
    std::vector<std::uint8_t> win_;
};

} // namespace

// Lengths of a short code (the code-length code, or the positions): a
// count, then 3-bit lengths where 7 continues in unary; after the entry
// `special` a 2-bit count of zero lengths follows.
void LhaStaticDecoder::readPtLen(int nn, int nbit, int special) {
    const int n = static_cast<int>(b_.get(nbit));
    if (n == 0) {
        const std::uint32_t c = b_.get(nbit);
        if (c >= static_cast<std::uint32_t>(nn)) fail(err::BadHuffmanCode);
        std::fill(pLen_, pLen_ + nn, 0);
        singleSymbol(pTable_.get(), kPRoot, c);
        return;
    }
    if (n > nn) fail(err::BadHuffmanCode);
    int i = 0;
    while (i < n) {
        // A run of ones may make a length of up to 20 bits.
        b_.need(20);
        const std::uint32_t v = b_.peek(16);
        std::uint32_t c = v >> 13;
        if (c == 7) {
            for (std::uint32_t mask = 1u << 12; v & mask; mask >>= 1) ++c;
        }
        b_.drop(c < 7 ? 3 : static_cast<int>(c) - 3);
        pLen_[i++] = static_cast<std::uint8_t>(c);
        if (i == special) {
            for (std::uint32_t z = b_.get(2); z > 0 && i < nn; --z) pLen_[i++] = 0;
        }
    }
    std::fill(pLen_ + i, pLen_ + nn, 0);
    if (!buildTable(pLen_, nn, kPRoot, pTable_.get())) fail(err::BadHuffmanCode);
}

// Lengths of the literal/length code, themselves coded with the
// code-length code: 0 one zero, 1 and 2 runs of zeros, k the length k - 2.
void LhaStaticDecoder::readCLen() {
    const int n = static_cast<int>(b_.get(kCBits));
    if (n == 0) {
        const std::uint32_t c = b_.get(kCBits);
        if (c >= static_cast<std::uint32_t>(kNC)) fail(err::BadHuffmanCode);
        std::fill(cLen_, cLen_ + kNC, 0);
        singleSymbol(cTable_.get(), kCRoot, c);
        return;
    }
    if (n > kNC) fail(err::BadHuffmanCode);
    int i = 0;
    while (i < n) {
        const std::uint32_t c = b_.decode(pTable_.get(), kPRoot);
        if (c <= 2) {
            const int run = c == 0   ? 1
                            : c == 1 ? static_cast<int>(b_.get(4)) + 3
                                     : static_cast<int>(b_.get(kCBits)) + 20;
            if (i + run > kNC) fail(err::BadHuffmanCode);
            std::fill(cLen_ + i, cLen_ + i + run, 0);
            i += run;
        } else {
            cLen_[i++] = static_cast<std::uint8_t>(c - 2);
        }
    }
    std::fill(cLen_ + i, cLen_ + kNC, 0);
    if (!buildTable(cLen_, kNC, kCRoot, cTable_.get())) fail(err::BadHuffmanCode);
}

void LhaStaticDecoder::decode(Input& in, Sink& sink, const Params& prm) {
    const int dictBits = prm.Variant;
    if (dictBits < 10 || dictBits > 16) fail(err::UnsupportedMethod);
    const int np = std::max(dictBits + 1, 14);
    const int pbit = np < 16 ? 4 : 5;
    const std::size_t history = std::size_t{1} << (np - 1);
    const std::size_t chunk = std::max<std::size_t>(history, 65536);
    const std::uint64_t size = prm.Size;
    if (size == 0) {
        in.finish();
        return;
    }

    win_.resize(history + chunk + kMargin);
    std::uint8_t* const base = win_.data();
    std::fill(base, base + history, ' ');
    std::uint8_t* const chunkEnd = base + history + chunk;
    std::uint8_t* out = base + history;
    std::uint8_t* flushed = out;
    std::uint64_t written = 0; // bytes handed to the sink (or cut at the size)

    auto flush = [&] {
        const std::uint64_t n = static_cast<std::uint64_t>(out - flushed);
        if (written < size)
            writeOrFail(sink, flushed, static_cast<std::size_t>(std::min(n, size - written)));
        written += n;
        flushed = out;
    };

    b_ = Bits{};
    b_.src = &in;
    b_.buf = inBuf_.get();
    b_.p = b_.e = b_.buf;
    std::uint32_t blockLeft = 0;

    const std::uint32_t* const ct = cTable_.get();
    const std::uint32_t* const pt = pTable_.get();
    for (;;) {
        const std::uint64_t produced = written + static_cast<std::uint64_t>(out - flushed);
        if (produced >= size) break;
        if (out >= chunkEnd) {
            flush();
            std::memmove(base, out - history, history);
            out = flushed = base + history;
        }
        if (!b_.eof && b_.e - b_.p < 8) b_.fill();
        if (blockLeft == 0) {
            blockLeft = b_.get(16);
            if (blockLeft == 0 || b_.dry()) break;
            readPtLen(kNT, kTBits, 3);
            readCLen();
            readPtLen(np, pbit, -1);
            if (b_.dry()) break;
            continue;
        }
        const std::uint64_t room =
            std::min<std::uint64_t>(size - produced, static_cast<std::uint64_t>(chunkEnd - out));
        std::uint8_t* const stop = out + room;

        if (b_.e - b_.p >= 8) {
            // Fast path: whole words of input at hand.
            std::uint64_t bb = b_.bb;
            int bc = b_.bc;
            const std::uint8_t* p = b_.p;
            const std::uint8_t* const pFast = b_.e - 8;
            std::uint32_t left = blockLeft;
            while (left && out < stop && p <= pFast) {
                bb |= load64be(p) >> bc;
                p += (63 - bc) >> 3;
                bc |= 56;
                std::uint32_t en = ct[bb >> (64 - kCRoot)];
                if (en & kSub) {
                    bb <<= kCRoot;
                    bc -= kCRoot;
                    en = ct[(en >> 16) + (bb >> (64 - ((en >> 8) & 31)))];
                }
                bb <<= en & 31;
                bc -= static_cast<int>(en & 31);
                --left;
                const std::uint32_t sym = en >> 16;
                if (sym < 256) {
                    *out++ = static_cast<std::uint8_t>(sym);
                    continue;
                }
                std::uint32_t pe = pt[bb >> (64 - kPRoot)];
                if (pe & kSub) {
                    bb <<= kPRoot;
                    bc -= kPRoot;
                    pe = pt[(pe >> 16) + (bb >> (64 - ((pe >> 8) & 31)))];
                }
                bb <<= pe & 31;
                bc -= static_cast<int>(pe & 31);
                std::uint32_t j = pe >> 16;
                if (j > 1) {
                    const int extra = static_cast<int>(j) - 1;
                    j = (1u << extra) | static_cast<std::uint32_t>(bb >> (64 - extra));
                    bb <<= extra;
                    bc -= extra;
                }
                const std::size_t len = sym - 253;
                copyMatch(out, j + 1, len);
                out += len;
            }
            b_.bb = bb;
            b_.bc = bc;
            b_.p = p;
            blockLeft = left;
            continue;
        }

        // Near the end of the member's bytes: one symbol at a time.
        const std::uint32_t sym = b_.decode(ct, kCRoot);
        --blockLeft;
        if (sym < 256) {
            if (b_.dry()) break;
            *out++ = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint32_t j = b_.decode(pt, kPRoot);
        if (j > 1) j = (1u << (j - 1)) | b_.get(static_cast<int>(j) - 1);
        if (b_.dry()) break;
        const std::size_t len = sym - 253;
        copyMatch(out, j + 1, len);
        out += len;
    }
    flush();
    in.finish();
}

void registerLhaStaticDecoder(DecoderTable& table) {
    table.add(fmt::Codec::LhaStatic, [] { return std::unique_ptr<Decoder>(new LhaStaticDecoder); });
}

} // namespace dec
