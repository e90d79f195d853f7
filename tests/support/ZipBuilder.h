// Hand-built ZIP archives for tests: any name, method, flag, attribute,
// stated size, comment, ZIP64 record or stub in front, with or without
// traditional encryption.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/core/Crc.h"
#include "tests/support/ByteWriter.h"

namespace ziptest {

using testsupport::Bytes;

struct Member {
    Member() = default;
    // A stored member holding `text`.
    Member(std::string n, const std::string& text) : name(std::move(n)) {
        data.assign(text.begin(), text.end());
        crc = crc32Of(data.data(), data.size());
        unpacked = data.size();
    }
    // Labels the data with a method and flags (the data stays as it is).
    Member& with(std::uint16_t m, std::uint16_t f) {
        method = m;
        flags = f;
        return *this;
    }

    std::string name;
    Bytes data;            // the bytes stored as member data
    std::uint32_t crc = 0; // CRC of the uncompressed bytes
    std::uint64_t unpacked = 0;
    std::int64_t packed = -1; // stated packed size when not the data's own
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint16_t madeBy = 20; // DOS
    std::uint32_t external = 0x20;
    std::uint16_t time = (4 << 11) | (5 << 5) | 3;            // 04:05:06
    std::uint16_t date = ((2001 - 1980) << 9) | (2 << 5) | 3; // 2001-02-03
    std::string comment;
    std::string password; // encrypt when not empty
    bool zip64 = false;   // sizes and offset only in the ZIP64 extra field
    Bytes extra;          // further extra-field blocks of the central record

    std::uint32_t dosTime() const { return static_cast<std::uint32_t>(date) << 16 | time; }
};

inline Member stored(const std::string& name, const std::string& text) {
    return Member(name, text);
}

struct Options {
    std::string comment;
    bool zip64 = false;     // every member's sizes in ZIP64 records, and the ZIP64 end records
    std::uint32_t base = 0; // offsets are stored relative to this many bytes in front
};

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
    Bytes bytes; // whatever comes first (a stub) goes here

    void add(Member m) { members_.push_back(std::move(m)); }

    Bytes finish(const std::string& comment = "") {
        Options o;
        o.comment = comment;
        return finish(o);
    }

    Bytes finish(const Options& o) {
        using namespace testsupport;
        Bytes central;
        const std::size_t start = bytes.size();
        for (const Member& m : members_) {
            Bytes payload = m.data;
            std::uint16_t flags = m.flags;
            if (!m.password.empty()) {
                flags |= 1;
                Encrypter e(m.password);
                Bytes enc;
                for (int i = 0; i < 11; ++i)
                    enc.push_back(e.encrypt(static_cast<std::uint8_t>(i * 37 + 1)));
                std::uint8_t check = (flags & 8) ? static_cast<std::uint8_t>(m.time >> 8)
                                                 : static_cast<std::uint8_t>(m.crc >> 24);
                enc.push_back(e.encrypt(check));
                for (std::uint8_t b : payload) enc.push_back(e.encrypt(b));
                payload = enc;
            }
            const std::uint64_t local = bytes.size() - start + o.base;
            const std::uint64_t packed =
                m.packed >= 0 ? static_cast<std::uint64_t>(m.packed) : payload.size();
            put32(bytes, 0x04034B50);
            put16(bytes, 20);
            put16(bytes, flags);
            put16(bytes, m.method);
            put16(bytes, m.time);
            put16(bytes, m.date);
            put32(bytes, (flags & 8) ? 0 : m.crc);
            put32(bytes, static_cast<std::uint32_t>(payload.size()));
            put32(bytes, static_cast<std::uint32_t>(m.unpacked));
            put16(bytes, static_cast<std::uint32_t>(m.name.size()));
            put16(bytes, 0);
            putStr(bytes, m.name);
            putBytes(bytes, payload);

            const bool big = m.zip64 || o.zip64;
            Bytes extra;
            if (m.zip64) {
                // An unrelated block first, then the ZIP64 one.
                put16(extra, 0x7075);
                put16(extra, 4);
                put32(extra, 0);
            }
            if (big) {
                put16(extra, 0x0001);
                put16(extra, 24);
                put64(extra, m.unpacked);
                put64(extra, packed);
                put64(extra, local);
            }
            putBytes(extra, m.extra);
            put32(central, 0x02014B50);
            put16(central, m.madeBy);
            put16(central, big ? 45 : 20);
            put16(central, flags);
            put16(central, m.method);
            put16(central, m.time);
            put16(central, m.date);
            put32(central, m.crc);
            put32(central, big ? 0xFFFFFFFFu : static_cast<std::uint32_t>(packed));
            put32(central, big ? 0xFFFFFFFFu : static_cast<std::uint32_t>(m.unpacked));
            put16(central, static_cast<std::uint32_t>(m.name.size()));
            put16(central, static_cast<std::uint32_t>(extra.size()));
            put16(central, static_cast<std::uint32_t>(m.comment.size()));
            put16(central, 0);
            put16(central, 0);
            put32(central, m.external);
            put32(central, big ? 0xFFFFFFFFu : static_cast<std::uint32_t>(local));
            putStr(central, m.name);
            putBytes(central, extra);
            putStr(central, m.comment);
        }
        const std::uint64_t cdOffset = bytes.size() - start + o.base;
        putBytes(bytes, central);
        const std::uint64_t count = members_.size();
        if (o.zip64) {
            const std::uint64_t end64 = bytes.size() - start + o.base;
            put32(bytes, 0x06064B50);
            put64(bytes, 44);
            put16(bytes, 45);
            put16(bytes, 45);
            put32(bytes, 0);
            put32(bytes, 0);
            put64(bytes, count);
            put64(bytes, count);
            put64(bytes, central.size());
            put64(bytes, cdOffset);
            put32(bytes, 0x07064B50);
            put32(bytes, 0);
            put64(bytes, end64);
            put32(bytes, 1);
        }
        put32(bytes, 0x06054B50);
        put16(bytes, 0);
        put16(bytes, 0);
        put16(bytes, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(count));
        put16(bytes, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(count));
        put32(bytes, o.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(central.size()));
        put32(bytes, o.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(cdOffset));
        put16(bytes, static_cast<std::uint32_t>(o.comment.size()));
        putStr(bytes, o.comment);
        return bytes;
    }

private:
    std::vector<Member> members_;
};

// The archive bytes in one call; prefix (an executable, say) goes in front.
inline Bytes build(const std::vector<Member>& members, const Options& o = {},
                   const Bytes& prefix = {}) {
    Builder b;
    b.bytes = prefix;
    for (const Member& m : members) b.add(m);
    return b.finish(o);
}

} // namespace ziptest
