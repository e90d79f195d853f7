// ZIP records: the end of central directory record (with its ZIP64
// companions), central and local headers, and the rule that finds the
// directory, also behind a self-extractor stub whose offsets were never
// adjusted.  Detection, the lister, the extractor and the archive model all
// read ZIP archives through this module, and the archive model writes them
// through it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format/Format.h"

namespace zip {

constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kEnd64Sig = 0x06064B50;
constexpr std::uint32_t kLocator64Sig = 0x07064B50;
constexpr std::uint32_t kDigitalSig = 0x05054B50;
constexpr std::uint32_t kDescriptorSig = 0x08074B50;

constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kLocator64Size = 20;
// The end record plus the longest comment it can announce.
constexpr std::int64_t kEndSearchRange = kEndSize + 0xFFFF;

constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
// Info-ZIP's UTF-8 copy of the name; readers prefer it to the name itself.
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;
// The version a reader needs for ZIP64 records.
constexpr std::uint16_t kZip64Version = 45;
// First four bytes of the first disk of a spanned set, and of a new
// archive written straight onto a removable disk (which may become one).
constexpr std::uint32_t kSpanSig = 0x08074B50;
constexpr std::uint32_t kTempSpanSig = 0x30304B50; // "PK00"

// General-purpose flag bits.
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagUtf8 = 0x0800;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct EndRecord {
    std::int64_t Pos = -1;       // of the end record in the file
    std::uint64_t Entries = 0;   // total entries (ZIP64 value when saturated)
    std::uint64_t DirSize = 0;   // bytes of the central directory
    std::uint64_t DirOffset = 0; // as stored (relative to the ZIP's start)
    std::uint16_t DiskNumber = 0;
    std::uint16_t DirDisk = 0;
    std::uint16_t CommentLength = 0;
    std::string Comment;      // the raw bytes of the comment the file holds
    std::int64_t DirEnd = -1; // where the directory ends: the ZIP64 end record, else Pos
    bool Zip64 = false;
};

// The end record: the last 65,535 + 22 bytes are searched backwards; the
// highest record whose comment fits in the file wins, failing that the
// highest signature at all.  ZIP64 values replace saturated fields.
// `readFailed` (when given) tells a read error from a missing record.
std::optional<EndRecord> findEndRecord(const ReadAt& read, std::int64_t fileSize,
                                       bool* readFailed = nullptr);

enum class DirStatus { Ok, NoEndRecord, NoCentralHeader, ReadError };

struct Directory {
    EndRecord End;
    // Added to every stored offset to get a file position: the size of
    // whatever stands in front of the ZIP data when its offsets were not
    // adjusted, else 0.
    std::int64_t OffsetDelta = 0;
    std::int64_t FirstCentral = -1; // file position; -1 for an archive without members
};

// Finds the end record and the first central header.  The offset delta is
// taken, in this order, from the directory's geometry (it ends where the
// end record begins), from `announcedStart` (a 0-based start that detection
// or a stub announced; <= 0 for none) and as 0; the first one under which a
// central header signature stands at the stored directory offset wins.
DirStatus locateDirectory(const ReadAt& read, std::int64_t fileSize, std::int64_t announcedStart,
                          Directory& out);

struct CentralHeader {
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t DosDateTime = 0; // time in the low word
    std::uint32_t Crc = 0;
    std::uint64_t PackedSize = 0;
    std::uint64_t UnpackedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint32_t DiskStart = 0;
    std::uint16_t InternalAttr = 0;
    std::uint32_t ExternalAttr = 0;
    std::uint64_t LocalOffset = 0; // as stored (add the directory's offset delta)

    std::size_t VariableLength() const {
        return std::size_t{NameLength} + ExtraLength + CommentLength;
    }
    std::size_t TotalLength() const { return kCentralSize + VariableLength(); }
    bool IsFolder(std::span<const std::uint8_t> name) const;
};

// Reads the fixed 46 bytes; false when the signature is not a central one.
bool parseCentral(const std::uint8_t* fixed, CentralHeader& h);
// Takes the 64-bit values of a ZIP64 extra field for the fields the record
// saturated, in the order the format gives them.
void applyZip64Extra(std::span<const std::uint8_t> extra, CentralHeader& h);

struct LocalHeader {
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t Crc = 0;
    std::uint64_t PackedSize = 0;
    std::uint64_t UnpackedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
    std::size_t TotalLength() const { return kLocalSize + NameLength + ExtraLength; }
};

// Reads the fixed 30 bytes; false for anything but a local header.  Some
// writers leave the signature's first three bytes zero, which is accepted.
bool parseLocal(const std::uint8_t* fixed, LocalHeader& h);

// Finds a member's local header: at its stored offset plus the directory's
// delta, or, when a wrongly sized directory made the delta wrong, at the
// stored offset itself.  Returns the header's file position, or -1.
std::int64_t findLocalHeader(const ReadAt& read, const Directory& dir, std::uint64_t storedOffset,
                             LocalHeader& h);

// WinZip AES encryption: method 99 in the headers, the real method and the
// key strength in an extra field.
constexpr std::uint16_t kMethodAes = 99;
constexpr std::uint16_t kAesExtraId = 0x9901;

struct AesExtra {
    std::uint16_t Version = 0; // 1: AE-1 (CRC kept), 2: AE-2 (CRC left 0)
    std::uint8_t Strength = 0; // 1, 2, 3: 128, 192, 256 bits
    std::uint16_t Method = 0;  // the compression method of the data
};
// The AES extra field of an extra block; nothing when there is none or it
// does not hold together.
std::optional<AesExtra> findAesExtra(std::span<const std::uint8_t> extra);

// ---- Writing ----
// The writers append one record to `out`.  Values that do not fit the
// record's fields (sizes and offsets of 4 GiB and more, counts of 65,535
// and more) go to the ZIP64 records; below those limits nothing ZIP64 is
// written.

// The extra field without the blocks of the given ids.
std::string withoutExtraBlocks(std::string_view extra, std::initializer_list<std::uint16_t> ids);

// The 11-byte AES extra block (id, size, version, "AE", strength, method).
std::string aesExtraBlock(const AesExtra& a);

// A local header.  `extra` must not hold a ZIP64 block: one is added when
// a size needs it (with both sizes, as the format wants in local headers).
void appendLocal(std::vector<std::uint8_t>& out, const LocalHeader& h, std::string_view name,
                 std::string_view extra);
// Whether a member of these sizes gets a ZIP64 local header.
bool localNeedsZip64(std::uint64_t packed, std::uint64_t unpacked);

// A central header (name, extra and comment lengths are taken from the
// strings).  `extra` must not hold a ZIP64 block: one is added with the
// fields that need it.
void appendCentral(std::vector<std::uint8_t>& out, const CentralHeader& h, std::string_view name,
                   std::string_view extra, std::string_view comment);

struct EndValues {
    std::uint32_t DiskNumber = 0;
    std::uint32_t DirDisk = 0;
    std::uint64_t EntriesOnDisk = 0;
    std::uint64_t Entries = 0;
    std::uint64_t DirSize = 0;
    std::uint64_t DirOffset = 0;
};
// The end record, preceded by the ZIP64 end record and its locator when a
// value needs them; `here` is the position (on disk `v.DiskNumber`) that
// out's first new byte will have.
void appendEnd(std::vector<std::uint8_t>& out, const EndValues& v, std::string_view comment,
               std::uint64_t here);

// A data descriptor: CRC-32 and both sizes, the sizes 8 bytes wide when
// either needs it; with or without its signature.
void appendDescriptor(std::vector<std::uint8_t>& out, std::uint32_t crc, std::uint64_t packed,
                      std::uint64_t unpacked, bool signature);

// The method table and the name a listing shows (Deflate names carry the
// compression level that flag bits 1 and 2 record).
std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint16_t method, std::uint16_t flags);

} // namespace zip
