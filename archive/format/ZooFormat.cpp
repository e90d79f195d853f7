#include "archive/format/ZooFormat.h"

#include <algorithm>

#include "platform/Endian.h"

namespace zoo {

using plat::le16;
using plat::le32;

namespace {

using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Stored", Codec::Stored, 0},
    {1, "Fastest", Codec::ZooLzw, 0},
    {2, "Greatest", Codec::LhaStatic, 13},
};

// The variable part of a type 2 entry: its size at 51, then at 56 the
// lengths of the long name and the folder, which follow from 58 on.
constexpr int kVarSizeAt = 51;
constexpr int kNameLenAt = 56;
constexpr int kDirLenAt = 57;

std::string upToZero(const char* p, std::size_t n) {
    return std::string(p, std::find(p, p + n, '\0'));
}

} // namespace

std::string Entry::Path() const {
    std::string path = Folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path + Name();
}

void parseArchiveHeader(const std::uint8_t* raw, ArchiveHeader& a) {
    a.FirstEntry = le32(raw + 24);
    a.Check = le32(raw + 28);
    a.CommentPos = le32(raw + 35);
    a.CommentLength = le16(raw + 39);
}

Status parseEntry(const std::uint8_t* raw, std::int64_t pos, Entry& e) {
    e = Entry{};
    e.Pos = pos;
    e.Tag = le32(raw);
    if (e.Tag != kTag) return Status::NotEntry;
    e.Type = raw[4];
    e.Method = raw[5];
    e.Next = static_cast<std::int32_t>(le32(raw + 6));
    e.DataPos = le32(raw + 10);
    e.DosDateTime = static_cast<std::uint32_t>(le16(raw + 16)) |
                    static_cast<std::uint32_t>(le16(raw + 14)) << 16;
    e.Crc = le16(raw + 18);
    e.UnpackedSize = le32(raw + 20);
    e.PackedSize = le32(raw + 24);
    e.MajorVersion = raw[28];
    e.MinorVersion = raw[29];
    e.Deleted = raw[30] != 0;
    e.CommentPos = le32(raw + 32);
    e.CommentLength = le16(raw + 36);
    e.ShortName = upToZero(reinterpret_cast<const char*>(raw + 38), 13);
    return Status::Ok;
}

Status readEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Entry& e) {
    std::uint8_t raw[kEntrySize2] = {};
    if (pos < 0 || pos + static_cast<std::int64_t>(kEntrySize) > fileSize ||
        !read(pos, raw, kEntrySize))
        return Status::Damaged;
    // The end of the chain may be a short entry at the end of the file.
    const auto more = static_cast<std::size_t>(std::min<std::int64_t>(
        kEntrySize2 - kEntrySize, fileSize - pos - static_cast<std::int64_t>(kEntrySize)));
    if (more && !read(pos + kEntrySize, raw + kEntrySize, more)) return Status::Damaged;
    const Status s = parseEntry(raw, pos, e);
    if (s != Status::Ok || e.Type != 2 || more < kEntrySize2 - kEntrySize) return s;

    const std::uint16_t varSize = le16(raw + kVarSizeAt);
    const std::size_t nameLen = raw[kNameLenAt];
    const std::size_t dirLen = raw[kDirLenAt];
    if (varSize < 2 || nameLen + dirLen + 2 > varSize) return Status::Ok;
    const std::int64_t at = pos + static_cast<std::int64_t>(kEntrySize2);
    if (at + static_cast<std::int64_t>(nameLen + dirLen) > fileSize) return Status::Ok;
    std::string both(nameLen + dirLen, '\0');
    if (!both.empty() && !read(at, both.data(), both.size())) return Status::Ok;
    e.LongName = upToZero(both.data(), nameLen);
    e.Folder = upToZero(both.data() + nameLen, dirLen);
    return Status::Ok;
}

std::string readText(const ReadAt& read, std::uint32_t pos, std::uint16_t length,
                     std::int64_t fileSize) {
    if (length == 0 || static_cast<std::int64_t>(pos) + length > fileSize) return {};
    std::string s(length, '\0');
    if (!read(pos, s.data(), length)) return {};
    return s;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint8_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace zoo
