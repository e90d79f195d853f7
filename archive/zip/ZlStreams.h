// Streams of the ZIP library: the interface the compressor and the archive
// model read and write through, with a disk-file stream and a memory
// stream.  Positions and sizes are 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/core/Rtl.h"
#include "platform/File.h"

constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

// File-open modes.  Share modes are not enforced on this platform.
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyNone = 0x0040;
constexpr std::uint16_t fmCreate = 0xFFFF;

class TZlStream : public TObject {
public:
    // Reads up to Count bytes and returns the count read, 0 at the end;
    // a failing read raises EInOutError.
    virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
    // Writes up to Count bytes and returns the count written; less means
    // the medium is full or failing.
    virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;
    // Moves to Offset from Origin (soFrom...) and returns the new position.
    virtual std::int64_t Seek(std::int64_t Offset, int Origin) = 0;
    virtual void SetSize(std::int64_t NewSize) = 0;
    virtual std::int64_t Size();
    // Writes out buffered data; EZlZipStreamFull when that fails.
    virtual void Flush() {}

    std::int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, soFromBeginning); }
    // Whole transfers: a short read raises EReadError, a short write
    // EZlZipStreamFull.
    void ReadBuffer(void* Buffer, std::size_t Count);
    void WriteBuffer(const void* Buffer, std::size_t Count);
};

class TZlFileStream : public TZlStream {
public:
    // Opens or (with fmCreate) creates the file; EFOpenError or
    // EFCreateError when that fails.
    TZlFileStream(const std::string& FileName, std::uint16_t Mode);

    std::size_t Read(void* Buffer, std::size_t Count) override;
    std::size_t Write(const void* Buffer, std::size_t Count) override;
    std::int64_t Seek(std::int64_t Offset, int Origin) override;
    void SetSize(std::int64_t NewSize) override;
    std::int64_t Size() override;
    void Flush() override;
    // Closes the file; EZlZipStreamFull when pending data cannot be written.
    void Close();
    // Copies Count bytes of Source from SourcePos to this stream's position
    // (inside the kernel where it can); returns the count copied, less at
    // the end of Source.
    std::uint64_t CopyFrom(TZlFileStream& Source, std::int64_t SourcePos, std::uint64_t Count);
    int Descriptor() const { return f_.descriptor(); }

    const std::string& FileName() const { return name_; }

private:
    plat::File f_;
    std::string name_;
};

class TZlMemoryStream : public TZlStream {
public:
    std::size_t Read(void* Buffer, std::size_t Count) override;
    std::size_t Write(const void* Buffer, std::size_t Count) override;
    std::int64_t Seek(std::int64_t Offset, int Origin) override;
    void SetSize(std::int64_t NewSize) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(Data.size()); }

    std::vector<std::uint8_t> Data;

private:
    std::int64_t pos_ = 0;
};
