// Microsoft cabinets: a header naming the cabinets before and after this
// one in a set, folder entries (each a compressed stream of data blocks),
// and file entries that cut the files out of their folder's uncompressed
// stream.  Reserve areas (flag 4) lengthen the header, every folder entry
// and every data block header.  The lister and the extractor read
// cabinets through this module.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace cab {

constexpr std::uint32_t kSignature = 0x4643534D; // "MSCF"
constexpr std::size_t kHeaderSize = 36, kFolderSize = 8, kFileSize = 16, kBlockSize = 8;
constexpr std::size_t kMaxCabinetName = 255, kMaxFileName = 256;

constexpr std::uint16_t kFlagPrevious = 0x0001, kFlagNext = 0x0002, kFlagReserve = 0x0004;

// Folder indexes of files that a set splits between cabinets.
constexpr std::uint16_t kContinuedFromPrevious = 0xFFFD;
constexpr std::uint16_t kContinuedToNext = 0xFFFE;
constexpr std::uint16_t kContinuedBoth = 0xFFFF;

// Compression types (low four bits of a folder's compression value).
constexpr int kTypeNone = 0, kTypeMszip = 1, kTypeQuantum = 2, kTypeLzx = 3;

constexpr std::uint16_t kAttrReadOnly = 0x01, kAttrExecute = 0x40, kAttrNameIsUtf8 = 0x80;

// The largest uncompressed data block.
constexpr std::size_t kMaxBlockOutput = 32768;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct Header {
    std::int64_t Base = 0; // file position of the cabinet's first byte
    std::uint32_t CabinetSize = 0;
    std::uint32_t FirstFile = 0; // offset of the first file entry
    std::uint8_t Minor = 0, Major = 0;
    std::uint16_t FolderCount = 0, FileCount = 0, Flags = 0, SetId = 0, Index = 0;
    std::uint16_t HeaderReserve = 0;
    std::uint8_t FolderReserve = 0, DataReserve = 0;
    std::string PreviousName, PreviousDisk;
    std::string NextName, NextDisk = "0";
    std::int64_t FirstFolder = 0; // file position of the first folder entry

    bool HasNext() const { return Flags & kFlagNext; }
    bool HasPrevious() const { return Flags & kFlagPrevious; }
    std::int64_t FolderPos(unsigned i) const {
        return FirstFolder + static_cast<std::int64_t>(i) * (kFolderSize + FolderReserve);
    }
};

struct Folder {
    std::uint32_t DataOffset = 0; // of the first data block, from the cabinet's start
    std::uint16_t BlockCount = 0;
    std::uint16_t Compression = 0;
    int Type() const { return Compression & 0x0F; }
};

struct FileEntry {
    std::int64_t Pos = 0; // of the entry in the file
    std::uint32_t Size = 0;
    std::uint32_t Offset = 0; // in the folder's uncompressed stream
    std::uint16_t FolderIndex = 0;
    std::uint16_t Date = 0, Time = 0, Attributes = 0;
    std::string Name;         // raw bytes
    std::int64_t NextPos = 0; // of the next entry

    std::uint32_t DosStamp() const { return static_cast<std::uint32_t>(Date) << 16 | Time; }
    std::string Path() const { return fmt::storedName(Name); }
};

struct DataBlock {
    std::uint32_t Checksum = 0;
    std::uint16_t CompressedSize = 0, UncompressedSize = 0;
    std::int64_t DataPos = 0; // of the block's compressed bytes
    std::int64_t NextPos() const { return DataPos + CompressedSize; }
};

enum class Status { Ok, BadSignature, Truncated };

// Reads the header parts of the cabinet at base (names of at most 255
// bytes each).
Status readHeader(const ReadAt& read, std::int64_t base, std::int64_t fileSize, Header& h);
// Folder entry i (0-based) of the cabinet.
bool readFolder(const ReadAt& read, const Header& h, unsigned i, std::int64_t fileSize, Folder& f);
// The file entry at pos, with its name.
bool readFileEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, FileEntry& e);
// The data block header at pos (its reserve area stepped over).
bool readDataBlock(const ReadAt& read, const Header& h, std::int64_t pos, std::int64_t fileSize,
                   DataBlock& b);

// The checksum of data blocks: the 32-bit words of the data XORed into a
// seed, the bytes left over taken in reverse order.
std::uint32_t checksum(const std::uint8_t* data, std::size_t n, std::uint32_t seed);
// Whether a block's stored checksum (0: none stored) matches its data and
// the two sizes of its header.
bool blockChecksumOk(const DataBlock& b, const std::uint8_t* data);

// Method codes are the folders' compression values.
std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t compression);

} // namespace cab
