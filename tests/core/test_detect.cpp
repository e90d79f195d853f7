#include "archive/core/ArcRoot.h"
#include "platform/FileSystem.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace testsupport;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Verdict {
    TArcType type;
    std::int64_t start;
    std::int64_t sfxZipOffset;
};

Verdict detect(const std::string& path, int cmntBuf = 2000) {
    std::string cwd = plat::getCurrentDir();
    TZipCommon c;
    c.SetZipCmntBufSize(cmntBuf);
    c.SetArchiveFile(path);
    plat::setCurrentDir(cwd);
    return {c.ArcType(), c.ArchiveStart, c.SfxZipOffset};
}

Bytes withPadding(Bytes head, std::size_t size = 64) {
    head.resize(std::max(size, head.size()), 0);
    return head;
}

// A minimal ZIP: one stored member "a" holding "x", with an optional comment.
Bytes tinyZip(std::uint32_t base = 0, std::size_t commentLen = 0) {
    Bytes z = {0x50, 0x4B, 3, 4, 10, 0, 0, 0, 0, 0, 0, 0, 0x21, 0x00, 0x83, 0x16,
               0xDC, 0x8C, 1, 0, 0,  0, 1, 0, 0, 0, 1, 0, 0,    0,    'a',  'x'};
    std::uint32_t cen = base + static_cast<std::uint32_t>(z.size());
    Bytes c = {0x50, 0x4B, 1,    2,    20, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0x21, 0x00,
               0x83, 0x16, 0xDC, 0x8C, 1,  0, 0,  0, 1, 0, 0, 0, 1, 0, 0,    0,
               0,    0,    0,    0,    0,  0, 0,  0, 0, 0, 0, 0, 0, 0, 'a'};
    put32(c, 42, base);
    z.insert(z.end(), c.begin(), c.end());
    Bytes e(22, 0);
    e[0] = 0x50, e[1] = 0x4B, e[2] = 5, e[3] = 6;
    put16(e, 8, 1);
    put16(e, 10, 1);
    put32(e, 12, static_cast<std::uint32_t>(c.size()));
    put32(e, 16, cen);
    put16(e, 20, static_cast<std::uint32_t>(commentLen));
    z.insert(z.end(), e.begin(), e.end());
    z.insert(z.end(), commentLen, 'c');
    return z;
}

Bytes tarBlock(const std::string& name, char type = '0') {
    Bytes b(512, 0);
    std::copy(name.begin(), name.end(), b.begin());
    const char* mode = "0000644";
    std::copy(mode, mode + 7, b.begin() + 100);
    const char* size = "00000000000";
    std::copy(size, size + 11, b.begin() + 124);
    b[156] = static_cast<std::uint8_t>(type);
    std::uint32_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : b[i];
    char chk[8];
    std::snprintf(chk, sizeof chk, "%06o", sum);
    std::copy(chk, chk + 7, b.begin() + 148);
    return b;
}

} // namespace

TEST(Detect, SignatureTableOfPlainFiles) {
    TempDir dir;
    struct Row {
        Bytes head;
        TArcType want;
    } rows[] = {
        {{0x50, 0x4B, 0x03, 0x04}, atZIP},
        {{0x50, 0x4B, 0x05, 0x06}, atZIP},
        {{'M', 'S', 'C', 'F'}, atCAB},
        {{0x00, 0x00, 0x00, 0x50}, atZip250},
        {{0x42, 0x48, 0x05, 0x07}, atBH},
        {{'H', 'A', 2, 0}, atHA},
        {{0x1F, 0x8B, 8, 0}, atGZip},
        {{0x1F, 0x9D, 0x90, 0}, atGZip},
        {{0x1F, 0x9E, 0, 0}, atGZip},
        {{0x1F, 0x1E, 0, 0}, atGZip},
        {{0x1F, 0xA0, 0, 0}, atGZip},
        {{0x1F, 0x1E, '-', 'l', 'z', '4', '-'}, atLHA},
        {{0x60, 0xEA, 0x26, 0}, atARJ},
        {{'Z', 'O', 'O', ' '}, atZOO},
        {{0x20, 0x00, '-', 'l', 'h', '5', '-'}, atLHA},
        {{'R', 'a', 'r', '!'}, atRAR},
        {{0x1A, 0x0A, 'A', 0}, atPAK},
        {{0x1A, 0x0B, 'A', 0}, atPAK},
        {{0x1A, 0x08, 'A', 0}, atARC},
        {{0x1A, 0x09, 'A', 0}, atARC},
        {{0x1A, 0x02, 'A', 0}, atARC},
        {{0x1A, 0x04, 'A', 0}, atARC},
        {{0x1A, 0x01, 'A', 0}, atARC},
        {{0x1A, 0x02, 0x00, 0}, atUnknown},
        {{0x1A, 0x02, ' ', 0}, atUnknown},
        {{0x1A, 0x00, 'A', 0}, atUnknown},
        {{0x1A, 0x0C, 'A', 0}, atUnknown},
        {{'h', 'e', 'l', 'l', 'o'}, atUnknown},
    };
    int n = 0;
    for (const auto& r : rows) {
        std::string p = dir / "f";
        p += std::to_string(n++);
        writeFile(p, withPadding(r.head));
        auto v = detect(p);
        EXPECT_EQ(v.type, r.want) << "row " << n;
        EXPECT_EQ(v.start, 1) << "row " << n;
    }
    // The two known executable stubs of ARC archives, whatever the flag.
    writeFile(dir / "arcexe", withPadding({0xB7, 0x92, 0, 0}));
    auto v = detect(dir / "arcexe");
    EXPECT_EQ(v.type, atArcExe);
    EXPECT_EQ(v.start, 7717);
}

TEST(Detect, SignatureToArcTypeInsideExecutables) {
    std::int64_t start = 1;
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x04034B50, "", start), atZipExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x4643534D, "", start), atNA);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x06054B50, "", start), atUnknown);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x50000000, "", start), atZip250Exe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x07054842, "", start), atBHExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x00024148, "", start), atNA);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x00088B1F, "", start), atNA);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x0000EA60, "", start), atArjExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x204F4F5A, "", start), atNA);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x6C2D0020, "", start), atLhaExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x21726152, "", start), atRarExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x00000A1A, "", start), atPakExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x0000081A, "", start), atArcExe);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x0041021A, "", start), atArcExe);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(TZipCommon::SignatureToArcType(1, 0x0000DFB7, "", start), atArcExe);
    EXPECT_EQ(start, 7717);
    EXPECT_EQ(TZipCommon::SignatureToArcType(2, 0x04034B50, "", start), atNA) << "third flag value";
    EXPECT_EQ(TZipCommon::SignatureToArcType(0, 0x12345678, "", start), atUnknown);
}

TEST(Detect, ShortMissingAndEmpty) {
    TempDir dir;
    writeFile(dir / "five", Bytes{0x50, 0x4B, 3, 4, 0});
    EXPECT_EQ(detect(dir / "five").type, atFileError);
    writeFile(dir / "six", Bytes{0x50, 0x4B, 3, 4, 0, 0});
    EXPECT_EQ(detect(dir / "six").type, atZIP);
    EXPECT_EQ(detect(dir / "missing").type, atFileError);
    EXPECT_EQ(detect(dir.path()).type, atFileError) << "a folder cannot be opened as a file";
}

TEST(Detect, TarNeedsTheExtensionAndAValidChecksum) {
    TempDir dir;
    Bytes one = tarBlock("a.txt");
    Bytes two = one;
    two.resize(1024, 0);
    writeFile(dir / "exact.tar", one);
    EXPECT_EQ(detect(dir / "exact.tar").type, atUnknown) << "512 bytes get no TAR check";
    for (const char* name : {"two.tar", "two.TAR", "two.Tar"}) {
        writeFile(dir / name, two);
        EXPECT_EQ(detect(dir / name).type, atTAR) << name;
    }
    writeFile(dir / "two.tgz", two);
    EXPECT_EQ(detect(dir / "two.tgz").type, atUnknown);
    writeFile(dir / "two", two);
    EXPECT_EQ(detect(dir / "two").type, atUnknown);
    Bytes bad = two;
    bad[0] ^= 1;
    writeFile(dir / "bad.tar", bad);
    auto v = detect(dir / "bad.tar");
    EXPECT_EQ(v.type, atUnknown);
    EXPECT_EQ(v.start, 1);
    // A volume label block: the second block is checked.
    Bytes vol = tarBlock("LABEL", 'V');
    vol[148] = 'x'; // the label's own checksum does not matter
    Bytes labelled = vol;
    Bytes member = tarBlock("b.txt");
    labelled.insert(labelled.end(), member.begin(), member.end());
    labelled.resize(2048, 0);
    writeFile(dir / "vol.tar", labelled);
    v = detect(dir / "vol.tar");
    EXPECT_EQ(v.type, atTAR);
    EXPECT_EQ(v.start, 513);
}

TEST(Detect, StringTableAnnouncesTheArchive) {
    TempDir dir;
    Bytes exe = peWithStrings({"12345"}, 12345);
    Bytes zip = tinyZip(12345);
    exe.insert(exe.end(), zip.begin(), zip.end());
    writeFile(dir / "sfx.exe", exe);
    auto v = detect(dir / "sfx.exe");
    EXPECT_EQ(v.type, atZipExe);
    EXPECT_EQ(v.start, 12346);
    EXPECT_EQ(v.sfxZipOffset, 12345);

    // A cabinet has no self-extracting variant: atNA, later methods not tried.
    Bytes cab = peWithStrings({"4000"}, 4000);
    const char* mscf = "MSCF";
    cab.insert(cab.end(), mscf, mscf + 4);
    cab.resize(5000, 0);
    Bytes z2 = tinyZip(5000);
    cab.insert(cab.end(), z2.begin(), z2.end());
    writeFile(dir / "cab.exe", cab);
    EXPECT_EQ(detect(dir / "cab.exe").type, atNA);

    // Non-numeric, too large and empty strings end the method.
    Bytes junk = peWithStrings({"abc"}, 2000);
    writeFile(dir / "junk.exe", junk);
    EXPECT_EQ(detect(dir / "junk.exe").type, atUnknown);
    Bytes far = peWithStrings({"99999"}, 2000);
    writeFile(dir / "far.exe", far);
    EXPECT_EQ(detect(dir / "far.exe").type, atUnknown);

    // The second string is tried when the first points at nothing known.
    Bytes second = peWithStrings({"1000", "3000"}, 3000);
    Bytes arj = {0x60, 0xEA, 0x20, 0};
    second.insert(second.end(), arj.begin(), arj.end());
    second.resize(3100, 0);
    writeFile(dir / "second.exe", second);
    v = detect(dir / "second.exe");
    EXPECT_EQ(v.type, atArjExe);
    EXPECT_EQ(v.start, 3001);
    EXPECT_EQ(v.sfxZipOffset, 0);
}

TEST(Detect, ArchiveAfterTheDosImage) {
    TempDir dir;
    Bytes exe = dosStub(1000);
    Bytes arj = {0x60, 0xEA, 0x20, 0, 0, 0};
    Bytes a = exe;
    a.insert(a.end(), arj.begin(), arj.end());
    writeFile(dir / "arj.exe", a);
    auto v = detect(dir / "arj.exe");
    EXPECT_EQ(v.type, atArjExe);
    EXPECT_EQ(v.start, 1001);

    Bytes b = exe;
    b.push_back(0);
    b.push_back(0);
    b.insert(b.end(), arj.begin(), arj.end());
    writeFile(dir / "arj2.exe", b);
    v = detect(dir / "arj2.exe");
    EXPECT_EQ(v.type, atArjExe);
    EXPECT_EQ(v.start, 1003) << "two filler bytes before the header";

    Bytes lha = exe;
    Bytes lh = {0x20, 0x10, '-', 'l', 'h', '5', '-'};
    lha.insert(lha.end(), lh.begin(), lh.end());
    writeFile(dir / "lha.exe", lha);
    EXPECT_EQ(detect(dir / "lha.exe").type, atLhaExe);

    // A whole number of pages (last-page count 0).
    Bytes pages = dosStub(1024);
    Bytes rar = {'R', 'a', 'r', '!', 0x1A, 7};
    pages.insert(pages.end(), rar.begin(), rar.end());
    writeFile(dir / "rar.exe", pages);
    v = detect(dir / "rar.exe");
    EXPECT_EQ(v.type, atRarExe);
    EXPECT_EQ(v.start, 1025);
}

TEST(Detect, ZipEndRecordSearch) {
    TempDir dir;
    // The DOS image claims more than the file holds, so only the end-record search can work.
    Bytes stub = dosStub(600);
    put16(stub, 4, 50);
    Bytes zip = tinyZip(600, 100);
    Bytes exe = stub;
    exe.insert(exe.end(), zip.begin(), zip.end());
    writeFile(dir / "found.exe", exe);
    auto v = detect(dir / "found.exe");
    EXPECT_EQ(v.type, atZipExe);
    EXPECT_EQ(v.start, 600) << "the local header offset of the first central record";

    // Every place an archive comment can put the end record is searched,
    // whatever the comment buffer size.
    Bytes longComment = stub;
    Bytes z2 = tinyZip(600, 2500);
    longComment.insert(longComment.end(), z2.begin(), z2.end());
    writeFile(dir / "long-comment.exe", longComment);
    EXPECT_EQ(detect(dir / "long-comment.exe").type, atZipExe);

    // Offsets never adjusted to the stub in front: they count from the ZIP.
    Bytes unadjusted = stub;
    Bytes z3 = tinyZip(0, 10);
    unadjusted.insert(unadjusted.end(), z3.begin(), z3.end());
    writeFile(dir / "unadjusted.exe", unadjusted);
    v = detect(dir / "unadjusted.exe");
    EXPECT_EQ(v.type, atZipExe);
    EXPECT_EQ(v.start, 600) << "the first local header's position in the file";
}
