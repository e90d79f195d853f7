// ARJ archives: a main header, then a file header per member, each followed
// by the member's data; a header of size 0 ends the archive.  Every header
// is the id 0xEA60, the size of its basic header, the basic header (fixed
// fields, then the name and the comment, each ended by a zero), the basic
// header's CRC-32 and a chain of extended headers (size, data, CRC; size 0
// ends it).  A member may continue in the next volume of a set
// (ARCHIVE.ARJ, ARCHIVE.A01, ...): each volume then holds one part of it,
// compressed on its own.  The lister and the ARJ extractor read them here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace arj {

constexpr std::uint16_t kId = 0xEA60;
// The largest basic header ARJ writes.
constexpr std::size_t kMaxBasic = 2600;
// The fixed fields up to the host data; later versions add more behind.
constexpr std::uint8_t kMinFirstSize = 30;

constexpr std::uint8_t kFlagGarbled = 0x01;
constexpr std::uint8_t kFlagVolume = 0x04;  // continues in the next volume
constexpr std::uint8_t kFlagExtFile = 0x08; // carries its position in the file

constexpr std::uint8_t kTypeBinary = 0;
constexpr std::uint8_t kTypeText = 1;
constexpr std::uint8_t kTypeMain = 2;
constexpr std::uint8_t kTypeFolder = 3;
constexpr std::uint8_t kTypeLabel = 4;

constexpr std::uint8_t kHostUnix = 2;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;
// The CRC-32 of a buffer (complemented at the end); the module does not
// compute CRCs itself.
using Crc32 = std::function<std::uint32_t(const std::uint8_t* data, std::size_t n)>;

struct Header {
    std::int64_t Pos = 0; // of the id
    std::uint16_t BasicSize = 0;
    std::uint8_t FirstSize = 0;
    std::uint8_t Version = 0;
    std::uint8_t MinVersion = 0;
    std::uint8_t HostOs = 0;
    std::uint8_t Flags = 0;
    std::uint8_t Method = 0;
    std::uint8_t FileType = 0;
    std::uint32_t Stamp = 0; // DOS date-time (time low); Unix time from Unix hosts
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint32_t Crc = 0; // CRC-32 of the member's (part's) data
    std::uint16_t AccessMode = 0;
    std::uint32_t ExtFilePos = 0; // with kFlagExtFile: where this part starts
    std::string Name;             // raw bytes
    std::string Comment;          // raw bytes
    bool CrcOk = true;            // the basic header matches its CRC-32 (when checked)
    std::int64_t DataPos = 0;     // behind the extended headers

    std::int64_t NextPos() const { return DataPos + PackedSize; }
    bool Garbled() const { return Flags & kFlagGarbled; }
    bool Continues() const { return Flags & kFlagVolume; }
    // The time stamp as Unix time.
    std::int64_t UnixModificationTime() const;
    // The time stamp as a DOS date-time.
    std::uint32_t DosDateTime() const;
};

enum class Status {
    Ok,
    End,       // a header of size 0: the end of the archive
    NotHeader, // no id
    Damaged,   // sizes that contradict each other or run past the file
};

// The fixed part every header starts with (34 bytes).
constexpr std::size_t kFixedSize = 34;
// Interprets the fixed part alone (the lister's first look).
Status parseFixed(const std::uint8_t* raw, std::int64_t pos, Header& h);
// Reads the header at pos: fixed fields, name, comment, the extended
// headers and, when crc32 is given, the basic header's check.  Nothing is
// read past fileSize.
Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h,
                  const Crc32& crc32 = nullptr);
// The main header: the first id from start on whose basic header (at most
// kMaxBasic bytes) matches its CRC, looking at no more than `span` bytes;
// -1 when there is none.
std::int64_t findMainHeader(const ReadAt& read, std::int64_t start, std::int64_t fileSize,
                            std::int64_t span, const Crc32& crc32);

// Volume sets: the extension of volume n (1 = "A01", 99 = "A99", 100 =
// "100", ...; empty from 1000 on), in upper or lower case.
std::string volumeExtension(int number, bool lower);
// The number of a volume named like ARCHIVE.A07 or ARCHIVE.123; 0 for
// anything else (the first volume).
int volumeNumberOf(const std::string& path);
// The path of volume n of the set `first` belongs to: the same name with
// the volume's extension, in the case of the first's extension unless only
// the other case exists.
std::string volumePath(const std::string& first, int number);

// Method table (codes are the method byte).
std::span<const fmt::MethodInfo> methods();
// "Unknown" for methods the table lacks.
std::string methodName(std::uint8_t method);

} // namespace arj
