// Zstandard frames through libzstd; frames written one after another (and
// skippable frames) decode as one stream.  Windows above the library's
// default limit (128 MiB) are refused rather than allocated.
#include <zstd.h>
#include <zstd_errors.h>

#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace dec {

namespace {

class ZstdDecoder : public Decoder {
public:
    ZstdDecoder() : ctx_(ZSTD_createDCtx()) {
        if (!ctx_) fail(err::OutOfMemory);
    }
    ~ZstdDecoder() override { ZSTD_freeDCtx(ctx_); }

    void decode(Input& in, Sink& out, const Params&) override {
        ZSTD_DCtx_reset(ctx_, ZSTD_reset_session_only);
        if (inBuf_.empty()) {
            inBuf_.resize(ZSTD_DStreamInSize());
            outBuf_.resize(ZSTD_DStreamOutSize());
        }
        std::size_t pending = 0; // what the library still expects of the frame
        bool any = false;
        for (;;) {
            const std::size_t got = in.read(inBuf_.data(), inBuf_.size());
            if (got == 0) break;
            any = true;
            ZSTD_inBuffer ib{inBuf_.data(), got, 0};
            // Until the input is used and the library holds nothing back.
            for (;;) {
                ZSTD_outBuffer ob{outBuf_.data(), outBuf_.size(), 0};
                pending = ZSTD_decompressStream(ctx_, &ob, &ib);
                if (ZSTD_isError(pending)) fail(errorCode(pending));
                writeOrFail(out, outBuf_.data(), ob.pos);
                if (ib.pos == ib.size && ob.pos < ob.size) break;
            }
        }
        if (!any || pending != 0) fail(err::ReadError); // a frame cut short
        in.finish();
    }

private:
    static int errorCode(std::size_t rc) {
        switch (ZSTD_getErrorCode(rc)) {
        case ZSTD_error_memory_allocation:
        case ZSTD_error_frameParameter_windowTooLarge:
            return err::OutOfMemory;
        case ZSTD_error_checksum_wrong:
            return err::CrcError;
        default:
            return err::BadBlock;
        }
    }

    ZSTD_DCtx* ctx_;
    std::vector<std::uint8_t> inBuf_, outBuf_;
};

} // namespace

void registerZstdDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Zstd, [] { return std::unique_ptr<Decoder>(new ZstdDecoder); });
}

} // namespace dec
