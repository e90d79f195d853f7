// ARC's decoders under hostile input.  The first byte picks the method
// (packed, squeezed, crunched 5 to 8, squashed) and the claimed unpacked
// size; the rest is the stream.
#include "fuzz/CountingSink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    struct Method {
        fmt::Codec codec;
        std::uint8_t variant;
    };
    static constexpr Method kMethods[8] = {
        {fmt::Codec::ArcPacked, 0},   {fmt::Codec::ArcSqueezed, 0}, {fmt::Codec::ArcCrunched, 5},
        {fmt::Codec::ArcCrunched, 6}, {fmt::Codec::ArcCrunched, 7}, {fmt::Codec::ArcCrunched, 8},
        {fmt::Codec::ArcSquashed, 0}, {fmt::Codec::ArcCrunched, 8},
    };
    const Method& m = kMethods[data[0] & 7];
    dec::Params p;
    p.Variant = m.variant;
    p.Size = (data[0] & 8) ? (std::uint64_t{1} << 62) : std::uint64_t{data[0]} << 10;
    fuzzDecode(m.codec, data + 1, size - 1, p);
    return 0;
}
