#include <cstdint>
#include <memory>

// Dynamic LZW with partial clearing (ZIP method 1).
#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr int kCodes = 8192;
constexpr std::uint32_t kUnused = 0xFFFFFFFFu;
constexpr int kFirstFree = 257;
constexpr int kMaxCodeSize = 13;

struct ShrinkTables {
    std::uint32_t parent[kCodes];
    std::uint8_t chr[kCodes];
    std::uint16_t children[kCodes];
    std::uint16_t freeList[kCodes];
    int freeHead = 0;
    int freeCount = 0;
    std::uint8_t stack[kCodes];
};

void partialClear(ShrinkTables& t) {
    // Only the current leaves go: a parent emptied here stays for now.
    int n = 0;
    std::uint16_t* cleared = t.freeList; // rebuilt in place, ascending
    for (int c = kFirstFree; c < kCodes; ++c)
        if (t.children[c] == 0) cleared[n++] = static_cast<std::uint16_t>(c);
    for (int i = n - 1; i >= 0; --i) {
        int c = cleared[i];
        std::uint32_t p = t.parent[c];
        if (p != kUnused && p < kCodes && t.children[p] > 0) --t.children[p];
        t.parent[c] = kUnused;
    }
    t.freeHead = 0;
    t.freeCount = n;
}

class UnshrinkDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params&) override;

private:
    std::unique_ptr<ShrinkTables> tables_ = std::make_unique<ShrinkTables>();
};

} // namespace

void UnshrinkDecoder::decode(Input& in, Sink& sink, const Params&) {
    ShrinkTables* t = tables_.get();
    t->freeHead = 0;
    for (int c = 0; c < kCodes; ++c) {
        t->parent[c] = kUnused;
        t->chr[c] = static_cast<std::uint8_t>(c & 0xFF);
        t->children[c] = 0;
    }
    int n = 0;
    for (int c = kFirstFree; c < kCodes; ++c) t->freeList[n++] = static_cast<std::uint16_t>(c);
    t->freeCount = n;

    // No history is needed: strings come from the code table.
    Window out(sink, 0);
    LsbBitReader bits(in);
    int codeSize = 9;

    if (!bits.need(codeSize)) fail(err::BadBlock);
    std::uint32_t prev = bits.bits(codeSize);
    if (prev > 255) fail(err::InvalidCode);
    std::uint8_t last = static_cast<std::uint8_t>(prev);
    out.put(last);

    for (;;) {
        if (!bits.need(codeSize)) break;
        std::uint32_t code = bits.bits(codeSize);
        if (code == 256) {
            if (!bits.need(codeSize)) break;
            std::uint32_t ctl = bits.bits(codeSize);
            if (ctl == 1) {
                if (++codeSize > kMaxCodeSize) fail(err::InvalidCode);
            } else if (ctl == 2) {
                partialClear(*t);
            } else {
                fail(err::BadBlock);
            }
            continue;
        }
        if (code >= kCodes) fail(err::InvalidCode);

        int sp = 0;
        std::uint32_t walk = code;
        if (code >= kFirstFree && t->parent[code] == kUnused) {
            // The code being defined right now: previous string + its first byte.
            t->stack[sp++] = last;
            walk = prev;
        }
        while (walk >= kFirstFree) {
            if (walk >= kCodes || t->parent[walk] == kUnused) fail(err::InvalidCode);
            if (sp >= kCodes) {
                out.flush();
                fail(err::StackOverflow);
            }
            t->stack[sp++] = t->chr[walk];
            walk = t->parent[walk];
        }
        if (walk == 256) fail(err::InvalidCode);
        last = static_cast<std::uint8_t>(walk);
        out.put(last);
        while (sp > 0) out.put(t->stack[--sp]);

        if (t->freeHead < t->freeCount) {
            int fc = t->freeList[t->freeHead++];
            t->parent[fc] = prev;
            t->chr[fc] = last;
            ++t->children[prev];
        }
        prev = code;
    }
    out.flush();
    in.finish();
}

void registerUnshrinkDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Unshrink, [] { return std::unique_ptr<Decoder>(new UnshrinkDecoder); });
}

} // namespace dec
