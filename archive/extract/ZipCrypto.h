// Traditional PKWARE encryption, decrypting side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ZipDecrypter {
public:
    void init(const std::string& password);
    void decrypt(std::uint8_t* buf, std::size_t n);
    // Decrypts a copy of the 12-byte encryption header with the password and
    // tells whether its last byte equals `check`.  On success the keys are
    // left ready for the member's data.
    bool tryPassword(const std::string& password, const std::uint8_t header[12],
                     std::uint8_t check);

private:
    void update(std::uint8_t c);
    std::uint32_t k0_ = 0, k1_ = 0, k2_ = 0;
};
