// Archives made to hurt: more data than stated, overlapping members, links
// that lead out of the target, names the file system cannot take, escape
// sequences in names, modes that would open files to everyone, a disk that
// fills up.  Each archive is built here, at test time.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <zlib.h>

#include "archive/extract/UnZIP.h"
#include "tests/support/Cli.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

using namespace ziptest;
namespace fs = std::filesystem;

namespace {

Bytes rawDeflate(const std::string& text) {
    Bytes out(compressBound(static_cast<uLong>(text.size())) + 64);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class Hostile : public ExtractFixture {
protected:
    std::vector<std::string> ends() const {
        std::vector<std::string> e;
        for (const auto& l : log)
            if (l.rfind("end ", 0) == 0) e.push_back(l);
        return e;
    }
};

} // namespace

TEST_F(Hostile, DataBeyondTheStatedSizeIsNeverWritten) {
    // Stored: 20 bytes of data, 10 stated.  Deflated: 2 MB of output, 10 stated.
    Member stored20 = stored("S.TXT", std::string(20, 's'));
    stored20.unpacked = 10;
    Member bomb;
    bomb.name = "D.TXT";
    const std::string big(2 << 20, 'd');
    bomb.data = rawDeflate(big);
    bomb.method = 8;
    bomb.crc = crc32Of(reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    bomb.unpacked = 10;
    // And the other way round: fewer bytes than stated.
    Member shortOne = stored("F.TXT", "few");
    shortOne.unpacked = 100;
    auto z = extractorFor(write(build({stored20, bomb, shortOne, stored("OK.TXT", "fine")})));
    z->Extract();
    EXPECT_EQ(fs::file_size(out + "/S.TXT"), 10u);
    EXPECT_EQ(fs::file_size(out + "/D.TXT"), 10u);
    std::vector<std::string> want = {"end S.TXT fail", "end D.TXT fail", "end F.TXT fail",
                                     "end OK.TXT pass"};
    EXPECT_EQ(ends(), want);
}

TEST_F(Hostile, OverlappingMembersAreRefusedBeforeAnythingIsWritten) {
    // One local record, many central entries pointing at it.
    Bytes zip = build({stored("A.TXT", std::string(1000, 'a'))});
    const std::size_t cd = zip.size() - 22 - (46 + 5);
    Bytes central(zip.begin() + static_cast<std::ptrdiff_t>(cd), zip.end() - 22);
    Bytes bomb(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(cd));
    const int copies = 50;
    for (int i = 0; i < copies; ++i) {
        Bytes c = central;
        c[46 + 0] = static_cast<std::uint8_t>('A' + i % 26); // different names, same data
        testsupport::putBytes(bomb, c);
    }
    using namespace testsupport;
    put32(bomb, 0x06054B50);
    put16(bomb, 0);
    put16(bomb, 0);
    put16(bomb, copies);
    put16(bomb, copies);
    put32(bomb, static_cast<std::uint32_t>(central.size() * copies));
    put32(bomb, static_cast<std::uint32_t>(cd));
    put16(bomb, 0);
    auto z = extractorFor(write(bomb));
    z->Extract();
    EXPECT_EQ(z->StopCode, err::BadFileHeader);
    EXPECT_EQ(errors, std::vector<int>{err::BadFileHeader});
    EXPECT_FALSE(fs::exists(out)) << "nothing extracted";
}

TEST_F(Hostile, NoMemberIsWrittenThroughALink) {
    fs::create_directories(tmp / "outside");
    Member link = stored("evil", tmp / "outside");
    link.madeBy = 0x0314;
    link.external = 0120777u << 16;
    Member through = stored("evil/payload.txt", "gotcha");
    Member parentLink = stored("up", "..");
    parentLink.madeBy = 0x0314;
    parentLink.external = 0120777u << 16;
    Member throughUp = stored("up/escaped.txt", "gotcha");
    auto z = extractorFor(
        write(build({link, through, parentLink, throughUp, stored("fine.txt", "ok")})));
    z->Extract();
    // The links are made as stored; nothing goes through them.
    EXPECT_TRUE(fs::is_symlink(out + "/evil"));
    EXPECT_FALSE(fs::exists(tmp / "outside/payload.txt"));
    EXPECT_FALSE(fs::exists(tmp / "escaped.txt"));
    EXPECT_EQ(std::count(errors.begin(), errors.end(), err::InvalidFileName), 2);
    EXPECT_EQ(slurp("fine.txt"), "ok");
}

TEST_F(Hostile, NamesTheFileSystemCannotTakeAreInvalidAndTheRestGoesOn) {
    const std::string longPart(300, 'x');
    std::string deep;
    for (int i = 0; i < 20; ++i) deep += std::string(250, 'd') + "/";
    auto z = extractorFor(
        write(build({stored(longPart + ".txt", "a"), stored("dir/" + longPart + "/b.txt", "b"),
                     stored(deep + "c.txt", "c"), stored("ok.txt", "fine")})));
    z->Extract();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), err::InvalidFileName), 3);
    EXPECT_EQ(slurp("ok.txt"), "fine");
    EXPECT_EQ(z->StopCode, 0);
}

TEST_F(Hostile, RestoredModesPassThroughTheUmask) {
    Member open = stored("open.txt", "x");
    open.madeBy = 0x0314;
    open.external = 0100666u << 16;
    Member exec = stored("run.sh", "x");
    exec.madeBy = 0x0314;
    exec.external = 0104777u << 16;
    const std::string arc = write(build({open, exec}));
    const mode_t old = umask(022);
    auto z = extractorFor(arc);
    z->Extract();
    umask(old);
    struct stat st;
    ASSERT_EQ(stat((out + "/open.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    ASSERT_EQ(stat((out + "/run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "no setuid, no world write";
}

TEST_F(Hostile, FolderMembersMakeTheirFolders) {
    Member empty = stored("empty/", "");
    empty.external = 0x10;
    auto z = extractorFor(write(build({empty, stored("full/a.txt", "a")})));
    z->Extract();
    EXPECT_TRUE(fs::is_directory(out + "/empty"));
    EXPECT_EQ(slurp("full/a.txt"), "a");
}

TEST(HostileCli, NamesAreEscapedOnTheTerminal) {
    if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
    testsupport::TempDir tmp;
    testsupport::writeFile(tmp / "t.zip",
                           build({stored("a\x1b[2Jb\nc.txt", "x"), stored("d\x7f\x01.txt", "y")}));
    for (const char* verb : {"l t.zip", "t t.zip", "x -d out t.zip"}) {
        SCOPED_TRACE(verb);
        auto r = testsupport::runCli(verb, tmp.path());
        const std::string all = r.out + r.err;
        EXPECT_EQ(all.find('\x1b'), std::string::npos);
        EXPECT_EQ(all.find('\x7f'), std::string::npos);
        EXPECT_NE(all.find("a\\e[2Jb\\nc.txt"), std::string::npos) << all;
        EXPECT_NE(all.find("d\\x7F\\x01.txt"), std::string::npos) << all;
    }
}

TEST(HostileCli, AFullDiskStopsCleanly) {
    if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
    testsupport::TempDir tmp;
    const std::string big(3 << 20, 'b');
    const Bytes arc =
        build({stored("first.txt", "small"), stored("big.bin", big), stored("last.txt", "never")});
    testsupport::writeFile(tmp / "a.zip", arc);
    // A file-size limit of 1 MB (in 512-byte blocks) stands in for the full disk.
    auto r = testsupport::runCli("x -d out a.zip", tmp.path(), "ulimit -f 2048");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 25114: Error writing to file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("disk is full"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::readFile(tmp / "out/first.txt").size(), 5u);
    EXPECT_FALSE(fs::exists(tmp / "out/big.bin")) << "the part-written file is removed";
    EXPECT_FALSE(fs::exists(tmp / "out/last.txt"));
    EXPECT_EQ(testsupport::readFile(tmp / "a.zip"), arc);
}

TEST(HostileCli, MaxSizeRefusesWhatTheArchiveStates) {
    if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
    testsupport::TempDir tmp;
    testsupport::writeFile(tmp / "a.zip", build({stored("a.txt", std::string(1000, 'a'))}));
    auto refused = testsupport::runCli("x --max-size 999 -d out a.zip", tmp.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("states 1000 bytes"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(tmp / "out/a.txt"));
    auto ok = testsupport::runCli("t --max-size 1000 a.zip", tmp.path());
    EXPECT_EQ(ok.status, 0) << ok.err;
}
