// Whole GZIP streams: header, Deflate data and trailer, member after member.
#include "archive/extract/decoders/Gzip.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/core/Errors.h"
#include "archive/extract/decoders/Inflate.h"
#include "archive/format/GzipFormat.h"
#include "platform/Endian.h"

namespace dec {

namespace {

// A member's compressed bytes, handed to the inflater in chunks; what the
// inflater fetched beyond its stream's end can be given back, so that the
// trailer and the next member are read from where the stream really ended.
class PushbackStream {
public:
    explicit PushbackStream(Input& in) : in_(in), buf_(kKeep + kBlockSize) {}

    std::ptrdiff_t give(std::uint8_t* dst, std::size_t cap) {
        if (pos_ == end_ && !refill()) return 0;
        const std::size_t n = std::min(cap, end_ - pos_);
        std::memcpy(dst, buf_.data() + pos_, n);
        pos_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }
    // Gives back the last n bytes handed out (n never exceeds what the
    // inflater holds: one chunk and a few bytes).
    void unread(std::size_t n) { pos_ -= std::min(n, pos_); }
    int next() {
        if (pos_ == end_ && !refill()) return -1;
        return buf_[pos_++];
    }
    bool read(std::uint8_t* dst, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const int c = next();
            if (c < 0) return false;
            dst[i] = static_cast<std::uint8_t>(c);
        }
        return true;
    }

private:
    // Bytes handed out that stay available to be given back.
    static constexpr std::size_t kKeep = 2 * kBlockSize;

    bool refill() {
        const std::size_t keep = std::min(end_, kKeep);
        std::memmove(buf_.data(), buf_.data() + end_ - keep, keep);
        pos_ = end_ = keep;
        const std::size_t got = in_.read(buf_.data() + end_, buf_.size() - end_);
        end_ += got;
        return got > 0;
    }

    Input& in_;
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0, end_ = 0;
};

bool usableHeader(PushbackStream& stream) {
    gz::Header h;
    return gz::parseHeader([&] { return stream.next(); }, h) == gz::Status::Ok &&
           h.Method == gz::kMethodDeflate && !(h.Flags & (gz::kFlagsUnknown | gz::kFlagEncrypted));
}

} // namespace

bool inflateGzipMembers(Inflater& inf, Input& in, Sink& out, bool headerFirst) {
    PushbackStream stream(in);
    std::uint32_t crc = 0;
    std::uint64_t count = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) { return stream.give(buf, cap); };
    inf.Output = [&](const std::uint8_t* data, std::size_t n) {
        Crc32Update(data, n, crc);
        count += n;
        return out.write(data, n);
    };
    struct Reset {
        Inflater& inf;
        ~Reset() {
            inf.Input = nullptr;
            inf.Output = nullptr;
        }
    } reset{inf};

    if (headerFirst && !usableHeader(stream)) return false;
    for (;;) {
        crc = 0xFFFFFFFFu;
        count = 0;
        if (const int rc = inf.Inflate()) fail(rc);
        stream.unread(inf.UnusedInput());
        std::uint8_t trailer[gz::kTrailerSize];
        if (!stream.read(trailer, sizeof trailer) || plat::le32(trailer) != (crc ^ 0xFFFFFFFFu) ||
            plat::le32(trailer + 4) != static_cast<std::uint32_t>(count))
            return false;
        // Another member?  Zeros or other bytes behind the last one are not
        // data and are left.
        const int b0 = stream.next();
        if (b0 < 0) break;
        const int b1 = stream.next();
        if (b1 < 0 || !gz::isGzip(static_cast<std::uint16_t>(b0 | b1 << 8))) break;
        stream.unread(2);
        if (!usableHeader(stream)) return false;
    }
    in.finish();
    return true;
}

namespace {

// A GZIP file as one stream, from its first header; a trailer that does
// not match fails the stream.
class GzipDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params&) override {
        if (!inflateGzipMembers(inflater_, in, out, true)) fail(err::CrcError);
    }

private:
    Inflater inflater_;
};

} // namespace

void registerGzipDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Gzip, [] { return std::unique_ptr<Decoder>(new GzipDecoder); });
}

} // namespace dec
