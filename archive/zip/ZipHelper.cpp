#include "archive/zip/ZipHelper.h"

#include <memory>

#include "archive/core/Crc.h"
#include "archive/core/Hooks.h"
#include "archive/zip/Deflate.h"
#include "archive/zip/ZlExceptions.h"

namespace {
constexpr std::size_t kStoreChunk = 1 << 16;
}

TZlZipHelper::TZlZipHelper(TZlStream& InStream, TZlMemberCipher* Encryptor, TZlStream& OutStream)
    : InSize(static_cast<std::uint64_t>(InStream.Size())), in_(InStream), enc_(Encryptor),
      out_(OutStream) {}

void TZlZipHelper::progress(std::uint64_t done) {
    if (done - reportedAt_ < 1024 && done != InSize) return;
    reportedAt_ = done;
    ProcessMessages();
    const std::uint8_t pct =
        ZlPercentage(static_cast<std::int64_t>(done), static_cast<std::int64_t>(InSize));
    if (!OnProgress || pct == LastProgress) return;
    LastProgress = pct;
    bool abort = false;
    OnProgress(pct, abort);
    if (abort) throw EZlUserAbort();
}

void TZlZipHelper::store() {
    in_.SetPosition(0);
    crc_ = 0xFFFFFFFF;
    BytesIn = 0;
    reportedAt_ = 0;
    std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[kStoreChunk]);
    while (const std::size_t n = in_.Read(buf.get(), kStoreChunk)) {
        Crc32Update(buf.get(), n, crc_);
        BytesIn += n;
        if (enc_) enc_->EncryptBuffer(buf.get(), n);
        out_.WriteBuffer(buf.get(), n);
        progress(BytesIn);
    }
    CompressedSize = BytesIn;
}

void TZlZipHelper::deflate(int level) {
    in_.SetPosition(0);
    crc_ = 0xFFFFFFFF;
    BytesIn = 0;
    reportedAt_ = 0;
    Deflater d(level, InSize);
    d.Input = [this](std::uint8_t* buf, std::size_t cap) {
        const std::size_t n = in_.Read(buf, cap);
        if (n) {
            Crc32Update(buf, n, crc_);
            BytesIn += n;
            progress(BytesIn);
        }
        return n;
    };
    d.Output = [this](std::uint8_t* data, std::size_t n) {
        if (enc_) enc_->EncryptBuffer(data, n);
        out_.WriteBuffer(data, n);
    };
    CompressedSize = d.Deflate();
    FileType = static_cast<std::uint8_t>(d.FileType());
}

void TZlZipHelper::Execute() {
    const std::int64_t start = out_.Position();
    switch (Method) {
    case 0:
        store();
        break;
    case 8:
    case 11:
        deflate(ZlDeflateLevel(DeflationOption));
        if (Method == 11 && CompressedSize >= BytesIn) {
            // Stored instead; an encrypted member gets a new header and new
            // keys, since the old keys have run over the discarded data.
            const std::int64_t attemptEnd = out_.Position();
            std::int64_t at = start;
            if (enc_) at -= static_cast<std::int64_t>(enc_->HeaderBytes());
            out_.SetPosition(at);
            if (enc_) enc_->WriteEncryptionHeader(out_);
            Method = 0;
            store();
            const std::int64_t here = out_.Position();
            if (here < attemptEnd && attemptEnd == out_.Size()) out_.SetSize(here);
        } else {
            Method = 8;
        }
        break;
    default:
        throw EZlZipUnsupported();
    }
    CRC = ~crc_;
}
