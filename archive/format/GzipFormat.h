// GZIP files (RFC 1952) and the other single-file formats that begin with
// 0x1F: compress (.Z), SCO compress and pack.  A GZIP file is one or more
// members, each a header, a Deflate stream and a trailer with the CRC-32
// and the length (modulo 2^32) of its data.  The lister and the extractor
// read these files through this module.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace gz {

// Magics as 16-bit little-endian values of the first two bytes.
constexpr std::uint16_t kGzip = 0x8B1F, kGzipOld = 0x9E1F;
constexpr std::uint16_t kCompress = 0x9D1F, kScoCompress = 0xA01F, kPack = 0x1E1F;

constexpr std::size_t kFixedSize = 10, kTrailerSize = 8;
constexpr std::uint8_t kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10, kFlagEncrypted = 0x20, kFlagsUnknown = 0xC0;
constexpr std::uint8_t kMethodStored = 0, kMethodDeflate = 8;

// The byte behind the magic of a compress file: the widest code and block
// mode (code 256 clears the table).
constexpr std::uint8_t kCompressBitsMask = 0x1F, kCompressBlockMode = 0x80;
constexpr std::uint8_t kCompressMinBits = 9, kCompressMaxBits = 16;

// Method codes of the method table: the GZIP method byte (0 or 8; others
// are listed as 10), then one code for each other compressor.
constexpr std::uint32_t kCodeCompress = 1, kCodePack = 2, kCodeScoCompress = 3, kCodeOther = 10;
// The single-file compressors of today, known by their own magic bytes.
constexpr std::uint32_t kCodeBzip2 = 20, kCodeXz = 21, kCodeLzip = 22, kCodeZstd = 23;
// Bytes a file must begin with for modernMethodCode to tell.
constexpr std::size_t kModernMagicSize = 6;

// The method code of a bzip2, xz, lzip or Zstandard file from its first
// kModernMagicSize bytes; 0 for anything else.
std::uint32_t modernMethodCode(const std::uint8_t* head);

bool isGzip(std::uint16_t magic);
// Whether the magic is one of the five this program recognises.
bool isKnown(std::uint16_t magic);
// The method code of a file: from the GZIP method byte, or by its magic.
std::uint32_t methodCode(std::uint16_t magic, std::uint8_t gzipMethod);

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

// The decoded size that an xz, lzip or Zstandard file states (xz: the
// index of its last stream; lzip: the trailers of all its members;
// Zstandard: the content size in its first frame's header); -1 when the
// file states none (bzip2 never does) or the records do not hold together.
std::int64_t statedDecodedSize(const ReadAt& read, std::int64_t fileSize, std::uint32_t code);

struct Header {
    std::uint16_t Magic = 0;
    std::uint8_t Method = 0;
    std::uint8_t Flags = 0;
    std::uint32_t ModificationTime = 0; // Unix time; 0 when none is stored
    std::uint16_t ExtraLength = 0;
    bool HasName = false;
    std::string Name; // raw bytes, cut at the length the caller allowed
    std::string Comment;
    std::int64_t Length = 0; // bytes from the member's start to its compressed data

    bool Encrypted() const { return Flags & kFlagEncrypted; }
    // The stored name reduced to its last path component, decoded; empty
    // when there is none (or nothing is left of it).
    std::string FileName() const;
};

enum class Status {
    Ok,
    NotGzip,        // another magic
    Truncated,      // the file ends inside the header
    HeaderCrcError, // FHCRC present and wrong
};

// Reads a member header byte by byte through `next` (-1 at the end of the
// input).  Names and comments keep at most maxText bytes; the rest is
// stepped over up to their zero byte.
Status parseHeader(const std::function<int()>& next, Header& h, std::size_t maxText = 1024);

// The header of the member at pos of a file.
Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h,
                  std::size_t maxText = 1024);

// The name of a member that stores none: the archive's file name without
// its last extension (.tgz and .taz give .tar).
std::string nameFromArchive(const std::string& archiveFileName);

std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t code);

} // namespace gz
