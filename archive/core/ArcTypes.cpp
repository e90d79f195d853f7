#include "archive/core/ArcTypes.h"

const std::array<const char*, kArcTypeCount> ArcTypeNames = {
    "Not avail.", "Unsupport.", "File Error", "Unknown   ", "ARC       ", "ARC SFX   ",
    "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "GZip      ",
    "HA        ", "LHA       ", "LHA SFX   ", "LZH       ", "LZH SFX\t",  "PAK       ",
    "PAK SFX   ", "RAR       ", "RAR SFX   ", "TAR       ", "ZIP       ", "ZIP SFX   ",
    "ZIP250    ", "ZIP250 SFX", "ZOO       ", "TAR+GZ    ", "TAR+BZ2   ", "TAR+XZ    ",
    "TAR+LZ    ", "TAR+ZST   ", "TAR+Z     ", "BZip2     ", "XZ        ", "LZip      ",
    "Zstd      ",
};

std::string arcTypeDisplayName(TArcType t) {
    std::string s = ArcTypeNames[t];
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

bool isZipType(TArcType t) {
    return t == atZIP || t == atZipExe || t == atZip250 || t == atZip250Exe;
}

bool isTarballType(TArcType t) {
    return t >= atTarGz && t <= atTarZ;
}

bool isCompressedFileType(TArcType t) {
    return t == atGZip || (t >= atBzip2 && t <= atZstd);
}

TArcType tarballTypeOf(TArcType compressed) {
    switch (compressed) {
    case atGZip:
        return atTarGz;
    case atBzip2:
        return atTarBz2;
    case atXz:
        return atTarXz;
    case atLzip:
        return atTarLz;
    case atZstd:
        return atTarZst;
    default:
        return atUnknown;
    }
}
