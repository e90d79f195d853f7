// The plug-in interface of the lister: one directory reader per format
// family.
//
// HOW TO ADD A READER
//   1. Write archive/list/<Family>Reader.cpp (the file name must end in
//      "Reader.cpp"; DirectoryReader.cpp is reserved).  CMake globs these
//      files and generates a table that calls, for each of them,
//          void register<Family>Reader(DirectoryReaderTable& table);
//      (for ArjReader.cpp: registerArjReader).  Define exactly that function
//      at namespace scope, not static.  The generated table references it,
//      so the reader is linked even from the static library; a missing or
//      misnamed function is a link error, never a silently absent reader.
//   2. In it, add a factory for the archive types the reader serves:
//          table.add({atARJ, atArjExe}, [](TArcLister& l) {
//              return std::unique_ptr<DirectoryReader>(new ArjReader(l)); });
//
// THE WALK (TArcLister::Activate)
//   - Activate clears the record and the totals, starts CurrentPos at
//     ArchiveStart and EndLimit at ArchiveSize, then calls prepare();
//   - the walk starts reading at ReadPos = CurrentPos - 1 (0-based) and goes
//     on while a whole fixed header fits below EndLimit.  For each header
//     the frame reads HeaderSize bytes at ReadPos into lister.Header(),
//     points CurrentPos at them (1-based), moves ReadPos behind them, clears
//     the member record and calls headerStep();
//   - headerStep() either moves ReadPos to the next header or calls
//     lister.EndWalk().  The frame ends the walk when a step leaves ReadPos
//     at or before the header it read, so a step can never loop forever.
//   - to list a member: fill the record (FileName, sizes, Ratio, ...), call
//     lister.CountMember(...) when it counts, then
//     lister.ReportMember(offset of its header, 0-based).
//   - a reader that moves to another volume of a set uses
//     lister.OpenVolume(path), then sets ArchiveSize, EndLimit and ReadPos
//     for the new file (ReadPos may then lie anywhere in it).
//   - reads beyond the fixed header go through lister.ReadBytes /
//     ReadZString (bounded, never past the end of the file); a reader
//     never allocates more than the file size allows.
//   - fatal errors: lister.Fail(code) (reports and throws; Activate catches
//     it and returns false).  Report-only: lister.Report(code).
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>

#include "archive/list/ArcLister.h"
#include "platform/Endian.h"

class DirectoryReader {
public:
    explicit DirectoryReader(TArcLister& Lister) : L(Lister) {}
    virtual ~DirectoryReader() = default;

    // Sets HeaderSize and the first CurrentPos (1-based), may set EndLimit
    // (0 lists nothing) and ArchiveComment.
    virtual void prepare() = 0;
    // Interprets the HeaderSize bytes in L.Header() read at CurrentPos - 1.
    virtual void headerStep() = 0;

protected:
    TArcLister& L;
};

using DirectoryReaderFactory = std::function<std::unique_ptr<DirectoryReader>(TArcLister&)>;

class DirectoryReaderTable {
public:
    void add(std::initializer_list<TArcType> Types, DirectoryReaderFactory Factory);
    // Null when no reader serves the type.
    std::unique_ptr<DirectoryReader> make(TArcType Type, TArcLister& Lister) const;

    // The table with every reader of the library registered.
    static const DirectoryReaderTable& instance();

private:
    DirectoryReaderFactory factories_[kArcTypeCount];
};

// Sizes and offsets a header states are taken up to 2^60 bytes: far beyond
// any real archive, and small enough that sums of a few never overflow.
constexpr std::int64_t kMaxStatedSize = std::int64_t{1} << 60;
inline std::int64_t statedSize(std::uint64_t v) {
    return v > static_cast<std::uint64_t>(kMaxStatedSize) ? kMaxStatedSize
                                                          : static_cast<std::int64_t>(v);
}

// Little-endian field access for the readers.
using plat::le16;
using plat::le32;
using plat::le64;
