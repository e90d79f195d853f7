#include "archive/extract/DecodedStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/core/ArcRoot.h"
#include "archive/core/Errors.h"
#include "archive/format/GzipFormat.h"
#include "archive/format/TarFormat.h"

namespace dec {

namespace {

constexpr std::size_t kRingSize = 1 << 20;

// The reader went away: the worker unwinds its decoder.
struct Abandoned {};

class FileSource : public Source {
public:
    explicit FileSource(plat::File& f) : f_(f) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override { return f_.read(buf, n); }

private:
    plat::File& f_;
};

} // namespace

// The decoder's output, into the ring; waits while the ring is full.
class DecodedStream::PipeSink : public Sink {
public:
    explicit PipeSink(DecodedStream& s) : s_(s) {}

    bool write(const std::uint8_t* buf, std::size_t n) override {
        std::unique_lock lock(s_.m_);
        const std::size_t size = s_.ring_.size();
        while (n) {
            s_.canWrite_.wait(lock, [&] { return s_.abort_ || s_.written_ - s_.taken_ < size; });
            if (s_.abort_) throw Abandoned{};
            const std::size_t at = static_cast<std::size_t>(s_.written_ % size);
            const std::size_t room = size - static_cast<std::size_t>(s_.written_ - s_.taken_);
            const std::size_t k = std::min({n, room, size - at});
            // The reader never touches the free part of the ring.
            lock.unlock();
            std::memcpy(s_.ring_.data() + at, buf, k);
            lock.lock();
            s_.written_ += k;
            buf += k;
            n -= k;
            s_.canRead_.notify_one();
        }
        return true;
    }

private:
    DecodedStream& s_;
};

DecodedStream::DecodedStream(const std::string& path, std::int64_t offset, fmt::Codec codec,
                             Params params) {
    if (!file_.open(path, plat::File::Mode::Read)) return;
    const std::int64_t size = file_.size();
    if (size < offset || !file_.seek(offset)) return;
    if (!DecoderTable::instance().has(codec)) return;
    compressedSize_ = static_cast<std::uint64_t>(size - offset);
    ring_.resize(kRingSize);
    started_ = true;
    worker_ = std::thread([this, codec, params] { run(codec, params); });
}

DecodedStream::~DecodedStream() {
    stop();
}

void DecodedStream::stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(m_);
        abort_ = true;
    }
    canWrite_.notify_all();
    worker_.join();
}

void DecodedStream::run(fmt::Codec codec, Params params) {
    int code = 0;
    try {
        std::unique_ptr<Decoder> d = DecoderTable::instance().make(codec);
        FileSource src(file_);
        Input in(src, compressedSize_);
        PipeSink sink(*this);
        d->decode(in, sink, params);
    } catch (const Abandoned&) {
    } catch (const E_RAISE& e) {
        code = e.Code ? e.Code : err::BadBlock;
    } catch (const std::bad_alloc&) {
        code = err::OutOfMemory;
    } catch (...) {
        code = err::BadBlock;
    }
    {
        std::lock_guard lock(m_);
        done_ = true;
        error_ = code;
    }
    canRead_.notify_all();
}

std::int64_t DecodedStream::read(std::uint8_t* buf, std::size_t n) {
    if (!started_ || n == 0) return 0;
    std::unique_lock lock(m_);
    canRead_.wait(lock, [&] { return done_ || written_ > taken_; });
    if (written_ == taken_) {
        if (error_) fail(error_);
        return 0;
    }
    const std::size_t size = ring_.size();
    const std::size_t at = static_cast<std::size_t>(taken_ % size);
    const std::size_t k = std::min({n, static_cast<std::size_t>(written_ - taken_), size - at});
    lock.unlock();
    std::memcpy(buf, ring_.data() + at, k);
    lock.lock();
    taken_ += k;
    pos_ += k;
    canWrite_.notify_one();
    return static_cast<std::int64_t>(k);
}

bool DecodedStream::skipTo(std::uint64_t pos) {
    std::uint8_t scrap[16384];
    while (pos_ < pos) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(pos - pos_, sizeof scrap));
        if (read(scrap, want) <= 0) return false;
    }
    return pos_ == pos;
}

bool DecodedStream::readAt(std::uint64_t pos, void* buf, std::size_t n) {
    if (pos < pos_ || !skipTo(pos)) return false;
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n) {
        const std::int64_t got = read(p, n);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool DecodedStream::drain(std::uint64_t limit) {
    std::uint8_t scrap[16384];
    for (std::uint64_t left = limit; left;) {
        const std::int64_t got =
            read(scrap, static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof scrap)));
        if (got <= 0) return true;
        left -= static_cast<std::uint64_t>(got);
    }
    return false;
}

std::unique_ptr<DecodedStream> DecodedStream::open(const std::string& path, TArcType type) {
    fmt::Codec codec = fmt::Codec::None;
    std::int64_t offset = 0;
    Params p;
    switch (type) {
    case atTarGz:
        codec = fmt::Codec::Gzip;
        break;
    case atTarBz2:
    case atBzip2:
        codec = fmt::Codec::Bzip2;
        break;
    case atTarXz:
    case atXz:
        codec = fmt::Codec::Xz;
        break;
    case atTarLz:
    case atLzip:
        codec = fmt::Codec::Lzip;
        break;
    case atTarZst:
    case atZstd:
        codec = fmt::Codec::Zstd;
        break;
    case atTarZ: {
        // The byte behind the magic holds the widest code and block mode.
        plat::File f;
        std::uint8_t head[3];
        if (!f.open(path, plat::File::Mode::Read) || f.readAt(0, head, 3) != 3) return nullptr;
        codec = fmt::Codec::CompressLzw;
        offset = 3;
        p.Flags = head[2];
        break;
    }
    default:
        return nullptr;
    }
    return std::make_unique<DecodedStream>(path, offset, codec, p);
}

namespace {

// Whether the first block the compressed file decodes to is a TAR header.
bool holdsTarball(const std::string& path, TArcType tarType) {
    try {
        std::unique_ptr<DecodedStream> s = DecodedStream::open(path, tarType);
        std::uint8_t block[tar::kBlock];
        return s && s->ok() && s->readAt(0, block, sizeof block) && block[0] != 0 &&
               tar::checksumOk(block);
    } catch (const E_RAISE&) {
        return false;
    }
}

} // namespace

void installTarballProbe() {
    SetTarballProbe(&holdsTarball);
}

} // namespace dec
