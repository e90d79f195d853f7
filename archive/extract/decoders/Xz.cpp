// xz streams and lzip members through liblzma.  Concatenated streams decode
// as one; a dictionary beyond kMemoryLimit is refused rather than
// allocated, so that a small file cannot claim the machine's memory.
#include <lzma.h>

#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace dec {

// Shared with the ZIP LZMA decoder.
extern const std::uint64_t kLzmaMemoryLimit;
const std::uint64_t kLzmaMemoryLimit = std::uint64_t{1} << 30;

int lzmaErrorCode(lzma_ret rc) {
    switch (rc) {
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return err::OutOfMemory;
    case LZMA_BUF_ERROR:
        return err::ReadError;
    default:
        return err::BadBlock;
    }
}

// Runs an initialised liblzma decoder over the member's bytes.
void runLzma(lzma_stream& s, Input& in, Sink& out, std::vector<std::uint8_t>& inBuf,
             std::vector<std::uint8_t>& outBuf) {
    if (inBuf.empty()) {
        inBuf.resize(kBlockSize);
        outBuf.resize(128 * 1024);
    }
    lzma_action action = LZMA_RUN;
    for (;;) {
        if (s.avail_in == 0 && action == LZMA_RUN) {
            s.next_in = inBuf.data();
            s.avail_in = in.read(inBuf.data(), inBuf.size());
            if (s.avail_in == 0) action = LZMA_FINISH;
        }
        s.next_out = outBuf.data();
        s.avail_out = outBuf.size();
        const lzma_ret rc = lzma_code(&s, action);
        writeOrFail(out, outBuf.data(), outBuf.size() - s.avail_out);
        if (rc == LZMA_STREAM_END) break;
        if (rc != LZMA_OK) fail(lzmaErrorCode(rc));
    }
    in.finish();
}

namespace {

class LzmaContainerDecoder : public Decoder {
public:
    explicit LzmaContainerDecoder(bool lzip) : lzip_(lzip) {}
    ~LzmaContainerDecoder() override { lzma_end(&s_); }

    void decode(Input& in, Sink& out, const Params&) override {
        const lzma_ret rc = lzip_ ? lzma_lzip_decoder(&s_, kLzmaMemoryLimit, LZMA_CONCATENATED)
                                  : lzma_stream_decoder(&s_, kLzmaMemoryLimit, LZMA_CONCATENATED);
        if (rc != LZMA_OK) fail(lzmaErrorCode(rc));
        s_.avail_in = 0;
        runLzma(s_, in, out, inBuf_, outBuf_);
    }

private:
    bool lzip_;
    lzma_stream s_ = LZMA_STREAM_INIT;
    std::vector<std::uint8_t> inBuf_, outBuf_;
};

} // namespace

void registerXzDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Xz,
              [] { return std::unique_ptr<Decoder>(new LzmaContainerDecoder(false)); });
    table.add(fmt::Codec::Lzip,
              [] { return std::unique_ptr<Decoder>(new LzmaContainerDecoder(true)); });
}

} // namespace dec
