// The decoders of the early ZIP methods.  Each reads the member through a
// MemberInput and writes through an OutputSink; failures throw E_RAISE with
// the decoder error code.  Memory use is fixed, whatever the sizes claim.
#pragma once

#include <cstdint>

#include "archive/extract/DecodeIO.h"

namespace unz {

// Method 1: dynamic LZW with partial clearing.
void Unshrink(MemberInput& in, OutputSink& out);

// Methods 2 to 5 (factor 1 to 4).  Decodes until `unpackedSize` bytes were
// produced or the compressed bytes ran out.
void Unreduce(MemberInput& in, OutputSink& out, int factor, std::uint64_t unpackedSize);

// Method 6.  `flags` are the member's general-purpose flags (bit 1: 8 KB
// window, bit 2: literal tree).
void Explode(MemberInput& in, OutputSink& out, std::uint16_t flags, std::uint64_t unpackedSize);

// Method 0: the block copier.
void CopyStored(MemberInput& in, OutputSink& out);

} // namespace unz
