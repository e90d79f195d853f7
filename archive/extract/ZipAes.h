// WinZip AES encryption of ZIP members (AE-1 and AE-2): keys derived from
// the password and a per-member salt with PBKDF2-HMAC-SHA1 (1000 rounds),
// AES in counter mode with a little-endian counter starting at 1, and an
// HMAC-SHA1 over the encrypted bytes, of which the first 10 bytes follow
// the data.  The member's data is: salt, 2-byte password verifier,
// encrypted bytes, authentication code.  Both directions are here: the
// decrypting side for the extractor, the encrypting side for writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zipaes {

constexpr std::size_t kVerifierSize = 2;
constexpr std::size_t kAuthCodeSize = 10;
constexpr std::size_t kMaxSaltSize = 16;

// Strength codes of the 0x9901 extra field: 1 = 128, 2 = 192, 3 = 256 bits.
constexpr bool validStrength(std::uint8_t strength) {
    return strength >= 1 && strength <= 3;
}
constexpr std::size_t keySize(std::uint8_t strength) {
    return 8 + 8 * std::size_t{strength};
}
constexpr std::size_t saltSize(std::uint8_t strength) {
    return 4 + 4 * std::size_t{strength};
}
// Bytes in front of the encrypted data.
constexpr std::size_t headerSize(std::uint8_t strength) {
    return saltSize(strength) + kVerifierSize;
}

// The keys and the running state of one member in either direction.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Derives the keys from the password and the salt (saltSize(strength)
    // bytes); `verifier` receives the 2 password verification bytes.
    // False only when the cryptographic library fails.
    bool start(const std::string& password, const std::uint8_t* salt, std::uint8_t strength,
               std::uint8_t verifier[kVerifierSize]);
    // Counter mode runs the same in both directions; the authentication
    // code is taken over the encrypted side.
    void decrypt(std::uint8_t* buf, std::size_t n);
    void encrypt(std::uint8_t* buf, std::size_t n);
    // The first 10 bytes of the HMAC over everything encrypted or decrypted.
    void authCode(std::uint8_t out[kAuthCodeSize]);

private:
    void crypt(std::uint8_t* buf, std::size_t n);
    void mac(const std::uint8_t* buf, std::size_t n);
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The extractor's side: tries passwords against a member's header, then
// decrypts its data and checks its authentication code.
class Decrypter {
public:
    explicit Decrypter(std::uint8_t strength = 3) : strength_(strength) {}
    void setStrength(std::uint8_t strength) { strength_ = strength; }
    std::uint8_t strength() const { return strength_; }
    // header: salt and verifier (headerSize(strength) bytes).
    bool tryPassword(const std::string& password, const std::uint8_t* header);
    void decrypt(std::uint8_t* buf, std::size_t n) { session_.decrypt(buf, n); }
    bool authentic(const std::uint8_t code[kAuthCodeSize]);

private:
    std::uint8_t strength_;
    Session session_;
};

// A writer's side: a fresh random salt per member.
class Encrypter {
public:
    // Starts a member; `header` receives salt and verifier
    // (headerSize(strength) bytes), written in front of the data.  False
    // when no random salt or no keys could be had.
    bool start(const std::string& password, std::uint8_t strength, std::uint8_t* header);
    void encrypt(std::uint8_t* buf, std::size_t n) { session_.encrypt(buf, n); }
    // Written after the data.
    void finish(std::uint8_t code[kAuthCodeSize]) { session_.authCode(code); }

private:
    Session session_;
};

} // namespace zipaes
