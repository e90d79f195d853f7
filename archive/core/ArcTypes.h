// Archive kinds, enumerations and event signatures of the archive components.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/core/Rtl.h"

// Ordinals are fixed: they are stored and compared numerically.
enum TArcType : std::uint8_t {
    atNA,
    atUnsupported,
    atFileError,
    atUnknown,
    atARC,
    atArcExe,
    atARJ,
    atArjExe,
    atBH,
    atBHExe,
    atCAB,
    atGZip,
    atHA,
    atLHA,
    atLhaExe,
    atLZH,
    atLzhExe,
    atPAK,
    atPakExe,
    atRAR,
    atRarExe,
    atTAR,
    atZIP,
    atZipExe,
    atZip250,
    atZip250Exe,
    atZOO,
    // Kinds the original did not know: compressed TAR archives and the
    // single-file compressors of today.
    atTarGz,
    atTarBz2,
    atTarXz,
    atTarLz,
    atTarZst,
    atTarZ,
    atBzip2,
    atXz,
    atLzip,
    atZstd,
};

constexpr int kArcTypeCount = atZstd + 1;

extern const std::array<const char*, kArcTypeCount> ArcTypeNames;

// The display name without its padding.
std::string arcTypeDisplayName(TArcType t);
bool isZipType(TArcType t);
// A TAR archive inside a compressed stream (TAR+GZ ... TAR+Z).
bool isTarballType(TArcType t);
// A single compressed file: GZIP and its 0x1F relatives, bzip2, xz, lzip
// and Zstandard.
bool isCompressedFileType(TArcType t);
// The tarball kind for a compressed file that holds a TAR archive.
TArcType tarballTypeOf(TArcType compressed);

enum TProgressNotify : std::uint8_t { Five, Ten, Fifteen, Twenty, TwentyFive };
enum TSetDate : std::uint8_t { OrigDate, CurDate };
enum TSwitch : std::uint8_t { swAdd, swMove, swDelete, swRead };
enum TCompressMethod : std::uint8_t { mtStore, mtDeflate, mtFuse, mtFrozen, mtGreatest, mtFastest };

using TOnRead = std::function<void(TObject* Sender, std::int64_t Offset, int Filenum)>;
using TOnTotals = std::function<void(TObject* Sender, int NumFiles)>;
using TOnBegin =
    std::function<void(TObject* Sender, const std::string& FN, int RecNum, bool& Extract)>;
using TOnEnd = std::function<void(TObject* Sender, const std::string& FN, bool CRC_PASS)>;
using TOnError = std::function<void(TObject* Sender, const std::string& FN,
                                    const std::string& VolumeID, int ECode)>;
using TOnFileExists =
    std::function<void(TObject* Sender, const std::string& FN, TDateTime FileDate, bool& Accept)>;
using TOnGetPassword = std::function<void(TObject* Sender, const std::string& FN,
                                          std::string& Password, bool& TryAgain)>;
using TOnProgress =
    std::function<void(TObject* Sender, const std::string& FN, std::uint8_t Progress)>;
using TOnReplaceFile = std::function<void(
    TObject* Sender, const std::string& FN, TDateTime OldDate, TDateTime NewDate,
    std::int64_t OldFileSize, std::int64_t NewFileSize, int OldAttr, int NewAttr, bool& Replace)>;
using TOnRecurseDir = std::function<void(TObject* Sender, const std::string& Directory)>;
using TOnNextCabinet = std::function<void(TObject* Sender, const std::string& FN,
                                          const std::string& VolumeID, bool& Cancel)>;
