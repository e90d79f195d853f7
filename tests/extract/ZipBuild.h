// Hand-built ZIP archives for the extractor tests: any name, method, flag
// or attribute, with or without traditional encryption.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/core/Crc.h"

namespace ziptest {

struct Member {
    std::string name;
    std::vector<std::uint8_t> data; // the bytes stored as member data
    std::uint32_t crc = 0;          // CRC of the uncompressed bytes
    std::uint64_t unpacked = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint16_t madeBy = 20; // DOS
    std::uint32_t external = 0x20;
    std::uint16_t time = 0x6000; // 12:00:00
    std::uint16_t date = 0x5A21; // 2025-01-01
    std::string password;        // encrypt when not empty
    bool zip64 = false;          // sizes and offset only in the ZIP64 extra field
};

inline Member stored(const std::string& name, const std::string& text) {
    Member m;
    m.name = name;
    m.data.assign(text.begin(), text.end());
    m.crc = crc32Of(m.data.data(), m.data.size());
    m.unpacked = m.data.size();
    return m;
}

class Encrypter {
public:
    explicit Encrypter(const std::string& pw) {
        for (char c : pw) update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t encrypt(std::uint8_t plain) {
        std::uint32_t t = (k2 & 0xFFFF) | 2;
        std::uint8_t c = plain ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
        update(plain);
        return c;
    }

private:
    void update(std::uint8_t c) {
        k0 = Crc32Table[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
        k2 = Crc32Table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    std::uint32_t k0 = 0x12345678u, k1 = 0x23456789u, k2 = 0x34567890u;
};

class Builder {
public:
    std::vector<std::uint8_t> bytes; // whatever comes first (a stub) goes here

    void add(Member m) { members_.push_back(std::move(m)); }

    std::vector<std::uint8_t> finish(const std::string& comment = "") {
        std::vector<std::uint8_t> central;
        std::size_t base = bytes.size();
        for (auto& m : members_) {
            std::vector<std::uint8_t> payload = m.data;
            std::uint16_t flags = m.flags;
            if (!m.password.empty()) {
                flags |= 1;
                Encrypter e(m.password);
                std::vector<std::uint8_t> enc;
                for (int i = 0; i < 11; ++i)
                    enc.push_back(e.encrypt(static_cast<std::uint8_t>(i * 37 + 1)));
                std::uint8_t check = (flags & 8) ? static_cast<std::uint8_t>(m.time >> 8)
                                                 : static_cast<std::uint8_t>(m.crc >> 24);
                enc.push_back(e.encrypt(check));
                for (std::uint8_t b : payload) enc.push_back(e.encrypt(b));
                payload = enc;
            }
            std::size_t local = bytes.size() - base;
            put32(bytes, 0x04034B50);
            put16(bytes, 20);
            put16(bytes, flags);
            put16(bytes, m.method);
            put16(bytes, m.time);
            put16(bytes, m.date);
            put32(bytes, (flags & 8) ? 0 : m.crc);
            put32(bytes, static_cast<std::uint32_t>(payload.size()));
            put32(bytes, static_cast<std::uint32_t>(m.unpacked));
            put16(bytes, static_cast<std::uint16_t>(m.name.size()));
            put16(bytes, 0);
            bytes.insert(bytes.end(), m.name.begin(), m.name.end());
            bytes.insert(bytes.end(), payload.begin(), payload.end());

            put32(central, 0x02014B50);
            put16(central, m.madeBy);
            put16(central, 20);
            put16(central, flags);
            put16(central, m.method);
            put16(central, m.time);
            put16(central, m.date);
            put32(central, m.crc);
            put32(central, m.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(payload.size()));
            put32(central, m.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(m.unpacked));
            put16(central, static_cast<std::uint16_t>(m.name.size()));
            put16(central, m.zip64 ? 4 + 24 + 8 : 0);
            put16(central, 0);
            put16(central, 0);
            put16(central, 0);
            put32(central, m.external);
            put32(central, m.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(local));
            central.insert(central.end(), m.name.begin(), m.name.end());
            if (m.zip64) {
                // An unrelated block first, then the ZIP64 one.
                put16(central, 0x7075);
                put16(central, 4);
                put32(central, 0);
                put16(central, 0x0001);
                put16(central, 24);
                put32(central, static_cast<std::uint32_t>(m.unpacked));
                put32(central, static_cast<std::uint32_t>(m.unpacked >> 32));
                put32(central, static_cast<std::uint32_t>(payload.size()));
                put32(central, 0);
                put32(central, static_cast<std::uint32_t>(local));
                put32(central, 0);
            }
        }
        std::size_t cdOffset = bytes.size() - base;
        bytes.insert(bytes.end(), central.begin(), central.end());
        put32(bytes, 0x06054B50);
        put16(bytes, 0);
        put16(bytes, 0);
        put16(bytes, static_cast<std::uint16_t>(members_.size()));
        put16(bytes, static_cast<std::uint16_t>(members_.size()));
        put32(bytes, static_cast<std::uint32_t>(central.size()));
        put32(bytes, static_cast<std::uint32_t>(cdOffset));
        put16(bytes, static_cast<std::uint16_t>(comment.size()));
        bytes.insert(bytes.end(), comment.begin(), comment.end());
        return bytes;
    }

private:
    static void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    static void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
        put16(v, static_cast<std::uint16_t>(x));
        put16(v, static_cast<std::uint16_t>(x >> 16));
    }
    std::vector<Member> members_;
};

// Writes bit fields least significant bit first, as the legacy methods read them.
class BitWriter {
public:
    void put(std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            if (bit_ == 0) out.push_back(0);
            if ((value >> i) & 1) out.back() |= static_cast<std::uint8_t>(1u << bit_);
            bit_ = (bit_ + 1) & 7;
        }
    }
    std::vector<std::uint8_t> out;

private:
    int bit_ = 0;
};

} // namespace ziptest
