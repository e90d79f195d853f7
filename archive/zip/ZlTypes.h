// Enumerations and small helpers shared by the ZIP library's classes.
#pragma once

#include <cstdint>
#include <functional>

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

// Progress within one member: a percentage, and Abort to stop.
using TZlProgressEvent = std::function<void(std::uint8_t Progress, bool& Abort)>;

// Part of Whole in percent (0..100); large values are scaled down first so
// that the product cannot overflow.
std::uint8_t ZlPercentage(std::int64_t Part, std::int64_t Whole);

// The Deflate level of a deflation option (5 for anything unknown).
int ZlDeflateLevel(TZlZipDeflationOption Option);
