// TAR archives: 512-byte header blocks of the v7, ustar, GNU and pax
// formats, each followed by its data rounded up to whole blocks.  Long
// names and link names come from the ustar prefix, GNU 'L' and 'K' entries
// and pax records; sparse members (GNU 'S' entries and the pax sparse
// formats) carry a map of the regions that hold data.  Detection, the
// lister and the extractor read TAR archives through this module.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive/format/Format.h"

namespace tar {

constexpr std::int64_t kBlock = 512;
// Long names, pax records and sparse maps larger than this are damage.
constexpr std::int64_t kMaxMetaSize = 1 << 20;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

// A number field: octal text, where every '0'..'7' is a digit and anything
// else is skipped, or the base-256 form of large values (first byte with
// the high bit set).  False when the value does not fit 63 bits.
bool parseNumber(const std::uint8_t* p, std::size_t n, std::int64_t& value);
// The same for fields that cannot be negative: -1 for a negative or
// oversized value.
std::int64_t number(const std::uint8_t* p, std::size_t n);

// Whether a header block's checksum field matches the sum of its bytes
// (the field itself counted as blanks; old writers summed signed bytes).
bool checksumOk(const std::uint8_t* block);

// One region of a sparse file that holds data; the rest reads as zeros.
struct Region {
    std::int64_t Offset = 0;
    std::int64_t Size = 0;
};

struct Entry {
    std::int64_t Pos = 0;     // of the member's own header block
    std::int64_t DataPos = 0; // of its data (a sparse map in front of it excluded)
    std::int64_t Size = 0;    // data bytes stored in the archive
    std::int64_t NextPos = 0; // of the next header
    char Type = '0';
    std::string Name;     // raw bytes; long name, pax path or prefix applied
    std::string LinkName; // raw bytes
    std::int64_t ModificationTime = 0;
    std::uint32_t Mode = 0;
    std::uint32_t Checksum = 0; // as stored in the header
    bool Sparse = false;
    std::int64_t RealSize = 0;   // the file's length; equals Size unless sparse
    std::vector<Region> Regions; // sparse members only, in increasing order

    // Name and link target as the program shows and extracts them.
    std::string Path() const;
    std::string LinkTarget() const;

    bool IsFile() const;
    // Type '5', GNU's dump folders, and the folders of old archives: a
    // regular entry whose name ends with '/'.
    bool IsFolder() const;
    bool IsSymlink() const { return Type == '2'; }
    bool IsHardLink() const { return Type == '1'; }
    bool IsLabel() const { return Type == 'V'; }
    // Character and block devices and FIFOs: nothing a program makes.
    bool IsDevice() const { return Type == '3' || Type == '4' || Type == '6'; }
    // Entries that hold no file of their own (GNU continuations of a file
    // begun in an earlier volume, old GNU rename lists).
    bool IsUnusable() const { return Type == 'M' || Type == 'N'; }
};

enum class Status {
    Ok,
    End,         // an end block (empty name), or the end of the file
    BadChecksum, // a header block whose checksum does not match
    Damaged,     // long names, pax records or sparse maps that do not hold together
};

// Reads the member whose headers begin at pos, stepping through the long
// name, long link and pax entries in front of its own header.  Nothing is
// read past fileSize, and nothing is allocated beyond what the file holds.
Status readEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Entry& e);

std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t code);

} // namespace tar
