// The library's extraction path through TZlUnZipper: target paths and
// folders, overwrite questions, passwords with retries, CRC failures,
// refusals by what cannot be decoded, time stamps and modes, hostile names
// and links, and every ZIP of the corpus against the frame's extractor.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "archive/extract/UnZIP.h"
#include "platform/Time.h"
#include "support/ZipBuilder.h"
#include "zip/ArchiveTestSupport.h"

using namespace ziptest;

namespace {

std::string writeZip(const TempDir& d, const std::string& name, std::vector<Member> members) {
    Builder b;
    for (auto& m : members) b.add(std::move(m));
    const std::string path = d / name;
    testsupport::writeFile(path, b.finish());
    return path;
}

struct Unzip {
    TZlUnZipper u;
    std::vector<std::string> events;
    explicit Unzip(const std::string& target, TZlExtractOptions options = {eoCreateDirs}) {
        fs::create_directories(target);
        u.SetBaseDirectory(target);
        u.SetExtractOptions(options);
        u.OnArchiveItemProgress = [this](TObject*, TZlArchiveItem* i, std::uint8_t p, bool&) {
            if (p == 100) events.push_back("done " + i->FileName());
        };
    }
    // The message of the exception that stopped the extraction, or "".
    std::string extract(const std::string& zip, const std::string& mask = "*.*") {
        try {
            u.SetFileName(zip);
            u.ExtractFiles(mask);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
};

TEST(UnZipper, TargetPathsWithAndWithoutStoredFolders) {
    TempDir d;
    const std::string zip =
        writeZip(d, "p.zip", {stored("dir/sub/a.txt", "A"), stored("top.txt", "T")});
    {
        Unzip x(d / "flat");
        EXPECT_EQ(x.extract(zip), "");
        EXPECT_EQ(readTree(d / "flat"), (Tree{{"a.txt", {'A'}}, {"top.txt", {'T'}}}));
    }
    {
        Unzip x(d / "full", {eoCreateDirs, eoRestorePath});
        EXPECT_EQ(x.extract(zip), "");
        EXPECT_EQ(readTree(d / "full"), (Tree{{"dir/sub/a.txt", {'A'}}, {"top.txt", {'T'}}}));
    }
    {
        Unzip x(d / "nodirs", {eoRestorePath});
        EXPECT_EQ(x.extract(zip), "Directory does not exist");
        EXPECT_TRUE(readTree(d / "nodirs").empty());
    }
}

TEST(UnZipper, ExtractedFilesCarryTheMemberTimeAndMode) {
    TempDir d;
    Member m = stored("run.sh", "#!/bin/sh\n");
    m.madeBy = 0x0314;
    m.external = 0100750u << 16;
    Member ro = stored("ro.txt", "r");
    ro.external = 0x21;
    const std::string zip = writeZip(d, "t.zip", {m, ro});
    Unzip x(d / "out");
    EXPECT_EQ(x.extract(zip), "");
    struct stat st {};
    ASSERT_EQ(::stat((d / "out/run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, plat::dosToUnix(m.dosTime()));
    EXPECT_EQ(st.st_mode & 0777, 0750u & ~plat::creationMask());
    ASSERT_EQ(::stat((d / "out/ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(x.events, (std::vector<std::string>{"done run.sh", "done ro.txt"}));
}

TEST(UnZipper, OverwriteQuestion) {
    TempDir d;
    const std::string zip = writeZip(d, "o.zip", {stored("a.txt", "new"), stored("b.txt", "B")});
    fs::create_directories(d / "out");
    testsupport::writeFile(d / "out/a.txt", std::string("old"));
    {
        Unzip x(d / "out");
        std::vector<std::string> asked;
        x.u.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
            asked.push_back(name);
            confirm = false;
        };
        EXPECT_EQ(x.extract(zip), "");
        EXPECT_EQ(asked, std::vector<std::string>{d / "out/a.txt"});
        EXPECT_EQ(readTree(d / "out"), (Tree{{"a.txt", {'o', 'l', 'd'}}, {"b.txt", {'B'}}}));
    }
    {
        // The handler gives another name, which stays beneath the target.
        Unzip x(d / "out");
        x.u.OnConfirmOverwrite = [&](std::string& name, bool&) {
            if (name == d / "out/a.txt") name = "../../elsewhere/a2.txt";
        };
        EXPECT_EQ(x.extract(zip), "");
        EXPECT_EQ(testsupport::readFile(d / "out/elsewhere/a2.txt"), (Bytes{'n', 'e', 'w'}));
        EXPECT_EQ(testsupport::readFile(d / "out/a.txt"), (Bytes{'o', 'l', 'd'}));
    }
}

TEST(UnZipper, Passwords) {
    TempDir d;
    Member m = stored("secret.txt", "hidden text");
    m.password = "right";
    const std::string zip = writeZip(d, "pw.zip", {m});
    {
        Unzip x(d / "none");
        EXPECT_EQ(x.extract(zip), "Cannot extract file - invalid password");
        EXPECT_TRUE(readTree(d / "none").empty());
    }
    {
        Unzip x(d / "wrong");
        x.u.SetPassword("wrong");
        EXPECT_EQ(x.extract(zip), "Cannot extract file - invalid password");
    }
    {
        Unzip x(d / "asked");
        int asked = 0;
        x.u.OnNeedPassword = [&](TObject*, std::string& pw) { pw = ++asked == 3 ? "right" : "no"; };
        EXPECT_EQ(x.extract(zip), "");
        EXPECT_EQ(asked, 3);
        EXPECT_EQ(x.u.Password(), "right");
        EXPECT_EQ(testsupport::readFile(d / "asked/secret.txt").size(), 11u);
    }
    {
        Unzip x(d / "retries");
        int asked = 0;
        x.u.SetPassword("bad");
        x.u.OnNeedPassword = [&](TObject*, std::string& pw) {
            ++asked;
            pw = "still bad";
        };
        EXPECT_EQ(x.extract(zip), "Cannot extract file - invalid password");
        EXPECT_EQ(asked, 2) << "three attempts in all";
    }
}

// A member that fails its check leaves no file, and a file it would have
// replaced stays as it was.
TEST(UnZipper, CrcFailureLeavesNothingBehind) {
    TempDir d;
    Member bad = stored("bad.txt", "corrupted data");
    bad.crc ^= 1;
    Member deflate;
    deflate.name = "broken.bin";
    deflate.data = {0xFF, 0xFF, 0xFF};
    deflate.unpacked = 10;
    deflate.method = 8;
    const std::string zip = writeZip(d, "c.zip", {bad});
    const std::string zip2 = writeZip(d, "c2.zip", {deflate});
    fs::create_directories(d / "out");
    testsupport::writeFile(d / "out/bad.txt", std::string("keep me"));
    Unzip x(d / "out");
    EXPECT_EQ(x.extract(zip), "Failed CRC Check");
    EXPECT_EQ(x.extract(zip2), "Cannot inflate block");
    EXPECT_EQ(readTree(d / "out"), (Tree{{"bad.txt", {'k', 'e', 'e', 'p', ' ', 'm', 'e'}}}));
}

TEST(UnZipper, RefusesWhatItCannotDecodeNotWhatIsNew) {
    TempDir d;
    struct Case {
        Member m;
        const char* error;
    };
    Member big = stored("zip64.txt", "from a ZIP64 writer");
    big.zip64 = true;
    std::vector<Case> cases = {
        {stored("tok.txt", "x").with(7, 0), "Cannot extract file - unsupported compression method"},
        {stored("ppmd.txt", "x").with(98, 0),
         "Cannot extract file - unsupported compression method"},
        {stored("strong.txt", "x").with(0, 0x41), "Cannot extract file - newer version required"},
        {big, ""},
    };
    for (auto& c : cases) {
        const std::string zip = writeZip(d, c.m.name + ".zip", {c.m});
        Unzip x(d / c.m.name);
        EXPECT_EQ(x.extract(zip), c.error) << c.m.name;
    }
    EXPECT_EQ(testsupport::readFile(d / "zip64.txt/zip64.txt").size(), 19u);
}

// Stored names never reach outside the target, and nothing is written
// through a link that stands in the target.
TEST(UnZipper, HostileNamesAndLinksStayInside) {
    TempDir d;
    fs::create_directories(d / "out");
    fs::create_directories(d / "outside");
    fs::create_symlink(d / "outside", d / "out/link");
    const std::string zip =
        writeZip(d, "h.zip",
                 {stored("../../up.txt", "1"), stored("/abs/olmek-abs.txt", "2"),
                  stored("C:\\win\\c.txt", "3"), stored("a/./../b.txt", "4")});
    Unzip x(d / "out", {eoCreateDirs, eoRestorePath});
    EXPECT_EQ(x.extract(zip), "");
    EXPECT_EQ(readTree(d / "out"), (Tree{{"up.txt", {'1'}},
                                         {"abs/olmek-abs.txt", {'2'}},
                                         {"win/c.txt", {'3'}},
                                         {"a/b.txt", {'4'}}}));
    const std::string zip2 = writeZip(d, "l.zip", {stored("link/evil.txt", "x")});
    Unzip y(d / "out", {eoCreateDirs, eoRestorePath});
    EXPECT_NE(y.extract(zip2), "");
    EXPECT_TRUE(fs::is_empty(d / "outside"));
}

TEST(UnZipper, SymbolicLinkMembersBecomeLinks) {
    TempDir d;
    Member link = stored("ln", "target.txt");
    link.madeBy = 0x0314;
    link.external = 0120777u << 16;
    const std::string zip = writeZip(d, "s.zip", {stored("target.txt", "T"), link});
    Unzip x(d / "out", {eoCreateDirs, eoRestorePath});
    EXPECT_EQ(x.extract(zip), "");
    EXPECT_TRUE(fs::is_symlink(d / "out/ln"));
    EXPECT_EQ(fs::read_symlink(d / "out/ln"), "target.txt");
}

TEST(UnZipper, WithoutAnArchive) {
    TZlUnZipper u;
    EXPECT_THROW(u.ExtractFiles("*"), EZlNoArchive);
    u.SetFileName("/nonexistent/x.zip");
    EXPECT_EQ(u.Archive(), nullptr);
    try {
        u.ExtractFiles("*");
    } catch (const EZlNoArchive& e) {
        EXPECT_STREQ(e.what(), "Archive does not exist - FileName is blank");
    }
}

// ---- The corpus, against the frame's extractor ----

// Every member the frame's extractor passes, the library extracts to the
// same bytes; a member the frame fails, the library refuses too.
TEST(UnZipperCorpus, SameResultsAsTheFrameExtractor) {
    const fs::path corpus = fs::path(OLMEK_CORPUS_DIR) / "zip";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int compared = 0;
    for (const auto& e : fs::directory_iterator(corpus)) {
        const std::string path = e.path().string();
        if (e.path().extension() == ".txt") continue;
        SCOPED_TRACE(e.path().filename().string());
        TempDir d;
        // The frame's extractor, member by member.
        std::map<std::string, bool> frame;
        {
            TUnZIP x;
            x.SetArchiveFile(path);
            x.SetExtractDir(d / "frame/");
            x.OnEnd = [&](TObject*, const std::string& fn, bool pass) {
                frame[fn.substr((d / "frame/").size())] = pass;
            };
            x.OnError = [](TObject*, const std::string&, const std::string&, int) {};
            x.OnGetPassword = [](TObject*, const std::string&, std::string&, bool& again) {
                again = false;
            };
            x.Extract();
        }
        TZlZipArchive a(path, fmOpenRead);
        try {
            a.Load();
        } catch (const EZlException&) {
            continue;
        }
        TZlExtractSettings s;
        s.BaseDirectory = d / "lib";
        s.ExtractOptions = {eoCreateDirs, eoRestorePath};
        fs::create_directories(s.BaseDirectory);
        a.ExtractHelper = [&](TZlZipArchive* arc, TZlZipItem& item, const std::string& n) {
            ZlExtractHelper(s, *arc, item, n);
        };
        std::vector<std::string> passed;
        for (int i = 0; i < a.Count(); ++i) {
            const std::string name = fmt::storedName(a.Items(i)->FileName());
            bool ok = true;
            try {
                a.ExtractAt(i, "");
            } catch (const std::exception&) {
                ok = false;
            }
            const auto f = frame.find(name);
            if (f == frame.end() || !f->second) continue;
            EXPECT_TRUE(ok) << name;
            passed.push_back(name);
        }
        for (const std::string& name : passed) {
            const fs::path lib = d / ("lib/" + name), ref = d / ("frame/" + name);
            if (fs::is_symlink(ref)) {
                EXPECT_EQ(fs::read_symlink(lib), fs::read_symlink(ref)) << name;
            } else {
                EXPECT_EQ(testsupport::readFile(lib.string()), testsupport::readFile(ref.string()))
                    << name;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 20);
}

} // namespace
