// LHA/LZH headers, levels 0 to 3.  Each header is followed by the member's
// data; levels 1 to 3 carry extended headers, of which the name (0x01) and
// folder (0x02) make up the member's path and the Unix ones (0x50, 0x54)
// its permissions and time.  The lister, the extractor and the writer read
// LHA archives through this module, and the writer lays out its level-0
// headers with it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/format/Format.h"

namespace lha {

constexpr std::size_t kFixedSize = 22;
// Level 3 sizes are 32 bits; nothing real comes near this.
constexpr std::uint32_t kMaxLevel3Header = 1u << 20;

constexpr std::uint8_t kExtCommon = 0x00;
constexpr std::uint8_t kExtName = 0x01;
constexpr std::uint8_t kExtFolder = 0x02;
constexpr std::uint8_t kExtDosAttr = 0x40;
constexpr std::uint8_t kExtUnixMode = 0x50;
constexpr std::uint8_t kExtUnixOwner = 0x51;
constexpr std::uint8_t kExtUnixTime = 0x54;

constexpr std::uint8_t kOsUnix = 'U';

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct Header {
    std::int64_t Pos = 0; // of the header in the file
    std::uint8_t Level = 0;
    char MethodId[6] = {};       // "-lh5-" and a zero
    std::int64_t PackedSize = 0; // the member's data, extended headers not counted
    std::int64_t UnpackedSize = 0;
    std::uint32_t Stamp = 0;              // DOS date-time (levels 0, 1), else Unix time
    std::uint8_t Attr = 0;                // the attribute byte of the fixed header
    std::optional<std::uint16_t> DosAttr; // from the MS-DOS extension
    std::uint16_t Crc = 0;                // CRC-16 of the member's data
    std::uint8_t Os = 0;                  // id of the system that made it; 0 when absent
    std::string Name;                     // raw bytes of the name
    std::string Folder;                   // raw bytes of the folder (0xFF turned into '/')
    std::optional<std::uint16_t> UnixMode;
    std::optional<std::int64_t> UnixTime;
    std::int64_t HeaderLength = 0; // bytes from Pos to the data (extended headers included)
    bool ChecksumOk = true;        // levels 0 and 1: the header's byte sum matches

    std::int64_t DataPos() const { return Pos + HeaderLength; }
    std::int64_t NextPos() const { return DataPos() + PackedSize; }
    // The method's two distinguishing characters ('h','5' of -lh5-).
    std::uint16_t MethodCode() const {
        return static_cast<std::uint16_t>(static_cast<std::uint8_t>(MethodId[2]) << 8 |
                                          static_cast<std::uint8_t>(MethodId[3]));
    }
    bool IsFolder() const { return MethodId[2] == 'h' && MethodId[3] == 'd'; }
    // Folder and name joined with '/', decoded for display and extraction;
    // a folder entry ends with '/'.  A Unix symbolic link ("link|target",
    // stored as a folder entry) gives its link name only.
    std::string Path() const;
    // The target of a stored symbolic link; empty for anything else.
    std::string LinkTarget() const;
    // Time stamp as Unix time: from the Unix extension, from a level 2 or 3
    // header, or converted from the DOS stamp.
    std::int64_t UnixModificationTime() const;
};

enum class Status {
    Ok,
    End,     // no further header: an end mark, or bytes that are not a header
    Damaged, // a header whose sizes or extensions run past the file
};

// Reads the header at pos.  Nothing is read past fileSize, and no size
// field makes it allocate more than the file holds.
Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h);

// Level 0: the header size byte counts what follows the checksum, so the
// name may take at most 255 - 22 bytes.
constexpr std::size_t kMaxLevel0Name = 255 - 22;
constexpr std::uint8_t kEndMark = 0;

// Lays out a level-0 header from MethodId, PackedSize, UnpackedSize, Stamp
// (DOS date-time), Attr, Name (raw bytes, folders separated by a backslash) and
// Crc: size byte, checksum over the rest, the fixed fields, the name and
// the CRC-16, with no extension behind it.  Empty when the name is too
// long or a size does not fit the 32-bit fields.
std::vector<std::uint8_t> writeLevel0(const Header& h);
// The byte sum that level 0 and 1 headers carry at offset 1.
std::uint8_t headerChecksum(const std::uint8_t* from, std::size_t n);

// Method table: codes are MethodCode() values.
std::span<const fmt::MethodInfo> methods();
// The name a listing shows for a method id ("Frozen-5" for -lh5-).
std::string methodName(const Header& h);

} // namespace lha
