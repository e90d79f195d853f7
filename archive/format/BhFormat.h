// BH archives: a 37-byte header and the name in front of each member's
// data.  The lister and the extractor read BH archives through this module.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive/format/Format.h"

namespace bh {

constexpr std::uint32_t kSignature = 0x07054842; // "BH" 5 7
constexpr std::size_t kFixedSize = 37;
constexpr std::uint8_t kFlagEncrypted = 0x01;

// Positioned read of exactly n bytes; false on error or short read.
using ReadAt = std::function<bool(std::int64_t pos, void* buf, std::size_t n)>;

struct Header {
    std::int64_t Pos = 0;
    std::uint16_t HeaderLength = 0;
    std::uint8_t VersionMadeBy = 0, VersionNeeded = 0;
    std::uint8_t Flags = 0;
    std::uint8_t Method = 0;
    std::uint32_t DosDateTime = 0; // time in the low word
    std::uint32_t PackedSize = 0, UnpackedSize = 0;
    // CRC-32 of the data, kept without the final complement.
    std::uint32_t Crc = 0;
    std::uint16_t Attributes = 0;
    std::string Name; // raw bytes

    bool Encrypted() const { return Flags & kFlagEncrypted; }
    std::int64_t DataPos() const {
        return Pos + static_cast<std::int64_t>(kFixedSize + Name.size());
    }
    std::int64_t NextPos() const { return DataPos() + PackedSize; }
    std::string Path() const { return fmt::storedName(Name); }
};

enum class Status {
    Ok,
    End, // no further header: another signature, a zero header length or the end of the file
};

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h);

std::span<const fmt::MethodInfo> methods();
std::string methodName(std::uint32_t method);

} // namespace bh
