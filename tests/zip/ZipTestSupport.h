// Inputs for the compressor tests and a minimal ZIP writer that wraps
// compressed members for the peer tools (ZIP64 records when a size or
// offset needs them).
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/zip/ZipItem.h"

namespace ziptest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes randomBytes(std::size_t n, std::uint32_t seed = 1) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<std::uint8_t>(rng());
    return b;
}

// English-like text with long and short repeats.
inline Bytes textBytes(std::size_t n, std::uint32_t seed = 2) {
    static const char* words[] = {"the",     "archive", "member",  "folder", "of",    "and",
                                  "window",  "is",      "deflate", "a",      "file",  "to",
                                  "extract", "with",    "every",   "block",  "in",    "header",
                                  "stored",  "data\n",  "zip",     "name",   "size.", "text"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % (sizeof words / sizeof *words)];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
        b.push_back(' ');
    }
    b.resize(n);
    return b;
}

// Machine code: the start of the running test program.
inline Bytes binaryBytes(std::size_t n) {
    std::ifstream f("/proc/self/exe", std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(f)), {});
    while (b.size() < n && !b.empty())
        b.insert(b.end(), b.begin(), b.begin() + std::min(b.size(), n - b.size()));
    b.resize(n);
    return b;
}

class ZipWriter {
public:
    explicit ZipWriter(const std::string& path) : f_(path, std::ios::binary) {}

    void add(const TZlZipItem& item, const Bytes& data) {
        Central c;
        c.item = &item;
        c.offset = pos_;
        const bool z64 = item.CompressedSize() >= 0xFFFFFFFFu ||
                         item.UncompressedSize() >= 0xFFFFFFFFu || pos_ >= 0xFFFFFFFFu;
        c.zip64 = z64;
        put32(0x04034B50);
        put16(z64 ? 45 : item.VersionNeededToExtract());
        put16(item.GeneralPurposeBitFlag());
        put16(item.CompressionMethod());
        put16(item.LastModFileTime());
        put16(item.LastModFileDate());
        put32(item.CRC32());
        put32(z64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(item.CompressedSize()));
        put32(z64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(item.UncompressedSize()));
        const std::string name = item.FileName();
        put16(static_cast<std::uint16_t>(name.size()));
        put16(z64 ? 20 : 0);
        putBytes(name.data(), name.size());
        if (z64) {
            put16(1);
            put16(16);
            put64(item.UncompressedSize());
            put64(item.CompressedSize());
        }
        putBytes(data.data(), data.size());
        central_.push_back(c);
    }

    void finish() {
        const std::uint64_t cdStart = pos_;
        for (const Central& c : central_) {
            const TZlZipItem& item = *c.item;
            put32(0x02014B50);
            put16(item.VersionMadeBy());
            put16(c.zip64 ? 45 : item.VersionNeededToExtract());
            put16(item.GeneralPurposeBitFlag());
            put16(item.CompressionMethod());
            put16(item.LastModFileTime());
            put16(item.LastModFileDate());
            put32(item.CRC32());
            put32(c.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(item.CompressedSize()));
            put32(c.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(item.UncompressedSize()));
            const std::string name = item.FileName();
            put16(static_cast<std::uint16_t>(name.size()));
            put16(c.zip64 ? 28 : 0);
            put16(0);
            put16(0);
            put16(item.InternalFileAttributes());
            put32(item.ExternalFileAttributes());
            put32(c.zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(c.offset));
            putBytes(name.data(), name.size());
            if (c.zip64) {
                put16(1);
                put16(24);
                put64(item.UncompressedSize());
                put64(item.CompressedSize());
                put64(c.offset);
            }
        }
        const std::uint64_t cdSize = pos_ - cdStart;
        const bool z64 = cdStart >= 0xFFFFFFFFu;
        if (z64) {
            const std::uint64_t eocd64 = pos_;
            put32(0x06064B50);
            put64(44);
            put16(45);
            put16(45);
            put32(0);
            put32(0);
            put64(central_.size());
            put64(central_.size());
            put64(cdSize);
            put64(cdStart);
            put32(0x07064B50);
            put32(0);
            put64(eocd64);
            put32(1);
        }
        put32(0x06054B50);
        put16(0);
        put16(0);
        put16(static_cast<std::uint16_t>(central_.size()));
        put16(static_cast<std::uint16_t>(central_.size()));
        put32(static_cast<std::uint32_t>(cdSize));
        put32(z64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(cdStart));
        put16(0);
        f_.close();
    }

private:
    struct Central {
        const TZlZipItem* item;
        std::uint64_t offset;
        bool zip64;
    };
    void putBytes(const void* p, std::size_t n) {
        f_.write(static_cast<const char*>(p), static_cast<std::streamsize>(n));
        pos_ += n;
    }
    void put16(std::uint16_t v) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        putBytes(b, 2);
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    void put64(std::uint64_t v) {
        put32(static_cast<std::uint32_t>(v));
        put32(static_cast<std::uint32_t>(v >> 32));
    }
    std::ofstream f_;
    std::uint64_t pos_ = 0;
    std::vector<Central> central_;
};

} // namespace ziptest
