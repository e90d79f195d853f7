// What every family module shares: the method table entries and stored
// names.  Each family's module has a table of methods; the lister's method
// names, the extractors' "can this member be decoded" check and their
// decoder choice all come from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fmt {

// The shared decoders.  A method names the one that decodes it; None means
// no decoder of the program reads it.
enum class Codec : std::uint8_t {
    None,
    Stored,      // a plain copy
    Unshrink,    // dynamic LZW with partial clearing (ZIP 1)
    Unreduce,    // probabilistic follower sets with an LZ expander (ZIP 2 to 5)
    Explode,     // Shannon-Fano trees over a 4 or 8 KB window (ZIP 6)
    Inflate,     // Deflate
    LhaStatic,   // static Huffman sliding dictionary (lh4 to lh7, ARJ 1 to 3)
    Lzhuf,       // adaptive Huffman (lh1)
    Lzs,         // LArc lzs
    Lz5,         // LArc lz5
    ArjFast,     // ARJ method 4
    ArcPacked,   // run-length (ARC 3)
    ArcSqueezed, // run-length over Huffman (ARC 4)
    ArcCrunched, // run-length over LZW, 12 bits (ARC 5 to 8)
    ArcSquashed, // LZW, 13 bits (ARC 9)
    ZooLzw,      // ZOO method 1
    CompressLzw, // compress (.Z): LZW with 9 to 16 bit codes, block mode
    Gzip,        // whole GZIP members: header, Deflate, trailer, one after another
    Bzip2,       // bzip2 streams (libbz2)
    Xz,          // xz streams (liblzma)
    Lzip,        // lzip members (liblzma)
    Lzma,        // ZIP's LZMA: version, properties, then raw LZMA data (liblzma)
    Zstd,        // Zstandard frames (libzstd)
    Count
};

struct MethodInfo {
    std::uint32_t Code;   // the family's raw method value
    const char* Name;     // shown in listings
    Codec Decoder;        // how members of this method are decoded
    std::uint8_t Variant; // decoder parameter (ZIP reduce factor, LHA window bits, ...)
};

// The entry for a code; null when the table has none.
const MethodInfo* findMethod(std::span<const MethodInfo> table, std::uint32_t code);

// A stored name as the program shows and extracts it: bytes up to the
// first zero, kept when valid UTF-8, else decoded from CP437, with every
// '\' turned into '/'.
std::string storedName(std::string_view raw);
// A comment's text: up to its first zero byte, decoded the same way.
std::string commentText(std::string_view raw);

} // namespace fmt
