// The records of a ZIP archive as the library holds them.  Each knows its
// valid signature and keeps the one actually read; the byte layouts are
// read and written by the ZIP format module.
#pragma once

#include <cstdint>
#include <string>

#include "archive/format/ZipFormat.h"

// The fields the local and the central header share, in file order.
struct TZlZipFileHeader {
    std::uint32_t Signature = 0;
    std::uint16_t VersionNeededToExtract = 0;
    std::uint16_t GeneralPurposeBitFlag = 0;
    std::uint16_t CompressionMethod = 0;
    std::uint16_t LastModFileTime = 0;
    std::uint16_t LastModFileDate = 0;
    std::uint32_t CRC32 = 0;
    // 64-bit here; values that do not fit 32 bits travel in ZIP64 fields.
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::string FileName;
    std::string ExtraField;

    std::uint32_t DosDateTime() const {
        return std::uint32_t{LastModFileDate} << 16 | LastModFileTime;
    }
};

struct TZlZipLocalFileHeader : TZlZipFileHeader {
    static constexpr std::uint32_t ValidSignature = zip::kLocalSig;
    TZlZipLocalFileHeader() { Signature = ValidSignature; }
    bool IsValid() const { return Signature == ValidSignature; }
};

struct TZlZipDirectoryFileHeader : TZlZipFileHeader {
    static constexpr std::uint32_t ValidSignature = zip::kCentralSig;
    TZlZipDirectoryFileHeader() { Signature = ValidSignature; }
    bool IsValid() const { return Signature == ValidSignature; }

    std::uint16_t VersionMadeBy = 0;
    std::uint32_t DiskNumberStart = 0;
    std::uint16_t InternalFileAttributes = 0;
    std::uint32_t ExternalFileAttributes = 0;
    std::uint64_t RelativeOffsetOfLocalHeader = 0;
    std::string FileComment;

    // Takes the record's values from a parsed central header and its name,
    // extra field and comment (ZIP64 values already applied).
    void Assign(const zip::CentralHeader& h, std::string Name, std::string Extra,
                std::string Comment);
    // The record as the format module writes it.
    zip::CentralHeader ToCentral() const;
    // The local record that goes with this one: versions needed, flags,
    // method, time, date, CRC-32, sizes, name and extra field.
    zip::LocalHeader ToLocal() const;
};

struct TZlZipDirectoryFileFooter {
    static constexpr std::uint32_t ValidSignature = zip::kEndSig;
    std::uint32_t Signature = ValidSignature;
    bool IsValid() const { return Signature == ValidSignature; }

    std::uint32_t NumberOfThisDisk = 0;
    std::uint32_t DiskWithDirectory = 0;
    std::uint64_t EntriesOnThisDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t DirectorySize = 0;
    std::uint64_t DirectoryOffset = 0;
    std::string Comment;
};

// Written after a member whose flag bit 3 is set, without its signature.
struct TZlZipDataDescriptor {
    std::uint32_t CRC32 = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
};
