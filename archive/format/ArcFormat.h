// ARC and PAK archives: a chain of headers, each followed by its member's
// data.  A header is the marker byte 0x1A, the method, a 13-byte name, the
// compressed size, the DOS date and time, the CRC-16 and the uncompressed
// size; method 1 (the oldest) lacks the uncompressed size.  The marker with
// method 0 ends the archive.  PAK uses the same layout with methods of its
// own from 10 on.  The lister and the ARC extractor read them through here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace arc {

constexpr std::uint8_t kMarker = 0x1A;
constexpr std::size_t kHeaderSize = 29;
constexpr std::size_t kOldHeaderSize = 25; // method 1
constexpr std::uint8_t kOldMethod = 1;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct Header {
    std::int64_t Pos = 0; // of the marker byte
    std::uint8_t Method = 0;
    std::string Name; // raw bytes up to the first zero
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0; // method 1: the packed size
    std::uint32_t DosDateTime = 0; // time in the low word
    std::uint16_t Crc = 0;

    std::int64_t Length() const {
        return static_cast<std::int64_t>(Method == kOldMethod ? kOldHeaderSize : kHeaderSize);
    }
    std::int64_t DataPos() const { return Pos + Length(); }
    std::int64_t NextPos() const { return DataPos() + PackedSize; }
};

enum class Status {
    Ok,
    End,       // the end mark: the marker with method 0
    NotHeader, // no marker
    Damaged,   // a header cut short by the end of the file
};

// Interprets the kHeaderSize bytes of a header (fewer for an old one: the
// bytes behind are not looked at) read at pos.
Status parseHeader(const std::uint8_t* raw, std::int64_t pos, Header& h);
// Reads the header at pos; nothing is read past fileSize.
Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h);
// The position of the first marker byte at pos or up to maxSkip bytes
// after it; -1 when there is none.
std::int64_t findMarker(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, int maxSkip);

// Method tables (codes are the method byte).
std::span<const fmt::MethodInfo> arcMethods();
std::span<const fmt::MethodInfo> pakMethods();
// "Unknown" for methods a table lacks.
std::string methodName(bool pak, std::uint8_t method);

} // namespace arc
