// ZIP's LZMA method: a 2-byte version, a 2-byte properties length and the
// five property bytes (lc/lp/pb and the dictionary size), then raw LZMA
// data that ends either at the stated size or, when flag bit 1 says so, at
// an end marker.
#include <lzma.h>

#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace dec {

extern const std::uint64_t kLzmaMemoryLimit;
int lzmaErrorCode(lzma_ret rc);
void runLzma(lzma_stream& s, Input& in, Sink& out, std::vector<std::uint8_t>& inBuf,
             std::vector<std::uint8_t>& outBuf);

namespace {

constexpr std::uint16_t kFlagEndMarker = 0x0002;

class LzmaDecoder : public Decoder {
public:
    ~LzmaDecoder() override { lzma_end(&s_); }

    void decode(Input& in, Sink& out, const Params& p) override {
        std::uint8_t head[9];
        for (std::uint8_t& b : head) {
            const int c = in.getByte();
            if (c < 0) fail(err::ReadError);
            b = static_cast<std::uint8_t>(c);
        }
        const unsigned propsSize = head[2] | head[3] << 8;
        unsigned d = head[4];
        if (propsSize != 5 || d >= 9 * 5 * 5) fail(err::BadFileHeader);
        lzma_options_lzma opt{};
        opt.lc = d % 9;
        d /= 9;
        opt.lp = d % 5;
        opt.pb = d / 5;
        opt.dict_size = head[5] | head[6] << 8 | head[7] << 16 | std::uint32_t(head[8]) << 24;
        if (opt.dict_size > kLzmaMemoryLimit) fail(err::OutOfMemory);
        if (opt.dict_size < LZMA_DICT_SIZE_MIN) opt.dict_size = LZMA_DICT_SIZE_MIN;
        // Without an end marker the stated size says where the data ends.
        const bool marker = p.Flags & kFlagEndMarker;
        std::uint64_t size = p.Size;
        if (marker || size == kUnknownSize) size = UINT64_MAX;
        opt.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        opt.ext_size_low = static_cast<std::uint32_t>(size);
        opt.ext_size_high = static_cast<std::uint32_t>(size >> 32);
        const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
        const lzma_ret rc = lzma_raw_decoder(&s_, filters);
        if (rc != LZMA_OK) fail(lzmaErrorCode(rc));
        s_.avail_in = 0;
        runLzma(s_, in, out, inBuf_, outBuf_);
    }

private:
    lzma_stream s_ = LZMA_STREAM_INIT;
    std::vector<std::uint8_t> inBuf_, outBuf_;
};

} // namespace

void registerLzmaDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Lzma, [] { return std::unique_ptr<Decoder>(new LzmaDecoder); });
}

} // namespace dec
