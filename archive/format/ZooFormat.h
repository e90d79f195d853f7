// ZOO archives: an archive header that points at the first directory
// entry, then a chain of entries linked by their next-entry positions; each
// entry points at its member's data.  An entry with a next position of 0
// ends the chain.  Entries of type 2 carry a variable part behind the fixed
// fields: a long name and a folder.  The lister and the ZOO extractor read
// them through here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace zoo {

constexpr std::uint32_t kTag = 0xFDC4A7DC;
// The archive header fields up to the archive comment's length.
constexpr std::size_t kArchiveHeaderSize = 41;
// An entry's fixed fields; type 2 adds the size of its variable part and
// the lengths of the long name and the folder, up to kEntrySize2.
constexpr std::size_t kEntrySize = 51;
constexpr std::size_t kEntrySize2 = 58;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct ArchiveHeader {
    std::uint32_t FirstEntry = 0;
    std::uint32_t Check = 0; // the first entry's position, negated
    std::uint32_t CommentPos = 0;
    std::uint16_t CommentLength = 0;
    bool Consistent() const {
        return static_cast<std::uint32_t>(FirstEntry + Check) == 0 &&
               static_cast<std::int32_t>(FirstEntry) > 0;
    }
};

struct Entry {
    std::int64_t Pos = 0;
    std::uint32_t Tag = 0;
    std::uint8_t Type = 0;
    std::uint8_t Method = 0;
    std::int32_t Next = 0; // 0 or less: the end of the chain
    std::uint32_t DataPos = 0;
    std::uint32_t DosDateTime = 0; // time in the low word
    std::uint16_t Crc = 0;
    std::uint32_t UnpackedSize = 0;
    std::uint32_t PackedSize = 0;
    std::uint8_t MajorVersion = 0;
    std::uint8_t MinorVersion = 0;
    bool Deleted = false;
    std::uint32_t CommentPos = 0;
    std::uint16_t CommentLength = 0;
    std::string ShortName; // raw bytes
    std::string LongName;  // raw bytes; empty when the entry has none
    std::string Folder;    // raw bytes; empty when the entry has none

    bool EndOfChain() const { return Next <= 0; }
    // The long name when there is one, else the short name.
    std::string Name() const { return LongName.empty() ? ShortName : LongName; }
    // The folder and the name, joined with '/'.
    std::string Path() const;
};

enum class Status {
    Ok,
    NotEntry, // no tag
    Damaged,  // cut short by the end of the file
};

// Interprets the archive header's first kArchiveHeaderSize bytes.
void parseArchiveHeader(const std::uint8_t* raw, ArchiveHeader& a);
// Interprets an entry's fixed fields (kEntrySize2 bytes; the last seven
// are only looked at for type 2).
Status parseEntry(const std::uint8_t* raw, std::int64_t pos, Entry& e);
// Reads the entry at pos with its long name and folder.  Nothing is read
// past fileSize.
Status readEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Entry& e);
// Reads `length` bytes at pos (a comment); empty when they do not lie
// inside the file.
std::string readText(const ReadAt& read, std::uint32_t pos, std::uint16_t length,
                     std::int64_t fileSize);

// Method table (codes are the method byte).
std::span<const fmt::MethodInfo> methods();
// "Unknown" for methods the table lacks.
std::string methodName(std::uint8_t method);

} // namespace zoo
