// Traditional PKWARE encryption: the key schedule shared by both
// directions, the decrypting side used by the extractors and the
// encrypting side used by the ZIP writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ZipKeys {
public:
    // Starts the keys from the password.
    void init(const std::string& password);

protected:
    // Runs the cipher over buf in place; the keys follow the plain bytes.
    void cipher(std::uint8_t* buf, std::size_t n, bool encrypt);
    std::uint32_t k0_ = 0, k1_ = 0, k2_ = 0;
};

class ZipDecrypter : public ZipKeys {
public:
    void decrypt(std::uint8_t* buf, std::size_t n) { cipher(buf, n, false); }
    // Decrypts a copy of the 12-byte encryption header with the password and
    // tells whether its last byte equals `check`.  On success the keys are
    // left ready for the member's data.
    bool tryPassword(const std::string& password, const std::uint8_t header[12],
                     std::uint8_t check);
};

class ZipEncrypter : public ZipKeys {
public:
    void encrypt(std::uint8_t* buf, std::size_t n) { cipher(buf, n, true); }
};
