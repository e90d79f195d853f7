#include "archive/zip/ZipRecords.h"

void TZlZipDirectoryFileHeader::Assign(const zip::CentralHeader& h, std::string Name,
                                       std::string Extra, std::string Comment) {
    Signature = ValidSignature;
    VersionMadeBy = h.VersionMadeBy;
    VersionNeededToExtract = h.VersionNeeded;
    GeneralPurposeBitFlag = h.Flags;
    CompressionMethod = h.Method;
    LastModFileTime = static_cast<std::uint16_t>(h.DosDateTime);
    LastModFileDate = static_cast<std::uint16_t>(h.DosDateTime >> 16);
    CRC32 = h.Crc;
    CompressedSize = h.PackedSize;
    UncompressedSize = h.UnpackedSize;
    DiskNumberStart = h.DiskStart;
    InternalFileAttributes = h.InternalAttr;
    ExternalFileAttributes = h.ExternalAttr;
    RelativeOffsetOfLocalHeader = h.LocalOffset;
    FileName = std::move(Name);
    ExtraField = std::move(Extra);
    FileComment = std::move(Comment);
}

zip::CentralHeader TZlZipDirectoryFileHeader::ToCentral() const {
    zip::CentralHeader h;
    h.VersionMadeBy = VersionMadeBy;
    h.VersionNeeded = VersionNeededToExtract;
    h.Flags = GeneralPurposeBitFlag;
    h.Method = CompressionMethod;
    h.DosDateTime = DosDateTime();
    h.Crc = CRC32;
    h.PackedSize = CompressedSize;
    h.UnpackedSize = UncompressedSize;
    h.DiskStart = DiskNumberStart;
    h.InternalAttr = InternalFileAttributes;
    h.ExternalAttr = ExternalFileAttributes;
    h.LocalOffset = RelativeOffsetOfLocalHeader;
    return h;
}

zip::LocalHeader TZlZipDirectoryFileHeader::ToLocal() const {
    zip::LocalHeader h;
    h.VersionNeeded = VersionNeededToExtract;
    h.Flags = GeneralPurposeBitFlag;
    h.Method = CompressionMethod;
    h.DosDateTime = DosDateTime();
    h.Crc = CRC32;
    h.PackedSize = CompressedSize;
    h.UnpackedSize = UncompressedSize;
    return h;
}
