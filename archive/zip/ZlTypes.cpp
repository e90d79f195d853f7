#include "archive/zip/ZlTypes.h"

std::uint8_t ZlPercentage(std::int64_t Part, std::int64_t Whole) {
    if (Whole > 16384000) {
        Part = (Part + 128) / 256;
        Whole = (Whole + 128) / 256;
    }
    if (Whole <= 0) return 0;
    if (Whole <= Part) return 100;
    return static_cast<std::uint8_t>(Part * 100 / Whole);
}

int ZlDeflateLevel(TZlZipDeflationOption Option) {
    switch (Option) {
    case doMaximum:
        return 9;
    case doFast:
        return 3;
    case doSuperFast:
        return 1;
    default:
        return 5;
    }
}
