// TLha as a component: what it writes (header bytes, names, methods), its
// events and progress, the replace decision, deleting and moving, and the
// runs it refuses or that fail part-way, which must leave an existing
// archive exactly as it was and no temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/core/Errors.h"
#include "archive/writers/Lha.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "tests/writers/LhaTest.h"

using namespace lhatest;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::int64_t kTime = 1262347200; // 2010-01-01 12:00 UTC

class LhaWriter : public ::testing::Test {
protected:
    void SetUp() override {
        src = tmp / "src";
        fs::create_directories(src);
        fs::create_directories(tmp / "out");
        fs::create_directories(tmp / "tmp");
        arc = tmp / "out/a.lzh";
        oldTmp_ = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (tmp / "tmp").c_str(), 1);
        wire(w);
        w.SetArchiveFile(arc);
        w.SetDefaultDir(src);
    }
    void TearDown() override {
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
    }

    void file(const std::string& rel, const Bytes& data, std::int64_t mtime = kTime) {
        const std::string p = src + "/" + rel;
        fs::create_directories(fs::path(p).parent_path());
        writeFile(p, data);
        plat::setFileModificationTime(p, mtime);
    }
    void file(const std::string& rel, const std::string& s, std::int64_t mtime = kTime) {
        file(rel, Bytes(s.begin(), s.end()), mtime);
    }

    void wire(TLha& l) {
        l.OnActivate = [this](TObject*) { log.push_back("activate"); };
        l.OnDeactivate = [this](TObject*) { log.push_back("deactivate"); };
        l.OnBegin = [this](TObject*, const std::string& fn, int n, bool& go) {
            log.push_back("begin " + fn + " " + std::to_string(n));
            if (fn == refuse) go = false;
        };
        l.OnEnd = [this](TObject*, const std::string& fn, bool pass) {
            log.push_back("end " + fn + (pass ? "" : " FAIL"));
        };
        l.OnError = [this](TObject*, const std::string& fn, const std::string& vol, int code) {
            log.push_back("error " + std::to_string(code) + " " + fn + " " + vol);
            errors.push_back(code);
        };
    }

    // Runs the writer with these lines; the lines keep their folders.
    bool run(const std::vector<std::string>& lines) {
        w.FileSpec().Clear();
        for (const auto& l : lines) w.FileSpec().Add(l);
        log.clear();
        errors.clear();
        return w.Compress();
    }

    std::vector<std::string> names() {
        std::vector<std::string> n;
        for (const Member& m : members(arc)) n.push_back(m.h.Name);
        return n;
    }

    // Files that a run may have left beside the archive or in TMPDIR.
    std::vector<std::string> leftovers() {
        std::vector<std::string> l;
        for (const char* d : {"out", "tmp"})
            for (const auto& e : fs::directory_iterator(tmp / d))
                if (e.path() != arc) l.push_back(e.path().filename().string());
        return l;
    }

    TempDir tmp;
    std::string src, arc;
    TLha w;
    std::vector<std::string> log;
    std::vector<int> errors;
    std::string refuse;

private:
    std::string oldTmp_;
};

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

} // namespace

TEST_F(LhaWriter, NewArchiveLayout) {
    const Bytes t = text(50000);
    file("a.txt", t);
    file("empty", "");
    file("ro.txt", "read only\n");
    chmod((src + "/ro.txt").c_str(), 0444);
    ASSERT_TRUE(run({"*"}));
    EXPECT_TRUE(errors.empty());
    const Bytes bytes = readFile(arc);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), 0) << "the end mark";
    const auto m = members(arc);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].h.Pos, 0) << "the first member starts the archive";
    EXPECT_EQ(m[2].h.NextPos() + 1, static_cast<std::int64_t>(bytes.size()));
    for (const Member& x : m) {
        EXPECT_EQ(x.h.Level, 0);
        EXPECT_TRUE(x.h.ChecksumOk) << x.h.Name;
        EXPECT_EQ(x.h.HeaderLength, 24 + static_cast<std::int64_t>(x.h.Name.size()))
            << "nothing behind the CRC";
        EXPECT_EQ(x.h.Stamp, plat::unixToDos(kTime)) << "DOS local time";
    }
    EXPECT_EQ(m[0].h.Name, "a.txt");
    EXPECT_EQ(std::string(m[0].h.MethodId, 5), "-lh1-");
    EXPECT_EQ(m[0].h.UnpackedSize, 50000);
    EXPECT_LT(m[0].h.PackedSize, 20000);
    EXPECT_EQ(m[0].h.Crc, crc16Of(t.data(), t.size()));
    EXPECT_EQ(m[0].h.Attr, 0x20);
    // An empty file: -lh1-, sizes and CRC 0, no data.
    EXPECT_EQ(m[1].h.Name, "empty");
    EXPECT_EQ(std::string(m[1].h.MethodId, 5), "-lh1-");
    EXPECT_EQ(m[1].h.PackedSize, 0);
    EXPECT_EQ(m[1].h.UnpackedSize, 0);
    EXPECT_EQ(m[1].h.Crc, 0);
    EXPECT_EQ(m[1].h.NextPos(), m[2].h.Pos);
    EXPECT_EQ(m[2].h.Attr, 0x21) << "read-only";
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(fs::status(arc).permissions() & fs::perms::all,
              fs::perms(0666 & ~plat::creationMask()));
}

TEST_F(LhaWriter, MethodsStoreAndShrinkOnly) {
    const Bytes rnd = randomBytes(20000, 1);
    file("rnd.bin", rnd);
    file("t.txt", text(20000));
    file("empty", "");
    ASSERT_TRUE(run({"*"}));
    auto m = members(arc);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(std::string(m[1].h.MethodId, 5), "-lh0-") << "random data that would grow is stored";
    EXPECT_EQ(m[1].data, rnd);
    EXPECT_EQ(m[1].h.Crc, crc16Of(rnd.data(), rnd.size()));
    EXPECT_EQ(std::string(m[2].h.MethodId, 5), "-lh1-");

    fs::remove(arc);
    w.CompressMethod = mtStore;
    ASSERT_TRUE(run({"*"}));
    m = members(arc);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(std::string(m[0].h.MethodId, 5), "-lh1-") << "an empty file keeps -lh1-";
    EXPECT_EQ(std::string(m[2].h.MethodId, 5), "-lh0-");
    EXPECT_EQ(m[2].h.PackedSize, 20000);

    // The methods without a coder of their own code with LZHUF.
    fs::remove(arc);
    w.CompressMethod = mtDeflate;
    ASSERT_TRUE(run({"t.txt"}));
    EXPECT_EQ(std::string(members(arc)[0].h.MethodId, 5), "-lh1-");
}

TEST_F(LhaWriter, StoredNames) {
    file("top.txt", "t");
    file("sub/a.txt", "a");
    file("sub/deep/b.txt", "b");
    file("sub/.hidden/c.txt", "c");
    file("sub/deep/skip.doc", "x");
    // Without folders: bare names, also from subfolders.
    w.RecurseDirs = true;
    std::vector<std::string> entered;
    w.OnRecurseDir = [&](TObject*, const std::string& d) { entered.push_back(d); };
    ASSERT_TRUE(run({"sub/*.txt"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(entered, (std::vector<std::string>{src + "/sub/deep"})) << "dot folders stay out";

    // With folders: a relative line keeps its folder as written ...
    fs::remove(arc);
    w.StoreDirs = true;
    ASSERT_TRUE(run({"./sub/../sub/*.txt"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"sub\\a.txt", "sub\\deep\\b.txt"}))
        << "backslashes between folders, '.' and '..' dropped";
    // ... and an absolute one, or none (DefaultDir), stores the full path
    // without its leading '/'.
    fs::remove(arc);
    w.RecurseDirs = false;
    ASSERT_TRUE(run({src + "/sub/a.txt", "top.txt"}));
    std::string full = src.substr(1);
    std::replace(full.begin(), full.end(), '/', '\\');
    EXPECT_EQ(names(), (std::vector<std::string>{full + "\\sub\\a.txt", full + "\\top.txt"}));

    // A plain name is that file only: names are case-sensitive here.
    file("Top.txt", "T");
    fs::remove(arc);
    w.StoreDirs = false;
    ASSERT_TRUE(run({"./top.txt"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"top.txt"}));
}

TEST_F(LhaWriter, AttributeMaskAndSpecialFiles) {
    file("a.txt", "a");
    file(".dot", "d");
    mkfifo((src + "/pipe").c_str(), 0644);
    symlink((src + "/a.txt").c_str(), (src + "/link").c_str());
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "link"}))
        << "hidden files need ftHidden; pipes are never read; links by contents";
    fs::remove(arc);
    w.FileAttribute().SetftHidden(true);
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{".dot", "a.txt", "link"}));
    // Without ftArchive, files whose attributes are exactly "archive" stay out.
    fs::remove(arc);
    w.FileAttribute().SetftHidden(false);
    w.FileAttribute().SetftArchive(false);
    chmod((src + "/a.txt").c_str(), 0444);
    EXPECT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "link"}));
}

TEST_F(LhaWriter, NeverAddsItselfOrItsTemporaryFiles) {
    file("a.txt", "a");
    w.SetArchiveFile(src + "/self.lzh");
    w.FileAttribute().SetftHidden(true);
    ASSERT_TRUE(run({"*"}));
    file("b.txt", "b");
    setenv("TMPDIR", src.c_str(), 1);
    ASSERT_TRUE(run({"*"}));
    std::vector<std::string> n;
    for (const Member& m : members(src + "/self.lzh")) n.push_back(m.h.Name);
    EXPECT_EQ(n, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(LhaWriter, EventsProgressAndListing) {
    file("big.txt", text(1 << 20));
    file("small.txt", "small");
    w.ProgressNotify = TwentyFive;
    std::vector<int> percents;
    w.OnProgress = [&](TObject*, const std::string& fn, std::uint8_t p) {
        if (fn == "big.txt") percents.push_back(p);
        log.push_back("progress " + fn);
    };
    std::vector<std::pair<std::int64_t, int>> reads;
    w.OnRead = [&](TObject*, std::int64_t off, int n) { reads.emplace_back(off, n); };
    ASSERT_TRUE(run({"*.txt"}));
    EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
    std::vector<std::string> order;
    for (const auto& e : log)
        if (order.empty() || order.back() != e) order.push_back(e);
    EXPECT_EQ(order,
              (std::vector<std::string>{"activate", "begin big.txt 1", "progress big.txt",
                                        "end big.txt", "begin small.txt 2", "progress small.txt",
                                        "end small.txt", "deactivate"}));
    // After writing, one read event per member of the new archive.
    const auto m = members(arc);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0], std::make_pair(std::int64_t{0}, 1));
    EXPECT_EQ(reads[1], std::make_pair(m[1].h.Pos, 2));

    // swRead lists the archive: one event per member, fields loaded.
    TLha r;
    r.SetArchiveFile(arc);
    r.Switch = swRead;
    std::vector<std::string> listed;
    int firstRatio = -1;
    r.OnRead = [&](TObject*, std::int64_t, int n) {
        if (n == 1) firstRatio = r.Ratio;
        listed.push_back(std::to_string(n) + " " + r.FileName + " " + r.MethodName + " " +
                         std::to_string(r.UnpackedSize) + " " + std::to_string(r.CRC));
    };
    EXPECT_TRUE(r.Compress());
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], "1 big.txt Frozen-1 1048576 " + std::to_string(m[0].h.Crc));
    EXPECT_EQ(listed[1], "2 small.txt Stored 5 " + std::to_string(m[1].h.Crc));
    EXPECT_GT(firstRatio, 50);
    EXPECT_EQ(r.Attr, 0x20);
}

TEST_F(LhaWriter, ReplaceDecision) {
    file("a.txt", "first");
    file("b.txt", "bee");
    ASSERT_TRUE(run({"*"}));
    const Bytes before = readFile(arc);
    const auto first = members(arc);

    // Unchanged files: nothing to do, the archive stays as it was.
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(errors, (std::vector<int>{err::NothingToDo}));
    EXPECT_EQ(readFile(arc), before);
    EXPECT_TRUE(leftovers().empty());

    // A changed file asks; declining keeps the old member.
    file("a.txt", "second!", kTime + 60);
    int asked = 0;
    bool answer = false;
    w.OnReplaceFile = [&](TObject*, const std::string& fn, TDateTime oldDate, TDateTime newDate,
                          std::int64_t oldSize, std::int64_t newSize, int oldAttr, int newAttr,
                          bool& replace) {
        ++asked;
        EXPECT_EQ(fn, "a.txt");
        EXPECT_LT(oldDate, newDate);
        EXPECT_EQ(oldSize, 5);
        EXPECT_EQ(newSize, 7);
        EXPECT_EQ(oldAttr, 0x20);
        EXPECT_EQ(newAttr, 0x20);
        EXPECT_TRUE(replace);
        replace = answer;
    };
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(readFile(arc), before);

    // Refusing the file at OnBegin keeps the old member too.
    answer = true;
    refuse = "a.txt";
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(readFile(arc), before);

    // Accepting replaces it; the other members come first, in their order.
    refuse.clear();
    file("c.txt", "sea");
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"b.txt", "a.txt", "c.txt"}));
    EXPECT_EQ(members(arc)[1].data, (Bytes{'s', 'e', 'c', 'o', 'n', 'd', '!'}));
    EXPECT_EQ(members(arc)[0].data, first[1].data);
}

TEST_F(LhaWriter, DeleteMembers) {
    file("a.txt", "a");
    file("b.doc", text(3000));
    file("sub/c.txt", "c");
    w.StoreDirs = true;
    w.RecurseDirs = true;
    ASSERT_TRUE(run({"./*"}));
    const auto before = members(arc);
    ASSERT_EQ(before.size(), 3u);

    w.Switch = swDelete;
    EXPECT_FALSE(run({"*.zip"}));
    EXPECT_EQ(errors, (std::vector<int>{err::NothingToDo})) << "no member matched";

    // Wildcards match across folders and ignore case.
    ASSERT_TRUE(run({"nothing", "*.TXT"}));
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin a.txt 1", "end a.txt",
                                             "begin sub/c.txt 1", "end sub/c.txt", "deactivate"}));
    const auto after = members(arc);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].h.Name, "b.doc");
    EXPECT_EQ(after[0].data, before[1].data);
    EXPECT_EQ(readFile(arc).back(), 0);

    // The last member takes the archive with it.
    ASSERT_TRUE(run({"b.doc"}));
    EXPECT_FALSE(fs::exists(arc));
    EXPECT_EQ(w.ArchiveFile(), "");
    EXPECT_EQ(w.ArcType(), atLHA);

    w.SetArchiveFile(arc);
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(errors, (std::vector<int>{err::NothingToDo})) << "no archive to delete from";
    EXPECT_TRUE(log.size() == 1) << "nothing else happened";
}

TEST_F(LhaWriter, MoveDeletesWhatWentIn) {
    file("a.txt", "a");
    file("b.txt", "b");
    file("c.txt", "c");
    ASSERT_TRUE(run({"a.txt", "b.txt"}));
    file("b.txt", "changed", kTime + 60);
    w.OnReplaceFile = [](TObject*, const std::string&, TDateTime, TDateTime, std::int64_t,
                         std::int64_t, int, int, bool& replace) { replace = false; };
    w.Switch = swMove;
    ASSERT_TRUE(run({"*.txt"}));
    EXPECT_FALSE(fs::exists(src + "/a.txt")) << "already in the archive as it is";
    EXPECT_TRUE(fs::exists(src + "/b.txt")) << "its member is an older version";
    EXPECT_FALSE(fs::exists(src + "/c.txt"));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(LhaWriter, RefusedArchives) {
    file("a.txt", "a");
    // Nothing to run.
    EXPECT_FALSE(run({}));
    EXPECT_TRUE(log.empty());
    TLha none;
    none.FileSpec().Add("*");
    EXPECT_FALSE(none.Compress());

    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"not an archive", Bytes{'P', 'K', 3, 4, 'z', 'i', 'p', ' ', 'd', 'a', 't', 'a'}},
        {"damaged",
         [] {
             Bytes a = lh1Archive(text(5000));
             a.resize(a.size() - 100);
             return a;
         }()},
        {"garbage after a member",
         [] {
             Bytes a = lh1Archive(text(5000));
             a.back() = 'x';
             a.push_back('y');
             return a;
         }()},
    };
    const int codes[] = {err::UnsupportedArcType, err::BadFileHeader, err::BadFileHeader};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        writeFile(arc, cases[i].second);
        EXPECT_FALSE(run({"*"})) << cases[i].first;
        EXPECT_EQ(errors, (std::vector<int>{codes[i]})) << cases[i].first;
        EXPECT_EQ(readFile(arc), cases[i].second) << cases[i].first;
        EXPECT_TRUE(leftovers().empty()) << cases[i].first;
    }

    // Read-only archives and folders are refused with 25114 and volume "0".
    writeFile(arc, lh1Archive(text(100)));
    chmod(arc.c_str(), 0444);
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(log, (std::vector<std::string>{"error 25114 a.lzh 0"}));
    chmod(arc.c_str(), 0644);
    fs::remove(arc);
    fs::create_directory(arc);
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(errors, (std::vector<int>{err::WriteError}));
    fs::remove(arc);
    fs::create_symlink("/dev/null", arc);
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(errors, (std::vector<int>{err::WriteError})) << "a device is no archive";
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    fs::remove(arc);
    // A dot name is fine on this platform.
    arc = tmp / "out/.hidden.lzh";
    w.SetArchiveFile(arc);
    ASSERT_TRUE(run({"a.txt"}));
    writeFile(src + "/b.txt", std::string("b"));
    ASSERT_TRUE(run({"b.txt"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    fs::remove(arc);

    // An empty file, or a lone end mark, is an archive without members.
    for (const Bytes& empty : {Bytes{}, Bytes{0}}) {
        writeFile(arc, empty);
        ASSERT_TRUE(run({"a.txt"}));
        EXPECT_EQ(names(), (std::vector<std::string>{"a.txt"}));
    }
}

TEST_F(LhaWriter, KeepsWhatStandsBeforeTheFirstHeader) {
    // A self-extracting program: a DOS image of two pages, the archive after it.
    Bytes sfx(1024, 0x90);
    sfx[0] = 'M';
    sfx[1] = 'Z';
    sfx[2] = 0;
    sfx[3] = 0;
    sfx[4] = 2;
    sfx[5] = 0;
    const Bytes old = lh1Archive(text(4000), "old.txt");
    Bytes whole(sfx.size() + old.size());
    std::copy(old.begin(), old.end(), std::copy(sfx.begin(), sfx.end(), whole.begin()));
    arc = tmp / "out/a.exe";
    writeFile(arc, whole);
    w.SetArchiveFile(arc);
    EXPECT_EQ(w.ArcType(), atLHA);
    file("new.txt", "new");
    ASSERT_TRUE(run({"new.txt"}));
    const Bytes after = readFile(arc);
    ASSERT_GT(after.size(), sfx.size());
    EXPECT_TRUE(std::equal(sfx.begin(), sfx.end(), after.begin()));
    const auto m = members(arc);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].h.Name, "old.txt");
    EXPECT_EQ(m[1].h.Name, "new.txt");
    // Deleting every member cannot leave the program without an archive.
    w.Switch = swDelete;
    EXPECT_FALSE(run({"*"}));
    EXPECT_EQ(errors, (std::vector<int>{err::NothingToDo}));
    EXPECT_EQ(readFile(arc), after);
}

TEST_F(LhaWriter, FailuresLeaveTheArchiveAsItWas) {
    file("a.txt", "a");
    ASSERT_TRUE(run({"a.txt"}));
    const Bytes before = readFile(arc);
    file("b.txt", text(10000));
    file("c.txt", text(10000, 2));

    // A file that disappears before it is read.
    w.OnBegin = [&](TObject*, const std::string& fn, int, bool&) {
        if (fn == "b.txt") fs::remove(src + "/c.txt");
    };
    EXPECT_FALSE(run({"*.txt"}));
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "end b.txt", "error 25134 c.txt 0",
                                             "deactivate"}));
    EXPECT_EQ(readFile(arc), before);
    EXPECT_TRUE(leftovers().empty());

    // A file that cannot be read (the kernel refuses reads of this one).
    wire(w);
    fs::create_symlink("/proc/self/mem", src + "/mem");
    EXPECT_FALSE(run({"*"}));
    EXPECT_TRUE(contains(log, "error 25135 mem 0"));
    EXPECT_EQ(readFile(arc), before);
    EXPECT_TRUE(leftovers().empty());
    fs::remove(src + "/mem");

    // No room for the temporary file of the new members.
    setenv("TMPDIR", (tmp / "missing").c_str(), 1);
    EXPECT_FALSE(run({"*"}));
    EXPECT_TRUE(contains(log, "deactivate"));
    EXPECT_EQ(errors, (std::vector<int>{err::OpenError}));
    EXPECT_EQ(readFile(arc), before);
}

TEST_F(LhaWriter, CancelKeepsWhatWasDone) {
    file("a.txt", "a");
    file("b.txt", "b");
    file("c.txt", "c");
    w.OnEnd = [&](TObject*, const std::string&, bool) { w.SetCancel(true); };
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt"}));
    // Cancelling a delete keeps the members not yet looked at.
    w.OnEnd = nullptr;
    w.SetCancel(false);
    ASSERT_TRUE(run({"*"}));
    w.Switch = swDelete;
    w.OnEnd = [&](TObject*, const std::string&, bool) { w.SetCancel(true); };
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"b.txt", "c.txt"}));
}

TEST_F(LhaWriter, OddFiles) {
    file(std::string(lha::kMaxLevel0Name + 1, 'n'), "too long");
    file("ok.txt", "ok");
    file("one/same.txt", "1");
    file("two/same.txt", "2");
    w.RecurseDirs = true;
    ASSERT_TRUE(run({"*"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"ok.txt", "same.txt"}));
    EXPECT_EQ(members(arc)[1].data, Bytes{'1'}) << "the first of two files of one name stays";
    EXPECT_EQ(errors, (std::vector<int>{err::InvalidFileName, err::SkippedFile}));
}

TEST_F(LhaWriter, ReplacesWhatALinkPointsAtKeepingModeAndOwner) {
    file("a.txt", "a");
    const std::string real = tmp / "out/real.lzh";
    writeFile(real, lh1Archive(text(100), "old.txt"));
    chmod(real.c_str(), 0640);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(real.c_str(), 65534, 65534), 0);
    }
    fs::create_symlink(real, arc);
    ASSERT_TRUE(run({"a.txt"}));
    EXPECT_TRUE(fs::is_symlink(arc));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(0640));
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u) << "the owner stays";
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"old.txt", "a.txt"}));
}

TEST(LhaComponent, Properties) {
    TLha w;
    EXPECT_EQ(w.CompressMethod, mtFrozen);
    EXPECT_EQ(w.ArcType(), atLHA);
    w.SetArcType(atZIP);
    EXPECT_EQ(w.ArcType(), atLHA);
    EXPECT_EQ(w.DefaultExt(), "LZH");
    w.SetDefaultExt("archive.lha");
    EXPECT_EQ(w.DefaultExt(), "lha");
    w.SetDefaultExt("LONGER");
    EXPECT_EQ(w.DefaultExt(), "LON");
    w.SetDefaultExt("");
    EXPECT_EQ(w.DefaultExt(), "LZH");
    EXPECT_EQ(w.Switch, swAdd);
    EXPECT_FALSE(w.StoreDirs);
}
