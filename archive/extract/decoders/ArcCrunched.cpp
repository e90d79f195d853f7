// ARC's crunched methods.  Params.Variant is the method:
//   5, 6, 7  LZW with fixed 12-bit codes (two per three bytes, most
//            significant bit first) over a 4096-entry string table whose
//            entries go where a hash of (predecessor, follower) says;
//            6 and 7 add the run-length stage, 7 hashes differently.
//   8        dynamic LZW up to 12 bits (the first byte must say 12), then
//            the run-length stage.
//
// Methods 5 and 6 hash by the middle bits of a square: ((p + f) | 0x800)
// squared, bits 6 to 17.  This is what decodes the archives of the ARC
// versions that wrote them.
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/decoders/ArcLzw.h"
#include "archive/extract/decoders/ArcRle.h"

namespace dec {

namespace {

constexpr std::size_t kTable = 4096;
constexpr std::uint16_t kNone = 0xFFFF;

class FixedLzw {
public:
    template <class Put, class Full>
    void run(MsbBitReader& bits, bool newHash, Put&& put, Full&& full) {
        newHash_ = newHash;
        for (Entry& e : tab_) e = Entry{};
        for (unsigned c = 0; c < 256; ++c) add(kNone, static_cast<std::uint8_t>(c));
        left_ = kTable - 256;

        unsigned old = bits.bits(12);
        if (bits.dry()) return;
        std::uint8_t last = tab_[old].follower;
        put(last);
        std::uint8_t stack[kTable + 1];
        while (!full()) {
            const unsigned code = bits.bits(12);
            if (bits.dry()) break;
            std::size_t sp = 0;
            unsigned c = code;
            if (!tab_[c].used) {
                stack[sp++] = last;
                c = old;
            }
            while (tab_[c].predecessor != kNone) {
                if (sp >= kTable) fail(err::StackOverflow);
                stack[sp++] = tab_[c].follower;
                c = tab_[c].predecessor;
            }
            last = tab_[c].follower;
            stack[sp++] = last;
            if (left_) {
                add(static_cast<std::uint16_t>(old), last);
                --left_;
            }
            old = code;
            while (sp) put(stack[--sp]);
        }
    }

private:
    struct Entry {
        bool used = false;
        std::uint16_t next = 0;
        std::uint16_t predecessor = kNone;
        std::uint8_t follower = 0;
    };

    unsigned hash(std::uint16_t pred, std::uint8_t foll) const {
        const std::uint32_t sum = (static_cast<std::uint32_t>(pred) + foll) & 0xFFFF;
        if (newHash_) return (sum * 15073u) & 0xFFF;
        const std::uint64_t v = sum | 0x800;
        return static_cast<unsigned>((v * v) >> 6) & 0xFFF;
    }

    // Enters a string where the hash puts it; a taken slot sends it to the
    // end of that slot's chain, then 101 entries on to the next free one.
    void add(std::uint16_t pred, std::uint8_t foll) {
        unsigned at = hash(pred, foll);
        if (tab_[at].used) {
            while (tab_[at].next) at = tab_[at].next;
            const unsigned end = at;
            at = (at + 101) & (kTable - 1);
            while (tab_[at].used) at = (at + 1) & (kTable - 1);
            tab_[end].next = static_cast<std::uint16_t>(at);
        }
        tab_[at] = Entry{true, 0, pred, foll};
    }

    Entry tab_[kTable];
    std::size_t left_ = 0;
    bool newHash_ = false;
};

class ArcCrunchedDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        const int method = p.Variant;
        if (method < 5 || method > 8) fail(err::UnsupportedMethod);
        Window out(sink, 1, p.Size);
        ArcRle rle(out);
        auto full = [&] { return out.full(); };
        if (method == 8) {
            const int maxBits = in.getByte();
            if (maxBits >= 0) {
                if (maxBits != 12) fail(err::IncorrectBits);
                dynamic_.run(
                    in, 12, [&](std::uint8_t b) { rle.put(b); }, full);
            }
        } else {
            MsbBitReader bits(in, 0);
            if (method == 5)
                fixed_.run(
                    bits, false, [&](std::uint8_t b) { out.put(b); }, full);
            else
                fixed_.run(
                    bits, method == 7, [&](std::uint8_t b) { rle.put(b); }, full);
        }
        out.flush();
        in.finish();
    }

private:
    FixedLzw fixed_;
    ArcDynamicLzw dynamic_;
};

} // namespace

void registerArcCrunchedDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ArcCrunched,
              [] { return std::unique_ptr<Decoder>(new ArcCrunchedDecoder); });
}

} // namespace dec
