// Enumerations and small helpers shared by the ZIP library's classes.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

enum TZlZipDeflationOption : std::uint8_t {
    doInvalid = 0,
    doNormal = 1,
    doMaximum = 2,
    doFast = 3,
    doSuperFast = 4,
};

enum TZlZipSupportedMethod : std::uint8_t {
    smStored = 0,
    smDeflated = 1,
    smBestMethod = 2,
};

// How members are encrypted when a password is set: traditional PKWARE
// encryption (weak; for old tools) or WinZip AES (AE-2) with a 128 or
// 256-bit key.
enum TZlZipEncryption : std::uint8_t {
    zeTraditional = 0,
    zeAes128 = 1,
    zeAes256 = 2,
};

enum TZlArchiveState : std::uint8_t {
    stInvalid = 0,
    stIdle = 1,
    stBusy = 2,
};

enum TZlStoreOption : std::uint8_t {
    soStripDrive,
    soStripPath,
    soRemoveDots,
    soRecurse,
};

enum TZlExtractOption : std::uint8_t {
    eoCreateDirs,
    eoRestorePath,
};

enum TZlProcessType : std::uint8_t {
    ptAdd = 0,
    ptDelete = 1,
    ptExtract = 2,
    ptFreshen = 3,
    ptMove = 4,
};

// What stopped a member: one of the library's exceptions (the code is its
// message number), an operating-system I/O error (the code is its errno
// value), or another failure (code 0).
enum TZlErrorClass : std::uint8_t {
    ecLibrary = 0,
    ecInOutError = 1,
    ecFilerError = 2,
    ecFileCreateError = 3,
    ecFileOpenError = 4,
    ecOther = 5,
};

// A set of a small enumeration's values.
template <typename E> class TZlSet {
public:
    constexpr TZlSet() = default;
    constexpr TZlSet(std::initializer_list<E> values) {
        for (E v : values) Include(v);
    }
    constexpr bool Contains(E v) const { return bits_ & bit(v); }
    constexpr void Include(E v) { bits_ |= bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~bit(v); }
    constexpr bool operator==(const TZlSet&) const = default;

private:
    static constexpr std::uint32_t bit(E v) { return std::uint32_t{1} << static_cast<unsigned>(v); }
    std::uint32_t bits_ = 0;
};

using TZlStoreOptions = TZlSet<TZlStoreOption>;
using TZlExtractOptions = TZlSet<TZlExtractOption>;

// Progress within one member: a percentage, and Abort to stop.
using TZlProgressEvent = std::function<void(std::uint8_t Progress, bool& Abort)>;

// Part of Whole in percent (0..100); large values are scaled down first so
// that the product cannot overflow.
std::uint8_t ZlPercentage(std::int64_t Part, std::int64_t Whole);

// The Deflate level of a deflation option (5 for anything unknown).
int ZlDeflateLevel(TZlZipDeflationOption Option);
