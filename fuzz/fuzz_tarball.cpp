// Compressed TAR archives under hostile input, through the decoded stream
// the TAR walk reads.  The first byte chooses: odd, the rest is a TAR
// archive put into a GZIP file of stored Deflate blocks (so the fuzzer
// shapes headers, long names, pax records and sparse maps that arrive
// through the stream); even, the rest is the compressed file itself (gzip,
// bzip2, xz, lzip, Zstandard or compress, found by detection).  One file
// name for all: the work folder must hold nothing else.
#include <algorithm>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/extract/UnGZIP.h"
#include "archive/extract/UnTAR.h"
#include "fuzz/ExtractorFuzz.h"

namespace {

std::vector<std::uint8_t> storedGzip(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> v = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(size - at, 65535);
        v.push_back(at + n == size ? 1 : 0);
        v.push_back(static_cast<std::uint8_t>(n));
        v.push_back(static_cast<std::uint8_t>(n >> 8));
        v.push_back(static_cast<std::uint8_t>(~n));
        v.push_back(static_cast<std::uint8_t>(~n >> 8));
        v.insert(v.end(), data + at, data + at + n);
        at += n;
    } while (at < size);
    const std::uint32_t crc = crc32Of(data, size);
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    if (data[0] & 1) {
        const auto gz = storedGzip(data + 1, size - 1);
        fuzzExtract<TUnTAR>(gz.data(), gz.size(), "in.c");
    } else if (data[0] & 2) {
        fuzzExtract<TUnTAR>(data + 1, size - 1, "in.c");
    } else {
        // Single compressed files that hold no TAR archive.
        fuzzExtract<TUnGZIP>(data + 1, size - 1, "in.c");
    }
    return 0;
}
