// A small ZIP writer for lister tests: stored members with chosen header
// fields, optional ZIP64 records and an archive comment.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/core/Crc.h"

namespace ziptest {

using Bytes = std::vector<std::uint8_t>;

inline void p16(Bytes& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void p32(Bytes& v, std::uint32_t x) {
    p16(v, x & 0xFFFF);
    p16(v, x >> 16);
}
inline void p64(Bytes& v, std::uint64_t x) {
    p32(v, static_cast<std::uint32_t>(x));
    p32(v, static_cast<std::uint32_t>(x >> 32));
}
inline void pstr(Bytes& v, const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
}

struct Entry {
    Entry(std::string n = "", std::string d = "") : name(std::move(n)), data(std::move(d)) {}
    Entry& with(std::uint16_t m, std::uint16_t f) {
        method = m;
        flags = f;
        return *this;
    }
    std::string name;
    std::string data;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t externalAttr = 0x20;
    std::uint32_t dosTime = (2001u - 1980) << 25 | 2u << 21 | 3u << 16 | 4u << 11 | 5u << 5 | 3u;
    std::string comment;
    // Sizes stated in the central record when not the data's own.
    std::int64_t packed = -1, unpacked = -1;
};

struct Options {
    std::string comment;
    bool zip64 = false;     // all-ones markers, real values in ZIP64 records
    std::uint32_t base = 0; // offsets are stored relative to this many bytes in front
};

// The archive bytes; prefix (an executable, say) is put in front.
inline Bytes build(const std::vector<Entry>& entries, const Options& o = {},
                   const Bytes& prefix = {}) {
    Bytes v = prefix;
    const std::size_t start = v.size();
    std::vector<std::uint64_t> offsets;
    for (const Entry& e : entries) {
        offsets.push_back(v.size() - start + o.base);
        p32(v, 0x04034B50);
        p16(v, 20);
        p16(v, e.flags);
        p16(v, e.method);
        p32(v, e.dosTime);
        p32(v, crc32Of(e.data.data(), e.data.size()));
        p32(v, static_cast<std::uint32_t>(e.data.size()));
        p32(v, static_cast<std::uint32_t>(e.data.size()));
        p16(v, static_cast<std::uint32_t>(e.name.size()));
        p16(v, 0);
        pstr(v, e.name);
        pstr(v, e.data);
    }
    const std::uint64_t cdOffset = v.size() - start + o.base;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const std::uint64_t packed = e.packed >= 0 ? e.packed : e.data.size();
        const std::uint64_t unpacked = e.unpacked >= 0 ? e.unpacked : e.data.size();
        Bytes extra;
        if (o.zip64) {
            p16(extra, 1);
            p16(extra, 24);
            p64(extra, unpacked);
            p64(extra, packed);
            p64(extra, offsets[i]);
        }
        p32(v, 0x02014B50);
        p16(v, 0x0314);
        p16(v, o.zip64 ? 45 : 20);
        p16(v, e.flags);
        p16(v, e.method);
        p32(v, e.dosTime);
        p32(v, crc32Of(e.data.data(), e.data.size()));
        p32(v, o.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(packed));
        p32(v, o.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(unpacked));
        p16(v, static_cast<std::uint32_t>(e.name.size()));
        p16(v, static_cast<std::uint32_t>(extra.size()));
        p16(v, static_cast<std::uint32_t>(e.comment.size()));
        p16(v, 0);
        p16(v, 0);
        p32(v, e.externalAttr);
        p32(v, o.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(offsets[i]));
        pstr(v, e.name);
        v.insert(v.end(), extra.begin(), extra.end());
        pstr(v, e.comment);
    }
    const std::uint64_t cdSize = v.size() - start + o.base - cdOffset;
    if (o.zip64) {
        const std::uint64_t end64 = v.size() - start + o.base;
        p32(v, 0x06064B50);
        p64(v, 44);
        p16(v, 45);
        p16(v, 45);
        p32(v, 0);
        p32(v, 0);
        p64(v, entries.size());
        p64(v, entries.size());
        p64(v, cdSize);
        p64(v, cdOffset);
        p32(v, 0x07064B50);
        p32(v, 0);
        p64(v, end64);
        p32(v, 1);
    }
    p32(v, 0x06054B50);
    p16(v, 0);
    p16(v, 0);
    p16(v, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    p16(v, o.zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    p32(v, o.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(cdSize));
    p32(v, o.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(cdOffset));
    p16(v, static_cast<std::uint32_t>(o.comment.size()));
    pstr(v, o.comment);
    return v;
}

} // namespace ziptest
