// Builds small Windows PE images for tests: a DOS header whose image size
// can be chosen, and optionally a resource section with a string table.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

inline void put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
inline void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x >> (8 * i));
}

// A DOS "MZ" header (64 bytes, no PE part) whose image ends at dosImageEnd,
// padded with zeros up to that size.
inline std::vector<std::uint8_t> dosStub(std::uint32_t dosImageEnd) {
    std::vector<std::uint8_t> v(std::max<std::uint32_t>(dosImageEnd, 64), 0);
    v[0] = 'M';
    v[1] = 'Z';
    put16(v, 2, dosImageEnd % 512);
    put16(v, 4, (dosImageEnd + 511) / 512);
    return v;
}

// A PE32 image whose string table holds strings 1 to strings.size(),
// padded with zeros to padTo bytes.
inline std::vector<std::uint8_t> peWithStrings(const std::vector<std::string>& strings,
                                               std::size_t padTo = 0) {
    const std::uint32_t rawOff = 512, rva = 0x1000;
    std::vector<std::uint8_t> v(rawOff, 0);
    v[0] = 'M';
    v[1] = 'Z';
    put16(v, 2, 0x90);
    put16(v, 4, 3);
    put32(v, 0x3C, 64);
    std::memcpy(&v[64], "PE\0\0", 4);
    std::size_t coff = 68;
    put16(v, coff, 0x14C);
    put16(v, coff + 2, 1);
    put16(v, coff + 16, 224);
    put16(v, coff + 18, 0x0102);
    std::size_t opt = coff + 20;
    put16(v, opt, 0x10B);
    put32(v, opt + 92, 16);
    std::size_t sec = opt + 224;

    // Resource tree: type 6 -> block 1 -> language 0x409 -> data.
    std::vector<std::uint8_t> r(88, 0);
    put16(r, 14, 1);
    put32(r, 16, 6);
    put32(r, 20, 0x80000000u | 24);
    put16(r, 24 + 14, 1);
    put32(r, 24 + 16, 1);
    put32(r, 24 + 20, 0x80000000u | 48);
    put16(r, 48 + 14, 1);
    put32(r, 48 + 16, 0x409);
    put32(r, 48 + 20, 72);
    std::vector<std::uint8_t> block;
    for (unsigned id = 0; id < 16; ++id) {
        std::string s = (id >= 1 && id <= strings.size()) ? strings[id - 1] : "";
        block.push_back(static_cast<std::uint8_t>(s.size()));
        block.push_back(static_cast<std::uint8_t>(s.size() >> 8));
        for (char c : s) {
            block.push_back(static_cast<std::uint8_t>(c));
            block.push_back(0);
        }
    }
    put32(r, 72, rva + 88);
    put32(r, 76, static_cast<std::uint32_t>(block.size()));
    r.insert(r.end(), block.begin(), block.end());

    put32(v, opt + 96 + 2 * 8, rva);
    put32(v, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(r.size()));
    std::memcpy(&v[sec], ".rsrc", 5);
    put32(v, sec + 8, static_cast<std::uint32_t>(r.size()));
    put32(v, sec + 12, rva);
    put32(v, sec + 16, static_cast<std::uint32_t>(r.size()));
    put32(v, sec + 20, rawOff);
    v.insert(v.end(), r.begin(), r.end());
    if (v.size() < padTo) v.resize(padTo, 0);
    return v;
}

} // namespace testsupport
