#include "archive/zip/ZDecoder.h"

#include <cerrno>
#include <cstring>

#include "archive/zip/ZlStreams.h"
#include "platform/Random.h"

TZlZDecoder::TZlZDecoder(const std::string& Password, std::uint32_t CRC)
    : password_(Password), crc_(CRC) {
    enc_.init(password_);
}

void TZlZDecoder::MakeEncryptionHeader(std::uint8_t Header[HeaderSize]) {
    // Predictable header bytes weaken the cipher further, so they come from
    // the system's generator rather than a seeded one.
    if (!plat::randomBytes(Header, 10))
        throw EInOutError(std::string("Cannot get random bytes: ") + std::strerror(errno), errno);
    Header[10] = static_cast<std::uint8_t>(crc_ >> 16);
    Header[11] = static_cast<std::uint8_t>(crc_ >> 24);
    enc_.init(password_);
    enc_.encrypt(Header, HeaderSize);
}

void TZlZDecoder::WriteEncryptionHeader(TZlStream& OutStream) {
    std::uint8_t h[HeaderSize];
    MakeEncryptionHeader(h);
    OutStream.WriteBuffer(h, HeaderSize);
}

TZlAesEncoder::TZlAesEncoder(const std::string& Password, std::uint8_t Strength)
    : password_(Password), strength_(Strength) {}

void TZlAesEncoder::WriteEncryptionHeader(TZlStream& OutStream) {
    std::uint8_t h[zipaes::kMaxSaltSize + zipaes::kVerifierSize];
    if (!enc_.start(password_, strength_, h))
        throw EInOutError("Cannot start AES encryption: no random salt or keys", EIO);
    OutStream.WriteBuffer(h, HeaderBytes());
}

void TZlAesEncoder::WriteEncryptionTrailer(TZlStream& OutStream) {
    std::uint8_t code[zipaes::kAuthCodeSize];
    enc_.finish(code);
    OutStream.WriteBuffer(code, sizeof code);
}
