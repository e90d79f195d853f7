// Hand-built TAR headers for the cases tools do not make: hostile names,
// links out of the target, bad checksums, base-256 numbers.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ByteWriter.h"

namespace testsupport {

struct TarMember {
    TarMember(std::string n, char t = '0', std::string d = {}, std::string l = {})
        : name(std::move(n)), type(t), data(std::move(d)), link(std::move(l)) {}
    std::string name;
    char type = '0';
    std::string data;
    std::string link;
    std::int64_t mtime = 1500000000;
    unsigned mode = 0644;
    bool base256Size = false;
};

inline void tarOctal(std::uint8_t* field, std::size_t n, std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llo", static_cast<int>(n - 1),
                  static_cast<unsigned long long>(v));
    std::memcpy(field, buf, n - 1);
    field[n - 1] = 0;
}

// One ustar header block; the checksum is filled in.
inline Bytes tarHeader(const TarMember& m) {
    Bytes h(512, 0);
    std::memcpy(h.data(), m.name.data(), std::min<std::size_t>(m.name.size(), 100));
    tarOctal(&h[100], 8, m.mode);
    tarOctal(&h[108], 8, 1000);
    tarOctal(&h[116], 8, 1000);
    if (m.base256Size) {
        h[124] = 0x80;
        for (int i = 0; i < 8; ++i)
            h[135 - i] = static_cast<std::uint8_t>(m.data.size() >> (8 * i));
    } else {
        tarOctal(&h[124], 12, m.data.size());
    }
    tarOctal(&h[136], 12, static_cast<std::uint64_t>(m.mtime));
    h[156] = static_cast<std::uint8_t>(m.type);
    std::memcpy(&h[157], m.link.data(), std::min<std::size_t>(m.link.size(), 100));
    std::memcpy(&h[257],
                "ustar\0"
                "00",
                8);
    std::memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (auto b : h) sum += b;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%06o", sum);
    std::memcpy(&h[148], buf, 7);
    return h;
}

// Members, each header followed by its data in whole blocks, and the end.
inline Bytes tarArchive(const std::vector<TarMember>& members) {
    Bytes v;
    for (const auto& m : members) {
        putBytes(v, tarHeader(m));
        putStr(v, m.data);
        v.resize((v.size() + 511) / 512 * 512, 0);
    }
    v.resize(v.size() + 1024, 0);
    return v;
}

} // namespace testsupport
