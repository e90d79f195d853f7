// CAB, BH, TAR, GZIP, compress, HA and RAR directories: archives made by
// peer tools at test time, hand-built headers for the edge cases, and
// cabinet sets.
#include <gtest/gtest.h>

#include <map>

#include "archive/core/Crc.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "support/TempDir.h"
#include "test_list_support.h"
#include "tests/support/ZipBuilder.h"

using listtest::list;
using testsupport::haveTool;
using testsupport::TempDir;
using ziptest::Bytes;
constexpr auto p16 = testsupport::put16;
constexpr auto p32 = testsupport::put32;
constexpr auto pstr = testsupport::putStr;

namespace {

int sh(const TempDir& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir.path() + "' && (" + cmd + ") >/dev/null 2>&1");
}

struct Input {
    std::string name, data;
    std::int64_t mtime;
};

std::vector<Input> inputs(const TempDir& dir) {
    std::vector<Input> in = {{"alpha.txt", std::string(2000, 'a') + "!", 1000000000},
                             {"sub/beta.dat", "beta contents", 1100000000},
                             {"gamma.bin", std::string("\0\1\2\3", 4), 1200000000}};
    for (auto& f : in) {
        listtest::spit(dir / ("src/" + f.name), f.data);
        listtest::touch(dir / ("src/" + f.name), f.mtime);
    }
    return in;
}

std::map<std::string, listtest::Member> byName(const listtest::Listing& r) {
    std::map<std::string, listtest::Member> out;
    for (const auto& m : r.members) out[m.name] = m;
    return out;
}

std::int64_t absDiff(std::int64_t a, std::int64_t b) {
    return a > b ? a - b : b - a;
}

} // namespace

// ---- cabinets ----

TEST(CabDirectory, GcabStoredAndMszip) {
    if (!haveTool("gcab")) GTEST_SKIP() << "gcab not installed";
    TempDir dir;
    auto in = inputs(dir);
    ASSERT_EQ(sh(dir, "cd src && gcab -c ../s.cab alpha.txt sub/beta.dat gamma.bin"), 0);
    ASSERT_EQ(sh(dir, "cd src && gcab -c -z ../z.cab alpha.txt sub/beta.dat gamma.bin"), 0);
    for (std::string name : {"s.cab", "z.cab"}) {
        auto r = list(dir / name);
        ASSERT_TRUE(r.ok) << name;
        EXPECT_EQ(r.type, atCAB);
        ASSERT_EQ(r.members.size(), in.size()) << name;
        auto got = byName(r);
        for (const auto& f : in) {
            ASSERT_TRUE(got.count(f.name)) << f.name;
            const auto& m = got[f.name];
            EXPECT_EQ(m.unpacked, static_cast<std::int64_t>(f.data.size()));
            EXPECT_EQ(m.packed, m.unpacked);
            EXPECT_EQ(m.ratio, 0);
            EXPECT_EQ(m.crc, 0u);
            EXPECT_EQ(m.methodName, name == "s.cab" ? "Stored" : "MSZIP");
            EXPECT_LE(absDiff(plat::dateTimeToUnix(m.date), f.mtime), 2) << f.name;
        }
        EXPECT_EQ(r.totalUnpacked, r.totalPacked);
        EXPECT_EQ(r.totalRatio, 0);
    }
}

namespace {

// A cabinet with stored files in one folder; flags 2 and next names make it
// part of a set; reserve sizes exercise flag 4.
Bytes cabinet(const std::vector<std::pair<std::string, std::uint32_t>>& files,
              const std::string& next, std::uint16_t headerReserve = 0,
              std::uint8_t folderReserve = 0, std::uint8_t dataReserve = 0) {
    std::uint16_t flags = 0;
    if (!next.empty()) flags |= 2;
    const bool reserve = headerReserve || folderReserve || dataReserve;
    if (reserve) flags |= 4;
    Bytes head;
    std::size_t fixed =
        36 + (reserve ? 4 + headerReserve : 0) + (next.empty() ? 0 : next.size() + 1 + 2);
    std::size_t folderAt = fixed;
    std::size_t filesAt = folderAt + 8 + folderReserve;
    std::size_t entriesSize = 0;
    for (auto& f : files) entriesSize += 16 + f.first.size() + 1;
    std::size_t dataAt = filesAt + entriesSize;
    pstr(head, "MSCF");
    p32(head, 0);
    p32(head, static_cast<std::uint32_t>(dataAt + 8 + dataReserve));
    p32(head, 0);
    p32(head, static_cast<std::uint32_t>(filesAt));
    p32(head, 0);
    head.push_back(3);
    head.push_back(1);
    p16(head, 1);
    p16(head, static_cast<std::uint32_t>(files.size()));
    p16(head, flags);
    p16(head, 1234);
    p16(head, 0);
    if (reserve) {
        p16(head, headerReserve);
        head.push_back(folderReserve);
        head.push_back(dataReserve);
        head.insert(head.end(), headerReserve, 0xEE);
    }
    if (!next.empty()) {
        pstr(head, next);
        head.push_back(0);
        pstr(head, "1");
        head.push_back(0);
    }
    p32(head, static_cast<std::uint32_t>(dataAt));
    p16(head, 1);
    p16(head, 0);
    head.insert(head.end(), folderReserve, 0xFF);
    std::uint32_t off = 0;
    for (auto& f : files) {
        p32(head, f.second);
        p32(head, off);
        off += f.second;
        p16(head, 0);
        p16(head, (2003 - 1980) << 9 | 4 << 5 | 5);
        p16(head, 6 << 11 | 7 << 5 | 4);
        p16(head, 0x20);
        pstr(head, f.first);
        head.push_back(0);
    }
    p32(head, 0);
    p16(head, 0);
    p16(head, 0);
    head.insert(head.end(), dataReserve, 0xDD);
    return head;
}

} // namespace

TEST(CabDirectory, SetInOneFolderIsListedAcrossCabinets) {
    TempDir dir;
    testsupport::writeFile(dir / "ONE.CAB", cabinet({{"a.txt", 10}, {"b.txt", 20}}, "two.cab"));
    testsupport::writeFile(dir / "TWO.CAB", cabinet({{"c.txt", 30}}, ""));
    auto r = list(dir / "ONE.CAB");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 3u);
    EXPECT_EQ(r.members[2].name, "c.txt");
    EXPECT_EQ(r.totals, 3);
    EXPECT_EQ(r.totalUnpacked, 60);
    for (const auto& m : r.members) {
        EXPECT_EQ(m.ratio, 0);
        EXPECT_EQ(m.crc, 0u);
        EXPECT_EQ(m.versionMadeBy, 3);
        EXPECT_EQ(m.versionNeeded, 1);
        EXPECT_EQ(m.externalAttr, 0x20u);
    }
    auto t = plat::decodeDateTime(r.members[0].date);
    EXPECT_EQ(t.year, 2003);
    EXPECT_EQ(t.month, 4);
    EXPECT_EQ(t.day, 5);
    EXPECT_EQ(t.hour, 6);
}

TEST(CabDirectory, MissingNextCabinetReportsThenFails) {
    TempDir dir;
    testsupport::writeFile(dir / "one.cab", cabinet({{"a.txt", 10}}, "gone.cab"));
    auto r = list(dir / "one.cab");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, (std::vector<int>{25903, 25132}));
    EXPECT_EQ(r.errorVolumes[0], "1");
    TArcLister l;
    std::vector<std::string> names;
    l.OnRead = [](TObject*, std::int64_t, int) {};
    l.OnError = [&](TObject*, const std::string& fn, const std::string&, int) {
        names.push_back(fn);
    };
    l.SetArchiveFile(dir / "one.cab");
    l.Activate();
    EXPECT_EQ(names, (std::vector<std::string>{"gone.cab", "one.cab"}));
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.events.back(), "deactivate");
}

TEST(CabDirectory, SetThatNamesItselfEnds) {
    TempDir dir;
    testsupport::writeFile(dir / "loop.cab", cabinet({{"a.txt", 10}}, "loop.cab"));
    auto r = list(dir / "loop.cab");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.totals, 1);
}

TEST(CabDirectory, ReserveSizesAreApplied) {
    TempDir dir;
    testsupport::writeFile(dir / "r.cab", cabinet({{"a.txt", 10}, {"b.txt", 5}}, "", 20, 4, 8));
    auto r = list(dir / "r.cab");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[1].name, "b.txt");
}

TEST(CabDirectory, BadSignatureIsReportedAndNothingListed) {
    TempDir dir;
    auto bytes = cabinet({{"a.txt", 10}}, "");
    testsupport::writeFile(dir / "ok.cab", bytes);
    TArcLister l;
    std::vector<int> codes;
    int reads = 0;
    bool totals = false;
    l.OnError = [&](TObject*, const std::string&, const std::string&, int c) {
        codes.push_back(c);
    };
    l.OnRead = [&](TObject*, std::int64_t, int) { ++reads; };
    l.OnTotals = [&](TObject*, int) { totals = true; };
    l.SetArchiveFile(dir / "ok.cab");
    // The type was detected; the file then changes under the lister.
    bytes[0] = 'X';
    testsupport::writeFile(dir / "ok.cab", bytes);
    EXPECT_TRUE(l.Activate());
    EXPECT_EQ(codes, std::vector<int>{25108});
    EXPECT_EQ(reads, 0);
    EXPECT_TRUE(totals);
}

TEST(CabDirectory, TruncatedFolderEntryIsReported) {
    TempDir dir;
    auto bytes = cabinet({{"a.txt", 10}}, "");
    bytes.resize(38);
    testsupport::writeFile(dir / "t.cab", bytes);
    auto r = list(dir / "t.cab");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25135});
    EXPECT_TRUE(r.members.empty());
}

// ---- BH ----

namespace {

Bytes bhMember(const std::string& name, const std::string& data, std::uint8_t method,
               std::uint8_t flags, std::uint32_t unpacked) {
    Bytes v;
    p32(v, 0x07054842);
    p16(v, static_cast<std::uint32_t>(37 + name.size()));
    v.push_back(0);
    v.push_back(10);
    v.push_back(20);
    v.push_back(flags);
    v.push_back(method);
    p32(v, (2004u - 1980) << 25 | 5u << 21 | 6u << 16 | 7u << 11 | 8u << 5);
    p32(v, static_cast<std::uint32_t>(data.size()));
    p32(v, unpacked);
    p32(v, crc32Of(data.data(), data.size()));
    p16(v, 0x21);
    p32(v, 0);
    p16(v, static_cast<std::uint32_t>(name.size()));
    p16(v, 0);
    pstr(v, name);
    pstr(v, data);
    return v;
}

} // namespace

TEST(BhDirectory, MembersAndEnd) {
    TempDir dir;
    Bytes a = bhMember("DIR\\ONE.TXT", "packed-bytes", 2, 0, 100);
    Bytes b = bhMember("TWO.DOC", "xyz", 0, 1, 3);
    a.insert(a.end(), b.begin(), b.end());
    a.insert(a.end(), 40, 0); // a zero signature ends the walk
    testsupport::writeFile(dir / "t.bh", a);
    auto r = list(dir / "t.bh");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.type, atBH);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].name, "DIR/ONE.TXT");
    EXPECT_EQ(r.members[0].packed, 12);
    EXPECT_EQ(r.members[0].unpacked, 100);
    EXPECT_EQ(r.members[0].ratio, 88);
    EXPECT_EQ(r.members[0].methodName, "Deflate");
    EXPECT_EQ(r.members[0].versionMadeBy, 10);
    EXPECT_EQ(r.members[0].versionNeeded, 20);
    EXPECT_EQ(r.members[0].externalAttr, 0x21u);
    EXPECT_EQ(r.members[0].crc, crc32Of("packed-bytes", 12));
    EXPECT_FALSE(r.members[0].encrypted);
    EXPECT_EQ(r.members[1].offset, static_cast<std::int64_t>(37 + 11 + 12));
    EXPECT_TRUE(r.members[1].encrypted);
    EXPECT_EQ(r.members[1].methodName, "Stored");
    EXPECT_EQ(plat::decodeDateTime(r.members[1].date).year, 2004);

    auto only = list(dir / "t.bh", "*.DOC");
    ASSERT_EQ(only.members.size(), 1u);
    EXPECT_EQ(only.totals, 1);
}

// ---- TAR ----

TEST(TarDirectory, GnuTarFormats) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    TempDir dir;
    auto in = inputs(dir);
    const std::string longName =
        "deep/" + std::string(120, 'n') + "/" + std::string(60, 'm') + ".txt";
    listtest::spit(dir / ("src/" + longName), "long");
    listtest::touch(dir / ("src/" + longName), 1300000000);
    for (std::string fmt : {"v7", "ustar", "gnu", "pax", "oldgnu"}) {
        std::string files = "alpha.txt sub/beta.dat gamma.bin";
        // v7 keeps at most 99 characters, ustar 255 split at a slash.
        if (fmt != "v7") files += " " + longName;
        ASSERT_EQ(sh(dir, "cd src && tar --format=" + fmt + " -cf ../" + fmt + ".tar " + files), 0)
            << fmt;
        auto r = list(dir / (fmt + ".tar"));
        ASSERT_TRUE(r.ok) << fmt;
        EXPECT_EQ(r.type, atTAR) << fmt;
        auto got = byName(r);
        EXPECT_EQ(r.totals, static_cast<int>(in.size() + (fmt != "v7"))) << fmt;
        for (const auto& f : in) {
            ASSERT_TRUE(got.count(f.name)) << fmt << " " << f.name;
            EXPECT_EQ(got[f.name].unpacked, static_cast<std::int64_t>(f.data.size()));
            EXPECT_EQ(got[f.name].methodName, "Stored");
            EXPECT_EQ(plat::dateTimeToUnix(got[f.name].date), f.mtime) << fmt;
        }
        if (fmt != "v7") {
            ASSERT_TRUE(got.count(longName)) << fmt;
            EXPECT_EQ(got[longName].unpacked, 4);
        }
    }
}

TEST(TarDirectory, SkippedMemberDataIsSteppedOver) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    TempDir dir;
    listtest::spit(dir / "src/first.bin", std::string(1000, 'f'));
    listtest::spit(dir / "src/second.txt", "second");
    ASSERT_EQ(sh(dir, "cd src && tar --format=ustar -cf ../t.tar first.bin second.txt"), 0);
    auto r = list(dir / "t.tar", "*.txt");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "second.txt");
    EXPECT_EQ(r.members[0].offset, 512 + 1024);
    EXPECT_EQ(r.totals, 1);
}

TEST(TarDirectory, TruncatedArchiveEndsQuietly) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    TempDir dir;
    listtest::spit(dir / "src/a.txt", std::string(5000, 'a'));
    listtest::spit(dir / "src/b.txt", "b");
    ASSERT_EQ(sh(dir, "cd src && tar --format=ustar -cf ../t.tar a.txt b.txt"), 0);
    auto bytes = testsupport::readFile(dir / "t.tar");
    bytes.resize(3000);
    testsupport::writeFile(dir / "t.tar", bytes);
    auto r = list(dir / "t.tar");
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].unpacked, 5000);
}

TEST(TarDirectory, SparseMembersAreListedWithTheirLength) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    TempDir dir;
    ASSERT_EQ(sh(dir, "mkdir src && cd src && truncate -s 1M holes.bin && "
                      "printf data | dd of=holes.bin bs=1 seek=5000 conv=notrunc && "
                      "tar --format=gnu -S -cf ../g.tar holes.bin && "
                      "tar --format=pax -S -cf ../p.tar holes.bin"),
              0);
    for (std::string name : {"g.tar", "p.tar"}) {
        auto r = list(dir / name);
        ASSERT_TRUE(r.ok) << name;
        ASSERT_EQ(r.members.size(), 1u) << name;
        // The name the file had, its whole length, the data actually stored.
        EXPECT_EQ(r.members[0].name, "holes.bin") << name;
        EXPECT_EQ(r.members[0].unpacked, 1 << 20) << name;
        EXPECT_LE(r.members[0].packed, 8192) << name;
    }
}

// ---- GZIP family ----

TEST(GzipDirectory, WithAndWithoutName) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    TempDir dir;
    const std::string text(10000, 'z');
    listtest::spit(dir / "named.txt", text);
    listtest::touch(dir / "named.txt", 1234567890);
    listtest::spit(dir / "plain.txt", text);
    ASSERT_EQ(sh(dir, "gzip -9 -k named.txt && gzip -n -c plain.txt > nameless.gz"), 0);
    auto named = list(dir / "named.txt.gz");
    ASSERT_TRUE(named.ok);
    ASSERT_EQ(named.members.size(), 1u);
    const auto& m = named.members[0];
    EXPECT_EQ(m.name, "named.txt");
    EXPECT_EQ(m.unpacked, 10000);
    EXPECT_EQ(m.crc, crc32Of(text.data(), text.size()));
    EXPECT_EQ(m.methodName, "Deflate");
    EXPECT_EQ(m.method, 8);
    EXPECT_EQ(plat::dateTimeToUnix(m.date), 1234567890);
    const auto size = static_cast<std::int64_t>(*plat::fileSize(dir / "named.txt.gz"));
    EXPECT_EQ(m.packed, size - 8);
    EXPECT_GT(m.ratio, 90);

    auto nameless = list(dir / "nameless.gz");
    ASSERT_TRUE(nameless.ok);
    ASSERT_EQ(nameless.members.size(), 1u);
    EXPECT_EQ(nameless.members[0].name, "nameless");
    EXPECT_EQ(nameless.members[0].unpacked, 10000);
}

TEST(GzipDirectory, StoredNameShowsItsLastPart) {
    TempDir dir;
    Bytes v = {0x1F, 0x8B, 8, 0x18, 0, 0, 0, 0, 0, 3};
    pstr(v, "../up/there.txt");
    v.push_back(0);
    pstr(v, "a comment");
    v.push_back(0);
    v.insert(v.end(), {3, 0});
    p32(v, 0);
    p32(v, 0);
    testsupport::writeFile(dir / "x.gz", v);
    auto r = list(dir / "x.gz");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "there.txt");
}

TEST(GzipDirectory, ExtraFieldBeforeName) {
    TempDir dir;
    Bytes v = {0x1F, 0x8B, 8, 0x0C, 0, 0, 0, 0, 0, 3};
    p16(v, 4);
    pstr(v, "XYZW");
    pstr(v, "inner.name");
    v.push_back(0);
    v.insert(v.end(), {3, 0}); // an empty deflate stream
    p32(v, 0);
    p32(v, 0);
    testsupport::writeFile(dir / "x.gz", v);
    auto r = list(dir / "x.gz");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "inner.name");
    EXPECT_EQ(r.members[0].packed, static_cast<std::int64_t>(v.size()) - 8 - 4);
}

TEST(GzipDirectory, OtherMethodsAndEncryption) {
    TempDir dir;
    Bytes v = {0x1F, 0x8B, 5, 0x20, 0, 0, 0, 0, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8};
    testsupport::writeFile(dir / "odd.gz", v);
    auto r = list(dir / "odd.gz");
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].method, 10);
    EXPECT_EQ(r.members[0].methodName, "Unknown");
    EXPECT_TRUE(r.members[0].encrypted);
}

TEST(GzipDirectory, CompressedDotZ) {
    TempDir dir;
    if (haveTool("compress")) {
        listtest::spit(dir / "DATA.TXT", std::string(3000, 'd'));
        ASSERT_EQ(sh(dir, "compress -f DATA.TXT"), 0);
    } else {
        testsupport::writeFile(dir / "DATA.TXT.Z", Bytes{0x1F, 0x9D, 0x90, 0x64, 0x00});
    }
    auto r = list(dir / "DATA.TXT.Z");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "DATA.TXT");
    EXPECT_EQ(r.members[0].methodName, "Compress");
    const auto size = static_cast<std::int64_t>(*plat::fileSize(dir / "DATA.TXT.Z"));
    EXPECT_EQ(r.members[0].packed, size);
    EXPECT_EQ(r.members[0].unpacked, size);
    EXPECT_EQ(r.members[0].crc, 0u);
}

TEST(GzipDirectory, PackAndScoCompressMagics) {
    TempDir dir;
    testsupport::writeFile(dir / "p.z", Bytes{0x1F, 0x1E, 0, 0, 0, 9, 1, 2});
    testsupport::writeFile(dir / "noext", Bytes{0x1F, 0xA0, 1, 2, 3, 4, 5, 6});
    auto p = list(dir / "p.z");
    ASSERT_EQ(p.members.size(), 1u);
    EXPECT_EQ(p.members[0].methodName, "Packed");
    EXPECT_EQ(p.members[0].name, "p");
    auto s = list(dir / "noext");
    ASSERT_EQ(s.members.size(), 1u);
    EXPECT_EQ(s.members[0].methodName, "Lzh");
    EXPECT_EQ(s.members[0].name, "noext");
}

// ---- HA ----

TEST(HaDirectory, HandBuiltArchive) {
    TempDir dir;
    Bytes v = {'H', 'A', 2, 0};
    auto member = [&](const std::string& path, const std::string& name, std::uint8_t type,
                      const std::string& data, std::uint32_t unpacked) {
        v.push_back(type);
        p32(v, static_cast<std::uint32_t>(data.size()));
        p32(v, unpacked);
        p32(v, 0xCAFEBABE);
        p32(v, 1000000000);
        pstr(v, path);
        v.push_back(0);
        pstr(v, name);
        v.push_back(0);
        v.insert(v.end(), {2, 1, 0x20});
        pstr(v, data);
    };
    member("some\xff", "first.txt", 0x21, "compressed", 50);
    member("", "second.doc", 0x20, "plain", 5);
    testsupport::writeFile(dir / "t.ha", v);
    auto r = list(dir / "t.ha");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.type, atHA);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].name, "first.txt");
    EXPECT_EQ(r.members[0].methodName, "Asc");
    EXPECT_EQ(r.members[0].versionMadeBy, 2);
    EXPECT_EQ(r.members[0].crc, 0xCAFEBABEu);
    EXPECT_EQ(r.members[0].ratio, 80);
    EXPECT_EQ(plat::dateTimeToUnix(r.members[0].date), 1000000000);
    EXPECT_EQ(r.members[0].externalAttr, 32u);
    EXPECT_EQ(r.members[1].name, "second.doc");
    EXPECT_EQ(r.members[1].methodName, "Cpy");
    EXPECT_EQ(r.totals, 2);
}

// ---- RAR ----

namespace {

Bytes rarMarker() {
    return {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
}

void rarMain(Bytes& v, std::uint16_t size = 13, std::uint16_t flags = 0) {
    p16(v, 0);
    v.push_back(0x73);
    p16(v, flags);
    p16(v, size);
    p16(v, 0);
    p32(v, 0);
    v.insert(v.end(), size - 13, 0);
}

void rarFile(Bytes& v, const std::string& name, const std::string& data, std::uint32_t unpacked,
             std::uint32_t attr = 0x20, std::uint16_t extraFlags = 0,
             const std::string& comment = "") {
    const bool withComment = !comment.empty();
    p16(v, 0);
    v.push_back(0x74);
    p16(v, 0x8000 | extraFlags | (withComment ? 0x08 : 0));
    p16(v, static_cast<std::uint32_t>(32 + name.size() + (withComment ? 13 + comment.size() : 0)));
    p32(v, static_cast<std::uint32_t>(data.size()));
    p32(v, unpacked);
    v.push_back(2);
    p32(v, crc32Of(data.data(), data.size()));
    p32(v, (2005u - 1980) << 25 | 6u << 21 | 7u << 16);
    v.push_back(29);
    v.push_back(0x33);
    p16(v, static_cast<std::uint32_t>(name.size()));
    p32(v, attr);
    pstr(v, name);
    if (withComment) {
        Bytes ch(13, 0);
        ch[7] = static_cast<std::uint8_t>(comment.size());
        v.insert(v.end(), ch.begin(), ch.end());
        pstr(v, comment);
    }
    pstr(v, data);
}

} // namespace

TEST(RarDirectory, FilesFoldersAndOtherBlocks) {
    TempDir dir;
    Bytes v = rarMarker();
    rarMain(v);
    rarFile(v, "docs\\one.txt", "0123456789", 40);
    // A sub-block with data of its own is stepped over by its sizes.
    p16(v, 0);
    v.push_back(0x7A);
    p16(v, 0x8000);
    p16(v, 32);
    p32(v, 100);
    v.insert(v.end(), 32 - 11 + 100, 0x55);
    rarFile(v, "docs", "", 0, 0x10);
    rarFile(v, "two.txt", "abc", 3, 0x20, 0x04, "hi there");
    p16(v, 0);
    v.push_back(0x7B);
    p16(v, 0x4000);
    p16(v, 7);
    v.insert(v.end(), 40, 0);
    testsupport::writeFile(dir / "t.rar", v);

    auto r = list(dir / "t.rar");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.type, atRAR);
    ASSERT_EQ(r.members.size(), 3u);
    EXPECT_EQ(r.members[0].name, "docs/one.txt");
    EXPECT_EQ(r.members[0].methodName, "Normal");
    EXPECT_EQ(r.members[0].ratio, 75);
    EXPECT_EQ(r.members[0].versionMadeBy, 29);
    EXPECT_EQ(r.members[0].offset, 20);
    EXPECT_EQ(plat::decodeDateTime(r.members[0].date).year, 2005);
    EXPECT_EQ(r.members[1].name, "docs"); // "*.*" matches a name without a dot
    EXPECT_EQ(r.members[2].name, "two.txt");
    EXPECT_EQ(r.members[2].comment, "hi there");
    EXPECT_TRUE(r.members[2].encrypted);
    EXPECT_TRUE(r.comment.empty());

    auto txt = list(dir / "t.rar", "*.txt", true);
    ASSERT_EQ(txt.members.size(), 3u);
    auto noDirs = list(dir / "t.rar", "*.txt", false);
    ASSERT_EQ(noDirs.members.size(), 2u);
}

TEST(RarDirectory, LongMainHeaderMeansComment) {
    TempDir dir;
    Bytes v = rarMarker();
    rarMain(v, 40);
    rarFile(v, "a.txt", "a", 1);
    testsupport::writeFile(dir / "c.rar", v);
    auto r = list(dir / "c.rar");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.comment, "Archive Comment encrypted...");
    ASSERT_EQ(r.members.size(), 1u);
}

TEST(RarDirectory, EncryptedHeadersAndBrokenArchives) {
    TempDir dir;
    Bytes v = rarMarker();
    rarMain(v, 13, 0x0080);
    v.insert(v.end(), 64, 0x99);
    testsupport::writeFile(dir / "e.rar", v);
    auto r = list(dir / "e.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25190});

    Bytes shortMain = rarMarker();
    shortMain.insert(shortMain.end(), {0, 0, 0x73});
    testsupport::writeFile(dir / "s.rar", shortMain);
    r = list(dir / "s.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25135});

    Bytes odd = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x05, 0};
    odd.insert(odd.end(), 40, 0);
    testsupport::writeFile(dir / "v.rar", odd);
    r = list(dir / "v.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25204});
}

TEST(RarDirectory, Rar5CorpusSamples) {
    const std::string path = listtest::corpus("rar/sharpcompress__Rar5.rar");
    if (!listtest::fs::exists(path)) GTEST_SKIP() << "corpus sample missing";
    auto r = list(path);
    ASSERT_TRUE(r.ok);
    auto got = byName(r);
    ASSERT_TRUE(got.count("exe/test.exe"));
    EXPECT_EQ(got["exe/test.exe"].unpacked, 45056);
    EXPECT_EQ(got["exe/test.exe"].packed, 17943);
    EXPECT_EQ(got["exe/test.exe"].crc, 0xCFB109C8u);
    EXPECT_EQ(plat::decodeDateTime(got["exe/test.exe"].date).year, 2002);
    ASSERT_TRUE(got.count("тест.txt"));

    const std::string enc = listtest::corpus("rar/libarchive__test_read_format_rar5_encrypted.rar");
    if (listtest::fs::exists(enc)) {
        auto e = list(enc);
        EXPECT_TRUE(e.ok || e.errors == std::vector<int>{25190});
    }
}

TEST(CabDirectory, CorpusSetsUnderTheirOwnNames) {
    // The samples carry prefixed names; the sets find each other under the
    // names stored inside them (any case, as DOS names).
    struct Set {
        std::string prefix, stored;
        std::vector<std::pair<std::string, std::int64_t>> members;
    };
    const std::vector<Set> sets = {{"libmspack__multi_basic_pt",
                                    "cabd_multi_basic_pt",
                                    {{"test1.txt", 76}, {"test2.txt", 38}, {"test3.txt", 76}}},
                                   {"cabextract__split-",
                                    "split-",
                                    {{"small1.bin", 2000},
                                     {"small2.bin", 8000},
                                     {"medium1.bin", 40000},
                                     {"medium2.bin", 50000},
                                     {"small3.bin", 128},
                                     {"medium3.bin", 40000}}}};
    for (const auto& s : sets) {
        if (!listtest::fs::exists(listtest::corpus("cab/" + s.prefix + "1.cab")))
            GTEST_SKIP() << "corpus missing";
        TempDir dir;
        for (int i = 1; i <= 5; ++i)
            listtest::fs::copy_file(
                listtest::corpus("cab/" + s.prefix + std::to_string(i) + ".cab"),
                dir / (s.stored + std::to_string(i) + ".cab"));
        auto r = list(dir / (s.stored + "1.cab"));
        ASSERT_TRUE(r.ok) << s.stored;
        EXPECT_TRUE(r.errors.empty());
        ASSERT_EQ(r.members.size(), s.members.size()) << s.stored;
        for (std::size_t i = 0; i < s.members.size(); ++i) {
            EXPECT_EQ(r.members[i].name, s.members[i].first);
            EXPECT_EQ(r.members[i].unpacked, s.members[i].second);
        }
    }
}
