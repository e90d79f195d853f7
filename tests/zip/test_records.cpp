// The ZIP record writers: byte layouts, the ZIP64 thresholds, and round
// trips through the same module's readers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/format/ZipFormat.h"
#include "platform/Endian.h"

using plat::le16;
using plat::le32;
using plat::le64;

namespace {

using Bytes = std::vector<std::uint8_t>;

zip::CentralHeader central(std::uint64_t packed, std::uint64_t unpacked, std::uint64_t offset,
                           std::uint32_t disk = 0) {
    zip::CentralHeader h;
    h.VersionMadeBy = 0x0314;
    h.VersionNeeded = 20;
    h.Flags = 0x0800;
    h.Method = 8;
    h.DosDateTime = 0x52CF5A8F;
    h.Crc = 0xDEADBEEF;
    h.PackedSize = packed;
    h.UnpackedSize = unpacked;
    h.DiskStart = disk;
    h.InternalAttr = 1;
    h.ExternalAttr = 0100644u << 16 | 0x20;
    h.LocalOffset = offset;
    return h;
}

// Parses a central record the way the readers do.
zip::CentralHeader reparse(const Bytes& b, std::string* name = nullptr) {
    zip::CentralHeader h;
    EXPECT_TRUE(zip::parseCentral(b.data(), h));
    EXPECT_EQ(b.size(), h.TotalLength());
    zip::applyZip64Extra(std::span(b.data() + zip::kCentralSize + h.NameLength, h.ExtraLength), h);
    if (name)
        name->assign(reinterpret_cast<const char*>(b.data()) + zip::kCentralSize, h.NameLength);
    return h;
}

TEST(ZipRecords, CentralHeaderLayout) {
    Bytes b;
    zip::appendCentral(b, central(100, 200, 300), "dir/a.txt", "", "note");
    ASSERT_EQ(b.size(), zip::kCentralSize + 9 + 4);
    EXPECT_EQ(le32(&b[0]), zip::kCentralSig);
    EXPECT_EQ(le16(&b[4]), 0x0314);
    EXPECT_EQ(le16(&b[6]), 20);
    EXPECT_EQ(le16(&b[8]), 0x0800);
    EXPECT_EQ(le16(&b[10]), 8);
    EXPECT_EQ(le32(&b[12]), 0x52CF5A8Fu);
    EXPECT_EQ(le32(&b[16]), 0xDEADBEEFu);
    EXPECT_EQ(le32(&b[20]), 100u);
    EXPECT_EQ(le32(&b[24]), 200u);
    EXPECT_EQ(le16(&b[28]), 9);
    EXPECT_EQ(le16(&b[30]), 0);
    EXPECT_EQ(le16(&b[32]), 4);
    EXPECT_EQ(le16(&b[34]), 0);
    EXPECT_EQ(le16(&b[36]), 1);
    EXPECT_EQ(le32(&b[38]), 0100644u << 16 | 0x20);
    EXPECT_EQ(le32(&b[42]), 300u);
    EXPECT_EQ(std::string(b.begin() + 46, b.begin() + 55), "dir/a.txt");
    EXPECT_EQ(std::string(b.begin() + 55, b.end()), "note");
}

TEST(ZipRecords, LocalHeaderLayout) {
    zip::LocalHeader h;
    h.VersionNeeded = 20;
    h.Flags = 1;
    h.Method = 8;
    h.DosDateTime = 0x12345678;
    h.Crc = 0xCAFEF00D;
    h.PackedSize = 10;
    h.UnpackedSize = 20;
    Bytes b;
    zip::appendLocal(b, h, "n", std::string("\x55\x54\x01\x00\x07", 5));
    ASSERT_EQ(b.size(), zip::kLocalSize + 1 + 5);
    zip::LocalHeader back;
    ASSERT_TRUE(zip::parseLocal(b.data(), back));
    EXPECT_EQ(back.VersionNeeded, 20);
    EXPECT_EQ(back.Flags, 1);
    EXPECT_EQ(back.DosDateTime, 0x12345678u);
    EXPECT_EQ(back.Crc, 0xCAFEF00Du);
    EXPECT_EQ(back.PackedSize, 10u);
    EXPECT_EQ(back.UnpackedSize, 20u);
    EXPECT_EQ(back.NameLength, 1);
    EXPECT_EQ(back.ExtraLength, 5);
}

// Each field that passes its 32-bit (or 16-bit) limit goes to the ZIP64
// field, and the readers get the same values back; below the limits
// nothing ZIP64 is written.
TEST(ZipRecords, CentralZip64FieldsRoundTrip) {
    const std::uint64_t big = std::uint64_t{5} << 30, edge = 0xFFFFFFFFu, small = 0xFFFFFFFEu;
    struct Case {
        std::uint64_t packed, unpacked, offset;
        std::uint32_t disk;
        std::size_t extra;
    } cases[] = {
        {small, small, small, 0, 0},  {edge, 1, 1, 0, 12},    {1, edge, 1, 0, 12},
        {1, 1, big, 0, 12},           {big, big, big, 0, 28}, {1, 1, 1, 0xFFFF, 8},
        {big, big, big, 0x10000, 32},
    };
    for (const Case& c : cases) {
        Bytes b;
        zip::appendCentral(b, central(c.packed, c.unpacked, c.offset, c.disk), "big", "", "");
        std::string name;
        const zip::CentralHeader h = reparse(b, &name);
        EXPECT_EQ(name, "big");
        EXPECT_EQ(h.ExtraLength, c.extra) << c.packed << " " << c.unpacked << " " << c.offset;
        EXPECT_EQ(h.PackedSize, c.packed);
        EXPECT_EQ(h.UnpackedSize, c.unpacked);
        EXPECT_EQ(h.LocalOffset, c.offset);
        EXPECT_EQ(h.DiskStart, c.disk);
        EXPECT_EQ(h.VersionNeeded, c.extra ? 45 : 20);
    }
}

TEST(ZipRecords, LocalZip64CarriesBothSizes) {
    zip::LocalHeader h;
    h.PackedSize = 100;
    h.UnpackedSize = std::uint64_t{1} << 33;
    Bytes b;
    zip::appendLocal(b, h, "x", "");
    zip::LocalHeader back;
    ASSERT_TRUE(zip::parseLocal(b.data(), back));
    EXPECT_EQ(back.PackedSize, zip::kSaturated32);
    EXPECT_EQ(back.UnpackedSize, zip::kSaturated32);
    ASSERT_EQ(back.ExtraLength, 20);
    EXPECT_EQ(le16(&b[31]), zip::kZip64ExtraId);
    EXPECT_EQ(le64(&b[35]), std::uint64_t{1} << 33);
    EXPECT_EQ(le64(&b[43]), 100u);
    EXPECT_GE(back.VersionNeeded, 45);
}

// The end record is found by the reader's search with the values given;
// ZIP64 records appear exactly when a value needs them.
TEST(ZipRecords, EndRecordsRoundTrip) {
    struct Case {
        std::uint64_t entries, size, offset;
        bool zip64;
    } cases[] = {
        {3, 100, 1000, false},
        {0xFFFE, 100, 1000, false},
        {0xFFFF, 100, 1000, true},
        {70000, 100, 1000, true},
        {1, 100, std::uint64_t{6} << 30, true},
        {1, 0xFFFFFFFF, 1000, true},
    };
    for (const Case& c : cases) {
        Bytes file(64, 0xAA);
        zip::EndValues v;
        v.EntriesOnDisk = v.Entries = c.entries;
        v.DirSize = c.size;
        v.DirOffset = c.offset;
        zip::appendEnd(file, v, "comment", 64);
        auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
            if (pos < 0 ||
                pos + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(file.size()))
                return false;
            std::memcpy(buf, file.data() + pos, n);
            return true;
        };
        const auto e = zip::findEndRecord(read, static_cast<std::int64_t>(file.size()));
        ASSERT_TRUE(e);
        EXPECT_EQ(e->Zip64, c.zip64);
        EXPECT_EQ(e->Entries, c.entries);
        EXPECT_EQ(e->DirSize, c.size);
        EXPECT_EQ(e->DirOffset, c.offset);
        EXPECT_EQ(e->Comment, "comment");
        EXPECT_EQ(e->DirEnd, c.zip64 ? 64 : e->Pos);
    }
}

TEST(ZipRecords, DescriptorWidths) {
    Bytes a, b, c;
    zip::appendDescriptor(a, 1, 2, 3, false);
    zip::appendDescriptor(b, 1, 2, 3, true);
    zip::appendDescriptor(c, 1, 2, std::uint64_t{1} << 32, false);
    EXPECT_EQ(a.size(), 12u);
    EXPECT_EQ(b.size(), 16u);
    EXPECT_EQ(le32(&b[0]), zip::kDescriptorSig);
    EXPECT_EQ(c.size(), 20u);
    EXPECT_EQ(le64(&c[12]), std::uint64_t{1} << 32);
}

TEST(ZipRecords, ExtraBlocksAreRemovedByIdAndOthersKept) {
    const std::string ut("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
    const std::string z64("\x01\x00\x08\x00\x01\x02\x03\x04\x05\x06\x07\x08", 12);
    const std::string up("\x75\x70\x02\x00\x01\x41", 6);
    EXPECT_EQ(zip::withoutExtraBlocks(ut + z64 + up, {zip::kZip64ExtraId}), ut + up);
    EXPECT_EQ(zip::withoutExtraBlocks(z64 + up, {zip::kZip64ExtraId, zip::kUnicodePathExtraId}),
              "");
    // A block whose length runs past the field ends the walk.
    EXPECT_EQ(zip::withoutExtraBlocks(std::string("\x01\x00\x40\x00\x01", 5), {0x1234}),
              std::string("\x01\x00\x40\x00\x01", 5));
}

} // namespace
