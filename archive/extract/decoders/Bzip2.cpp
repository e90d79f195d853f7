// bzip2 streams through libbz2.  Streams written one after another (as
// parallel compressors do) decode as one; bytes behind the last stream that
// do not begin another are left alone.
#include <bzlib.h>

#include <cstring>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace dec {

namespace {

constexpr std::size_t kOutSize = 128 * 1024;

class Bzip2Decoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params&) override {
        std::vector<std::uint8_t> inBuf(kBlockSize);
        if (outBuf_.empty()) outBuf_.resize(kOutSize);
        std::size_t avail = 0;
        const std::uint8_t* next = inBuf.data();
        bool first = true;
        for (;;) {
            // Another stream follows only when its magic does.
            if (!first) {
                if (avail < 3) {
                    std::memmove(inBuf.data(), next, avail);
                    avail += in.read(inBuf.data() + avail, inBuf.size() - avail);
                    next = inBuf.data();
                }
                if (avail < 3 || std::memcmp(next, "BZh", 3) != 0) break;
            }
            first = false;
            Stream s;
            for (;;) {
                if (avail == 0) {
                    avail = in.read(inBuf.data(), inBuf.size());
                    next = inBuf.data();
                    if (avail == 0) fail(err::ReadError); // cut short
                }
                s.z.next_in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(next));
                s.z.avail_in = static_cast<unsigned>(avail);
                s.z.next_out = reinterpret_cast<char*>(outBuf_.data());
                s.z.avail_out = static_cast<unsigned>(outBuf_.size());
                const int rc = BZ2_bzDecompress(&s.z);
                next = reinterpret_cast<const std::uint8_t*>(s.z.next_in);
                avail = s.z.avail_in;
                writeOrFail(out, outBuf_.data(), outBuf_.size() - s.z.avail_out);
                if (rc == BZ_STREAM_END) break;
                if (rc == BZ_MEM_ERROR) fail(err::OutOfMemory);
                if (rc != BZ_OK) fail(err::BadBlock);
            }
        }
        in.finish();
    }

private:
    struct Stream {
        bz_stream z{};
        Stream() {
            if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK) fail(err::OutOfMemory);
        }
        ~Stream() { BZ2_bzDecompressEnd(&z); }
    };
    std::vector<std::uint8_t> outBuf_;
};

} // namespace

void registerBzip2Decoder(DecoderTable& table) {
    table.add(fmt::Codec::Bzip2, [] { return std::unique_ptr<Decoder>(new Bzip2Decoder); });
}

} // namespace dec
