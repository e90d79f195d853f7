// Members of the ZIP library's archive model: the generic archive item and
// the ZIP member, whose values live in its central-directory record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/core/Rtl.h"
#include "archive/zip/ZDecoder.h"
#include "archive/zip/ZipRecords.h"

enum TZlItemAction : std::uint8_t {
    iaFailed = 0,
    iaNone = 1,
    iaAdd = 2,
    iaDelete = 3,
    iaFreshen = 4,
    iaMove = 5,
};

class TZlArchiveItem : public TObject {
public:
    TZlItemAction Action = iaNone;
    std::string DiskFileName; // full path of the source file
    // A member being freshened: the member it replaces, marked for
    // deletion, which stays in the archive if this one fails.
    TZlArchiveItem* Replaces = nullptr;

    virtual std::uint64_t CompressedSize() const { return compressedSize_; }
    virtual std::string FileName() const { return fileName_; }
    virtual std::uint64_t UncompressedSize() const { return uncompressedSize_; }
    virtual void SetCompressedSize(std::uint64_t Value) { compressedSize_ = Value; }
    virtual void SetFileName(const std::string& Value) { fileName_ = Value; }
    virtual void SetUncompressedSize(std::uint64_t Value) { uncompressedSize_ = Value; }

    std::uint16_t LastModFileTime() const { return lastModFileTime_; }
    std::uint16_t LastModFileDate() const { return lastModFileDate_; }
    virtual void SetLastModFileTime(std::uint16_t Value) { lastModFileTime_ = Value; }
    virtual void SetLastModFileDate(std::uint16_t Value) { lastModFileDate_ = Value; }

protected:
    std::uint64_t compressedSize_ = 0;
    std::uint64_t uncompressedSize_ = 0;
    std::string fileName_;
    std::uint16_t lastModFileTime_ = 0;
    std::uint16_t lastModFileDate_ = 0;
};

class TZlZipItem : public TZlArchiveItem {
public:
    std::uint64_t CompressedSize() const override { return rec_.CompressedSize; }
    std::string FileName() const override { return rec_.FileName; }
    std::uint64_t UncompressedSize() const override { return rec_.UncompressedSize; }
    void SetCompressedSize(std::uint64_t Value) override { rec_.CompressedSize = Value; }
    // A name that is not plain ASCII is marked as UTF-8 (flag bit 11); a
    // copy of the old name in an extra field goes, since readers prefer it.
    void SetFileName(const std::string& Value) override;
    void SetUncompressedSize(std::uint64_t Value) override { rec_.UncompressedSize = Value; }
    void SetLastModFileTime(std::uint16_t Value) override {
        lastModFileTime_ = rec_.LastModFileTime = Value;
    }
    void SetLastModFileDate(std::uint16_t Value) override {
        lastModFileDate_ = rec_.LastModFileDate = Value;
    }

    std::uint16_t VersionMadeBy() const { return rec_.VersionMadeBy; }
    void SetVersionMadeBy(std::uint16_t Value) { rec_.VersionMadeBy = Value; }
    std::uint16_t VersionNeededToExtract() const { return rec_.VersionNeededToExtract; }
    void SetVersionNeededToExtract(std::uint16_t Value) { rec_.VersionNeededToExtract = Value; }
    std::uint16_t GeneralPurposeBitFlag() const { return rec_.GeneralPurposeBitFlag; }
    void SetGeneralPurposeBitFlag(std::uint16_t Value) { rec_.GeneralPurposeBitFlag = Value; }
    std::uint16_t CompressionMethod() const { return rec_.CompressionMethod; }
    void SetCompressionMethod(std::uint16_t Value) { rec_.CompressionMethod = Value & 0x7F; }
    std::uint32_t CRC32() const { return rec_.CRC32; }
    void SetCRC32(std::uint32_t Value) { rec_.CRC32 = Value; }
    std::uint32_t DiskNumberStart() const { return rec_.DiskNumberStart; }
    void SetDiskNumberStart(std::uint32_t Value) { rec_.DiskNumberStart = Value; }
    std::uint16_t InternalFileAttributes() const { return rec_.InternalFileAttributes; }
    void SetInternalFileAttributes(std::uint16_t Value) { rec_.InternalFileAttributes = Value; }
    std::uint32_t ExternalFileAttributes() const { return rec_.ExternalFileAttributes; }
    void SetExternalFileAttributes(std::uint32_t Value) { rec_.ExternalFileAttributes = Value; }
    std::uint64_t RelativeOffsetOfLocalHeader() const { return rec_.RelativeOffsetOfLocalHeader; }
    void SetRelativeOffsetOfLocalHeader(std::uint64_t Value) {
        rec_.RelativeOffsetOfLocalHeader = Value;
    }
    const std::string& ExtraField() const { return rec_.ExtraField; }
    void SetExtraField(const std::string& Value) { rec_.ExtraField = Value; }
    const std::string& FileComment() const { return rec_.FileComment; }
    void SetFileComment(const std::string& Value) { rec_.FileComment = Value; }

    bool IsEncrypted() const { return rec_.GeneralPurposeBitFlag & 1; }
    // Imploded members: dictionary size (2 = 8 KiB) and Shannon-Fano trees.
    int DictionarySize() const;
    int ShannonFanoTrees() const;

    // The whole record, for reading and writing it.
    TZlZipDirectoryFileHeader& Record() { return rec_; }
    const TZlZipDirectoryFileHeader& Record() const { return rec_; }

    // The member's cipher while it is being encrypted.
    std::unique_ptr<TZlMemberCipher> Decoder;

private:
    TZlZipDirectoryFileHeader rec_;
};
