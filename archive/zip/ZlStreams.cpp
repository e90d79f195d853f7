#include "archive/zip/ZlStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/zip/ZlExceptions.h"

namespace {

[[noreturn]] void ioError(const std::string& what, const std::string& name) {
    const int code = errno ? errno : EIO;
    throw EInOutError(what + " \"" + name + "\": " + std::strerror(code), code);
}

} // namespace

std::int64_t TZlStream::Size() {
    const std::int64_t here = Position();
    const std::int64_t size = Seek(0, soFromEnd);
    Seek(here, soFromBeginning);
    return size;
}

void TZlStream::ReadBuffer(void* Buffer, std::size_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    while (Count) {
        const std::size_t n = Read(p, Count);
        if (n == 0) throw EReadError("Stream read error");
        p += n;
        Count -= n;
    }
}

void TZlStream::WriteBuffer(const void* Buffer, std::size_t Count) {
    if (Write(Buffer, Count) != Count) throw EZlZipStreamFull();
}

TZlFileStream::TZlFileStream(const std::string& FileName, std::uint16_t Mode) : name_(FileName) {
    if (Mode == fmCreate) {
        if (!f_.open(FileName, plat::File::Mode::Create))
            throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
        return;
    }
    const auto mode =
        (Mode & 3) == fmOpenRead ? plat::File::Mode::Read : plat::File::Mode::ReadWrite;
    if (!f_.open(FileName, mode))
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
}

std::size_t TZlFileStream::Read(void* Buffer, std::size_t Count) {
    errno = 0;
    const std::int64_t n = f_.read(Buffer, Count);
    if (n < 0) ioError("Cannot read", name_);
    return static_cast<std::size_t>(n);
}

std::size_t TZlFileStream::Write(const void* Buffer, std::size_t Count) {
    return f_.write(Buffer, Count) ? Count : 0;
}

std::int64_t TZlFileStream::Seek(std::int64_t Offset, int Origin) {
    std::int64_t to = Offset;
    if (Origin == soFromCurrent)
        to += f_.tell();
    else if (Origin == soFromEnd)
        to += Size();
    errno = 0;
    if (to < 0 || !f_.seek(to)) ioError("Cannot seek in", name_);
    return f_.tell();
}

std::int64_t TZlFileStream::Size() {
    errno = 0;
    const std::int64_t n = f_.size();
    if (n < 0) ioError("Cannot get the size of", name_);
    return n;
}

void TZlFileStream::SetSize(std::int64_t NewSize) {
    errno = 0;
    if (!f_.truncate(NewSize)) {
        // Pending writes go out first: their failure is a full medium.
        if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) throw EZlZipStreamFull();
        ioError("Cannot truncate", name_);
    }
}

void TZlFileStream::Flush() {
    if (!f_.flush()) throw EZlZipStreamFull();
}

void TZlFileStream::Close() {
    if (f_.isOpen() && !f_.close()) throw EZlZipStreamFull();
}

std::uint64_t TZlFileStream::CopyFrom(TZlFileStream& Source, std::int64_t SourcePos,
                                      std::uint64_t Count) {
    errno = 0;
    const std::int64_t n = f_.copyFrom(Source.f_, SourcePos, Count);
    if (n < 0) {
        if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) throw EZlZipStreamFull();
        ioError("Cannot copy into", name_);
    }
    return static_cast<std::uint64_t>(n);
}

std::size_t TZlMemoryStream::Read(void* Buffer, std::size_t Count) {
    const std::int64_t size = Size();
    if (pos_ >= size) return 0;
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(size - pos_, static_cast<std::int64_t>(Count)));
    std::memcpy(Buffer, Data.data() + pos_, n);
    pos_ += static_cast<std::int64_t>(n);
    return n;
}

std::size_t TZlMemoryStream::Write(const void* Buffer, std::size_t Count) {
    const std::size_t at = static_cast<std::size_t>(pos_);
    if (at + Count > Data.size()) Data.resize(at + Count);
    if (Count) std::memcpy(Data.data() + at, Buffer, Count);
    pos_ += static_cast<std::int64_t>(Count);
    return Count;
}

std::int64_t TZlMemoryStream::Seek(std::int64_t Offset, int Origin) {
    std::int64_t to = Offset;
    if (Origin == soFromCurrent)
        to += pos_;
    else if (Origin == soFromEnd)
        to += Size();
    pos_ = std::max<std::int64_t>(to, 0);
    return pos_;
}

void TZlMemoryStream::SetSize(std::int64_t NewSize) {
    Data.resize(static_cast<std::size_t>(std::max<std::int64_t>(NewSize, 0)));
    pos_ = std::min(pos_, Size());
}
