// The member ciphers of the ZIP library: traditional PKWARE encryption of
// one member, made from the archive's password and the member's CRC-32,
// and WinZip AES.  The member compressor sees them through one interface:
// a header in front of the data, the data encrypted in place, and a
// trailer after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/core/Rtl.h"
#include "archive/extract/ZipAes.h"
#include "archive/extract/ZipCrypto.h"

class TZlStream;

class TZlMemberCipher : public TObject {
public:
    // Bytes in front of the data and after it.
    virtual std::size_t HeaderBytes() const = 0;
    virtual std::size_t TrailerBytes() const { return 0; }
    // Starts the keys afresh and writes a new header: a member that is
    // written again from its start calls this again.
    virtual void WriteEncryptionHeader(TZlStream& OutStream) = 0;
    // Encrypts member data in place with the running keys.
    virtual void EncryptBuffer(std::uint8_t* Buffer, std::size_t Count) = 0;
    // Writes what follows the data (after the last EncryptBuffer).
    virtual void WriteEncryptionTrailer(TZlStream&) {}
};

class TZlZDecoder : public TZlMemberCipher {
public:
    static constexpr std::size_t HeaderSize = 12;

    TZlZDecoder(const std::string& Password, std::uint32_t CRC);

    std::size_t HeaderBytes() const override { return HeaderSize; }
    // The header is 10 bytes from the system's random generator and bits
    // 16-23 and 24-31 of the CRC-32, all encrypted.  Raises EInOutError
    // when no random bytes can be had.
    void WriteEncryptionHeader(TZlStream& OutStream) override;
    // The same header, built in memory.
    void MakeEncryptionHeader(std::uint8_t Header[HeaderSize]);

    void EncryptBuffer(std::uint8_t* Buffer, std::size_t Count) override {
        enc_.encrypt(Buffer, Count);
    }

    std::uint32_t CRC() const { return crc_; }

private:
    std::string password_;
    std::uint32_t crc_;
    ZipEncrypter enc_;
};

// WinZip AES: a random salt and the password verifier in front, AES in
// counter mode over the data, and the 10-byte authentication code after it.
class TZlAesEncoder : public TZlMemberCipher {
public:
    // Strength 1 (128-bit key) to 3 (256-bit key).
    TZlAesEncoder(const std::string& Password, std::uint8_t Strength);

    std::uint8_t Strength() const { return strength_; }
    std::size_t HeaderBytes() const override { return zipaes::headerSize(strength_); }
    std::size_t TrailerBytes() const override { return zipaes::kAuthCodeSize; }
    // A new salt, and new keys.  Raises EInOutError when no random salt or
    // no keys can be had.
    void WriteEncryptionHeader(TZlStream& OutStream) override;
    void EncryptBuffer(std::uint8_t* Buffer, std::size_t Count) override {
        enc_.encrypt(Buffer, Count);
    }
    void WriteEncryptionTrailer(TZlStream& OutStream) override;

private:
    std::string password_;
    std::uint8_t strength_;
    zipaes::Encrypter enc_;
};
