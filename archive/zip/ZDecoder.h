// The member cipher of the ZIP library: traditional PKWARE encryption of
// one member, made from the archive's password and the member's CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/core/Rtl.h"
#include "archive/extract/ZipCrypto.h"

class TZlStream;

class TZlZDecoder : public TObject {
public:
    static constexpr std::size_t HeaderSize = 12;

    TZlZDecoder(const std::string& Password, std::uint32_t CRC);

    // Starts the keys afresh from the password and writes a new 12-byte
    // encryption header: 10 bytes from the system's random generator and
    // bits 16-23 and 24-31 of the CRC-32, all encrypted.  The keys are then
    // ready for the member's data.  Raises EInOutError when no random bytes
    // can be had.
    void WriteEncryptionHeader(TZlStream& OutStream);
    // The same header, built in memory.
    void MakeEncryptionHeader(std::uint8_t Header[HeaderSize]);

    // Encrypts member data in place with the running keys.
    void EncryptBuffer(std::uint8_t* Buffer, std::size_t Count) { enc_.encrypt(Buffer, Count); }

    std::uint32_t CRC() const { return crc_; }

private:
    std::string password_;
    std::uint32_t crc_;
    ZipEncrypter enc_;
};
