// Hand-built cabinets: folders of data blocks (as given, so stored or
// MSZIP), file entries placed anywhere, reserve areas, sets.
#pragma once

#include <string>
#include <vector>

#include "archive/format/CabFormat.h"
#include "tests/support/ByteWriter.h"

namespace testsupport {

struct CabBlock {
    Bytes data;                 // the block's bytes as stored
    std::uint16_t uncompressed; // 0 for the first half of a block split between cabinets
    bool badChecksum = false;
};

struct CabFolder {
    std::uint16_t compression = 0;
    std::vector<CabBlock> blocks;
};

struct CabFile {
    std::string name;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
    std::uint16_t folder = 0;
    std::uint16_t attributes = 0x20;
    std::uint16_t date = (2010 - 1980) << 9 | 6 << 5 | 15; // 2010-06-15
    std::uint16_t time = 12 << 11 | 30 << 5 | 10;          // 12:30:20
};

struct CabSpec {
    std::vector<CabFolder> folders;
    std::vector<CabFile> files;
    std::string previous, next;
    std::uint16_t setId = 1234, index = 0;
    std::uint16_t headerReserve = 0;
    std::uint8_t folderReserve = 0, dataReserve = 0;
};

// A stored block of the given bytes.
inline CabBlock storedBlock(const std::string& s) {
    return {Bytes(s.begin(), s.end()), static_cast<std::uint16_t>(s.size())};
}

inline Bytes makeCab(const CabSpec& c) {
    std::uint16_t flags = 0;
    if (!c.previous.empty()) flags |= cab::kFlagPrevious;
    if (!c.next.empty()) flags |= cab::kFlagNext;
    const bool reserve = c.headerReserve || c.folderReserve || c.dataReserve;
    if (reserve) flags |= cab::kFlagReserve;
    std::size_t headerLen = 36 + (reserve ? 4 + c.headerReserve : 0);
    if (!c.previous.empty()) headerLen += c.previous.size() + 1 + 2;
    if (!c.next.empty()) headerLen += c.next.size() + 1 + 2;
    const std::size_t foldersAt = headerLen;
    const std::size_t filesAt = foldersAt + c.folders.size() * (8 + c.folderReserve);
    std::size_t dataAt = filesAt;
    for (const auto& f : c.files) dataAt += 16 + f.name.size() + 1;

    Bytes v;
    putStr(v, "MSCF");
    put32(v, 0);
    put32(v, 0); // the size, set below
    put32(v, 0);
    put32(v, static_cast<std::uint32_t>(filesAt));
    put32(v, 0);
    v.push_back(3);
    v.push_back(1);
    put16(v, static_cast<std::uint32_t>(c.folders.size()));
    put16(v, static_cast<std::uint32_t>(c.files.size()));
    put16(v, flags);
    put16(v, c.setId);
    put16(v, c.index);
    if (reserve) {
        put16(v, c.headerReserve);
        v.push_back(c.folderReserve);
        v.push_back(c.dataReserve);
        v.insert(v.end(), c.headerReserve, 0xEE);
    }
    for (const std::string* name : {&c.previous, &c.next}) {
        if (name->empty()) continue;
        putStr(v, *name);
        v.push_back(0);
        putStr(v, "1");
        v.push_back(0);
    }
    std::size_t blockAt = dataAt;
    for (const auto& f : c.folders) {
        put32(v, static_cast<std::uint32_t>(blockAt));
        put16(v, static_cast<std::uint32_t>(f.blocks.size()));
        put16(v, f.compression);
        v.insert(v.end(), c.folderReserve, 0xFF);
        for (const auto& b : f.blocks) blockAt += 8 + c.dataReserve + b.data.size();
    }
    for (const auto& f : c.files) {
        put32(v, f.size);
        put32(v, f.offset);
        put16(v, f.folder);
        put16(v, f.date);
        put16(v, f.time);
        put16(v, f.attributes);
        putStr(v, f.name);
        v.push_back(0);
    }
    for (const auto& f : c.folders)
        for (const auto& b : f.blocks) {
            cab::DataBlock d;
            d.CompressedSize = static_cast<std::uint16_t>(b.data.size());
            d.UncompressedSize = b.uncompressed;
            const std::uint8_t sizes[4] = {static_cast<std::uint8_t>(d.CompressedSize),
                                           static_cast<std::uint8_t>(d.CompressedSize >> 8),
                                           static_cast<std::uint8_t>(d.UncompressedSize),
                                           static_cast<std::uint8_t>(d.UncompressedSize >> 8)};
            std::uint32_t sum =
                cab::checksum(sizes, 4, cab::checksum(b.data.data(), b.data.size(), 0));
            if (b.badChecksum) sum ^= 0x100;
            put32(v, sum);
            put16(v, d.CompressedSize);
            put16(v, d.UncompressedSize);
            v.insert(v.end(), c.dataReserve, 0xDD);
            putBytes(v, b.data);
        }
    set32(v, 8, static_cast<std::uint32_t>(v.size()));
    return v;
}

} // namespace testsupport
