// The members of an LHA archive file with their compressed bytes, read
// through the LHA module, for decoder tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "archive/format/LhaFormat.h"
#include "tests/support/DecoderHarness.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct LhaMember {
    lha::Header h;
    std::vector<std::uint8_t> data;
};

// Members from the first header on (a self-extracting program's code is
// passed over); stops at the end mark or at a damaged header.
inline std::vector<LhaMember> lhaMembers(const std::string& path) {
    const std::vector<std::uint8_t> file = readFile(path);
    const auto size = static_cast<std::int64_t>(file.size());
    auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > size) return false;
        std::memcpy(buf, file.data() + pos, n);
        return true;
    };
    std::vector<LhaMember> out;
    lha::Header h;
    std::int64_t pos = 0;
    while (pos + 22 <= size && lha::readHeader(read, pos, size, h) != lha::Status::Ok) ++pos;
    while (lha::readHeader(read, pos, size, h) == lha::Status::Ok && h.NextPos() <= size) {
        out.push_back(
            {h, std::vector<std::uint8_t>(file.begin() + h.DataPos(), file.begin() + h.NextPos())});
        pos = h.NextPos();
    }
    return out;
}

// The method table's entry of a member; null for methods it lacks.
inline const fmt::MethodInfo* lhaMethod(const lha::Header& h) {
    return fmt::findMethod(lha::methods(), h.MethodCode());
}

// Decodes a member with its method's decoder.
inline DecodeResult decodeLhaMember(const LhaMember& m) {
    const fmt::MethodInfo* info = lhaMethod(m.h);
    if (!info) return {err::UnsupportedMethod, {}};
    return decodeWith(info->Decoder, m.data,
                      params(static_cast<std::uint64_t>(m.h.UnpackedSize), 0, info->Variant));
}

} // namespace testsupport
