#include "archive/extract/ZipAes.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

namespace zipaes {

namespace {
constexpr int kRounds = 1000;
constexpr std::size_t kBlock = 16;
// Counter blocks encrypted at a time.
constexpr std::size_t kBatch = 256;
} // namespace

struct Session::Impl {
    EVP_CIPHER_CTX* aes = nullptr;
    EVP_MAC* macAlg = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    std::uint8_t counter[kBlock] = {};
    std::uint8_t stream[kBlock * kBatch] = {};
    std::size_t used = sizeof stream; // key stream bytes already used

    ~Impl() {
        EVP_CIPHER_CTX_free(aes);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macAlg);
    }

    // The next batch of key stream: the counter, incremented as a
    // little-endian number before each block, encrypted.
    void refill() {
        std::uint8_t blocks[kBlock * kBatch];
        for (std::size_t b = 0; b < kBatch; ++b) {
            for (std::size_t i = 0; i < kBlock && ++counter[i] == 0; ++i) {}
            std::memcpy(blocks + b * kBlock, counter, kBlock);
        }
        int outLen = 0;
        EVP_EncryptUpdate(aes, stream, &outLen, blocks, static_cast<int>(sizeof blocks));
        used = 0;
    }
};

Session::Session() = default;
Session::~Session() = default;

bool Session::start(const std::string& password, const std::uint8_t* salt, std::uint8_t strength,
                    std::uint8_t verifier[kVerifierSize]) {
    if (!validStrength(strength)) return false;
    const std::size_t keyLen = keySize(strength);
    std::uint8_t keys[2 * 32 + kVerifierSize];
    const std::size_t total = 2 * keyLen + kVerifierSize;
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                               static_cast<int>(saltSize(strength)), kRounds,
                               static_cast<int>(total), keys) != 1)
        return false;
    auto d = std::make_unique<Impl>();
    const EVP_CIPHER* cipher = strength == 1   ? EVP_aes_128_ecb()
                               : strength == 2 ? EVP_aes_192_ecb()
                                               : EVP_aes_256_ecb();
    d->aes = EVP_CIPHER_CTX_new();
    d->macAlg = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    d->mac = d->macAlg ? EVP_MAC_CTX_new(d->macAlg) : nullptr;
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_END};
    bool ok = d->aes && d->mac && EVP_EncryptInit_ex(d->aes, cipher, nullptr, keys, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(d->aes, 0) == 1 &&
              EVP_MAC_init(d->mac, keys + keyLen, keyLen, params) == 1;
    std::memcpy(verifier, keys + 2 * keyLen, kVerifierSize);
    OPENSSL_cleanse(keys, sizeof keys);
    if (!ok) return false;
    d_ = std::move(d);
    return true;
}

void Session::crypt(std::uint8_t* buf, std::size_t n) {
    Impl& d = *d_;
    while (n) {
        if (d.used == sizeof d.stream) d.refill();
        const std::size_t k = std::min(n, sizeof d.stream - d.used);
        const std::uint8_t* ks = d.stream + d.used;
        for (std::size_t i = 0; i < k; ++i) buf[i] ^= ks[i];
        d.used += k;
        buf += k;
        n -= k;
    }
}

void Session::mac(const std::uint8_t* buf, std::size_t n) {
    EVP_MAC_update(d_->mac, buf, n);
}

void Session::decrypt(std::uint8_t* buf, std::size_t n) {
    if (!d_) return;
    mac(buf, n);
    crypt(buf, n);
}

void Session::encrypt(std::uint8_t* buf, std::size_t n) {
    if (!d_) return;
    crypt(buf, n);
    mac(buf, n);
}

void Session::authCode(std::uint8_t out[kAuthCodeSize]) {
    std::uint8_t full[EVP_MAX_MD_SIZE] = {};
    std::size_t len = 0;
    if (d_) EVP_MAC_final(d_->mac, full, &len, sizeof full);
    std::memcpy(out, full, kAuthCodeSize);
}

bool Decrypter::tryPassword(const std::string& password, const std::uint8_t* header) {
    std::uint8_t verifier[kVerifierSize];
    if (!session_.start(password, header, strength_, verifier)) return false;
    return CRYPTO_memcmp(verifier, header + saltSize(strength_), kVerifierSize) == 0;
}

bool Decrypter::authentic(const std::uint8_t code[kAuthCodeSize]) {
    std::uint8_t mine[kAuthCodeSize];
    session_.authCode(mine);
    return CRYPTO_memcmp(mine, code, kAuthCodeSize) == 0;
}

bool Encrypter::start(const std::string& password, std::uint8_t strength, std::uint8_t* header) {
    if (!validStrength(strength)) return false;
    if (RAND_bytes(header, static_cast<int>(saltSize(strength))) != 1) return false;
    return session_.start(password, header, strength, header + saltSize(strength));
}

} // namespace zipaes
