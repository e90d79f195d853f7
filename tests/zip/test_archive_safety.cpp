// A save that fails part-way leaves the archive exactly as it was: a read
// error on a file being added, a full disk at any byte (simulated, and
// real through a file-size limit), an abort from the progress events.
// Spanned writing onto small removable disks gives disks that load again
// and that 7z reads as a split archive.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <typeinfo>

#include "archive/zip/InsertHelper.h"
#include "platform/Endian.h"
#include "zip/ArchiveTestSupport.h"

using namespace ziptest;

namespace {

// Files left in a folder besides the ones named.
std::vector<std::string> strayFiles(const std::string& dir, const std::vector<std::string>& known) {
    std::vector<std::string> stray;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (e.is_regular_file() && std::find(known.begin(), known.end(), n) == known.end())
            stray.push_back(n);
    }
    return stray;
}

// An archive whose temporary output fails after `limit` bytes.
class FullDiskArchive : public TZlZipArchive {
public:
    FullDiskArchive(const std::string& name, std::int64_t limit)
        : TZlZipArchive(name, fmOpenReadWrite), limit_(limit) {}
    std::unique_ptr<TZlStream> OpenFile(const std::string& Name, std::uint16_t Mode) override {
        auto s = TZlZipArchive::OpenFile(Name, Mode);
        if (Name == FileName()) return s;
        return std::make_unique<FailingStream>(std::move(s), limit_);
    }

private:
    std::int64_t limit_;
};

void bindInsert(TZlZipArchive& a) {
    a.InsertHelper = [](TZlZipArchive* s, TZlZipItem& item, TZlStream& out) {
        TZlInsertSettings set;
        set.BaseDirectory = s->BaseDirectory();
        set.Password = s->Password;
        set.Encryption = s->Encryption;
        set.OnProgress = [s, &item](std::uint8_t p, bool&) { s->ItemProgress(&item, p); };
        ZlInsertHelper(set, item, out);
    };
}

class SaveSafety : public ::testing::Test {
protected:
    void SetUp() override {
        writeTree(dir / "src", sampleTree());
        zipTree(dir / "a.zip", dir / "src", "*");
        original = testsupport::readFile(dir / "a.zip");
        Tree extra;
        extra["new1.txt"] = textBytes(40000, 21);
        extra["new2.bin"] = randomBytes(9000, 22);
        writeTree(dir / "add", extra);
    }
    // Marks changes of every kind: a delete, a rename, two adds.
    void change(TZlZipArchive& a) {
        a.SetBaseDirectory(dir / "add");
        bindInsert(a);
        a.DeleteFiles("sub/b.bin");
        a.Move(a.Items(0), "renamed.txt");
        a.AddFiles("*", 0);
    }
    void expectUntouched() {
        EXPECT_EQ(testsupport::readFile(dir / "a.zip"), original);
        EXPECT_EQ(strayFiles(dir.path(), {"a.zip"}), std::vector<std::string>{});
    }
    TempDir dir;
    Bytes original;
};

TEST_F(SaveSafety, ReadErrorOnTheOnlyNewFileLeavesTheArchiveAlone) {
    TZlZipArchive a(dir / "a.zip", fmOpenReadWrite);
    a.Load();
    a.SetBaseDirectory(dir / "add");
    std::vector<std::string> failures;
    a.OnProcessItemFailure = [&](TObject*, TZlArchiveItem* i, TZlProcessType t, TZlErrorClass c,
                                 int code) {
        failures.push_back(i->FileName() + " " + std::to_string(t) + " " + std::to_string(c) + " " +
                           std::to_string(code));
    };
    // The file reads half-way, then the device fails.
    a.InsertHelper = [](TZlZipArchive*, TZlZipItem&, TZlStream& out) {
        const Bytes half(5000, 'x');
        out.WriteBuffer(half.data(), half.size());
        throw EInOutError("Cannot read \"new1.txt\": Input/output error", EIO);
    };
    a.AddFiles("new1.txt", 0);
    a.Save();
    EXPECT_EQ(failures, std::vector<std::string>{"new1.txt 0 1 5"});
    expectUntouched();
    EXPECT_EQ(a.Count(), 5);
    EXPECT_FALSE(a.IsDirty);

    // Beside a member that goes in, the failed one is left out and the old
    // members stay whole.
    bindInsert(a);
    auto good = a.InsertHelper;
    a.InsertHelper = [good](TZlZipArchive* s, TZlZipItem& item, TZlStream& out) {
        if (item.FileName() == "new1.txt") throw EInOutError("Input/output error", EIO);
        good(s, item, out);
    };
    a.AddFiles("*", 0);
    a.Save();
    EXPECT_EQ(failures.size(), 2u);
    Tree want = sampleTree();
    want["new2.bin"] = randomBytes(9000, 22);
    expectPeersAccept(dir / "a.zip");
    expectPeersExtract(dir / "a.zip", want, dir / "out");
}

// The output fails at every point of the save in turn: each time the save
// raises, the archive and its folder are as before, and the model can
// still save once there is room.
TEST_F(SaveSafety, AFullDiskAtAnyByteLeavesTheArchiveAlone) {
    std::int64_t fullSize = 0;
    {
        TempDir probe;
        fs::copy_file(dir / "a.zip", probe / "a.zip");
        TZlZipArchive a(probe / "a.zip", fmOpenReadWrite);
        a.Load();
        change(a);
        a.Save();
        fullSize = static_cast<std::int64_t>(fs::file_size(probe / "a.zip"));
    }
    ASSERT_GT(fullSize, 1000);
    std::vector<std::int64_t> limits = {
        0, 1, 4, 29, 30, 100, 4096, fullSize / 2, fullSize - 23, fullSize - 22, fullSize - 1};
    for (std::int64_t at = 1; at < fullSize; at += fullSize / 37) limits.push_back(at);
    for (std::int64_t limit : limits) {
        SCOPED_TRACE(limit);
        FullDiskArchive a(dir / "a.zip", limit);
        a.Load();
        change(a);
        EXPECT_THROW(a.Save(), EZlZipStreamFull);
        expectUntouched();
        EXPECT_EQ(a.State, stIdle);
        EXPECT_TRUE(a.IsDirty);
        // The model still describes the archive on disk.
        TZlZipArchive b(dir / "a.zip", fmOpenRead);
        b.Load();
        for (int i = 0; i < b.Count(); ++i)
            EXPECT_EQ(a.ZipItems(i)->RelativeOffsetOfLocalHeader(),
                      b.ZipItems(i)->RelativeOffsetOfLocalHeader());
    }
    FullDiskArchive a(dir / "a.zip", fullSize);
    a.Load();
    change(a);
    a.Save();
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(dir / "a.zip")), fullSize);
    expectPeersAccept(dir / "a.zip");
}

// AES members added to an archive: a full disk anywhere, the authentication
// code included, leaves the archive as it was; with room, 7z reads the
// new members with the password.
TEST_F(SaveSafety, AFullDiskWhileAddingAesMembersLeavesTheArchiveAlone) {
    const auto aesChange = [this](TZlZipArchive& a) {
        a.Password = "pw";
        a.Encryption = zeAes256;
        change(a);
    };
    std::int64_t fullSize = 0;
    {
        TempDir probe;
        fs::copy_file(dir / "a.zip", probe / "a.zip");
        TZlZipArchive a(probe / "a.zip", fmOpenReadWrite);
        a.Load();
        aesChange(a);
        a.Save();
        fullSize = static_cast<std::int64_t>(fs::file_size(probe / "a.zip"));
    }
    ASSERT_GT(fullSize, 1000);
    std::vector<std::int64_t> limits = {0, 30, fullSize / 2, fullSize - 23, fullSize - 1};
    for (std::int64_t at = 1; at < fullSize; at += fullSize / 23) limits.push_back(at);
    for (std::int64_t limit : limits) {
        SCOPED_TRACE(limit);
        FullDiskArchive a(dir / "a.zip", limit);
        a.Load();
        aesChange(a);
        EXPECT_THROW(a.Save(), EZlZipStreamFull);
        expectUntouched();
        EXPECT_TRUE(a.IsDirty);
    }
    FullDiskArchive a(dir / "a.zip", fullSize);
    a.Load();
    aesChange(a);
    a.Save();
    Tree want = sampleTree();
    want.erase("sub/b.bin");
    want["renamed.txt"] = want["a.txt"];
    want.erase("a.txt");
    want["new1.txt"] = textBytes(40000, 21);
    want["new2.bin"] = randomBytes(9000, 22);
    expectAesPeers(dir / "a.zip", want, dir / "x", "pw");
}

// The same with a real file-size limit, in a child process, so that the
// kernel's copy of kept members fails too (EFBIG).
TEST_F(SaveSafety, ARealWriteLimitLeavesTheArchiveAlone) {
    const auto size = static_cast<rlim_t>(original.size());
    for (rlim_t limit : {rlim_t(1), size / 3, size - 10}) {
        SCOPED_TRACE(limit);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
            int code = 0;
            try {
                TZlZipArchive a(dir / "a.zip", fmOpenReadWrite);
                a.Load();
                change(a);
                a.Save();
                code = 1;
            } catch (const EZlZipStreamFull&) {
                code = 0;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: %s\n", typeid(e).name(), e.what());
                code = 2;
            }
            ::_exit(code);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved beyond the limit, 2: another exception";
        expectUntouched();
    }
}

TEST_F(SaveSafety, AnAbortFromTheProgressEventsLeavesTheArchiveAlone) {
    for (int at : {0, 18, 40, 72, 90, 92, 95}) {
        SCOPED_TRACE(at);
        TZlZipArchive a(dir / "a.zip", fmOpenReadWrite);
        a.Load();
        change(a);
        a.OnArchiveProgress = [at](TObject*, std::uint8_t p, bool& abort) { abort = p >= at; };
        EXPECT_THROW(a.Save(), EZlUserAbort);
        EXPECT_EQ(a.State, stInvalid);
        EXPECT_THROW(a.DeleteFiles("*"), EZlNoArchive);
        expectUntouched();
    }
    // From inside a member being compressed.
    TZlZipArchive a(dir / "a.zip", fmOpenReadWrite);
    a.Load();
    change(a);
    a.OnArchiveItemProgress = [](TObject*, TZlArchiveItem*, std::uint8_t p, bool& abort) {
        abort = p >= 50;
    };
    EXPECT_THROW(a.Save(), EZlUserAbort);
    EXPECT_EQ(a.State, stInvalid);
    expectUntouched();
}

// ---- Spanned sets on removable disks ----

struct SpannedSet {
    DiskDrive drive;
    Tree tree = sampleTree();
    explicit SpannedSet(std::int64_t capacity) : drive(capacity) {}
};

// Writes the sample tree onto disks of the given capacity.
void writeSpanned(SpannedSet& set, const std::string& work, std::vector<std::string>* events) {
    writeTree(work + "/src", set.tree);
    set.drive.insertBlank();
    RemovableArchive a(work + "/floppy.zip", fmCreate, set.drive);
    a.SetBaseDirectory(work + "/src");
    a.StoreOptions.Include(soRecurse);
    bindInsert(a);
    a.OnRequestBlankDisk = [&](TObject*, bool&) {
        if (events) events->push_back("blank");
        set.drive.insertBlank();
    };
    a.AddFiles("*", 0);
    a.Save();
    EXPECT_EQ(a.IsSpanned, set.drive.disks.size() > 1);
}

// Loads the set back, asking for disks through the events, and extracts it.
Tree readSpanned(SpannedSet& set, const std::string& work, std::vector<std::string>* events) {
    set.drive.inserted = 0; // the user starts with the first disk
    RemovableArchive a(work + "/floppy.zip", fmOpenRead, set.drive);
    a.OnRequestLastDisk = [&](TObject*, bool&) {
        if (events) events->push_back("last");
        set.drive.inserted = static_cast<int>(set.drive.disks.size()) - 1;
    };
    a.OnRequestNthDisk = [&](TObject*, std::uint8_t n, bool&) {
        if (events) events->push_back("disk " + std::to_string(n));
        set.drive.inserted = n - 1;
    };
    a.Load();
    EXPECT_TRUE(a.IsSpanned);
    TZlExtractSettings s;
    s.BaseDirectory = work + "/out";
    s.ExtractOptions = {eoCreateDirs, eoRestorePath};
    fs::create_directories(s.BaseDirectory);
    a.ExtractHelper = [&](TZlZipArchive* arc, TZlZipItem& item, const std::string& name) {
        ZlExtractHelper(s, *arc, item, name);
    };
    a.ExtractFiles("*");
    return readTree(work + "/out");
}

TEST(SpannedWrite, SmallDisksGiveASetThatLoadsAgain) {
    TempDir d;
    SpannedSet set(8000);
    std::vector<std::string> events;
    writeSpanned(set, d.path(), &events);
    const std::size_t disks = set.drive.disks.size();
    ASSERT_GE(disks, 3u);
    EXPECT_EQ(events.size(), disks - 1);
    EXPECT_EQ(plat::le32(set.drive.disks[0]->data()), 0x08074B50u);
    EXPECT_EQ(set.drive.labels[0], "PKBACK# 001");
    EXPECT_EQ(set.drive.labels[1], "PKBACK# 002");
    for (const auto& disk : set.drive.disks) EXPECT_LE(disk->size(), 8000u);

    events.clear();
    EXPECT_EQ(readSpanned(set, d.path(), &events), set.tree);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], "last");

    // The same disks as split files, which 7z and the library read as one
    // archive.
    for (std::size_t i = 0; i + 1 < disks; ++i) {
        char ext[32];
        std::snprintf(ext, sizeof ext, ".z%02zu", i + 1);
        testsupport::writeFile(d / ("split" + std::string(ext)), *set.drive.disks[i]);
    }
    testsupport::writeFile(d / "split.zip", *set.drive.disks.back());
    TZlZipArchive split(d / "split.zip", fmOpenRead);
    split.Load();
    EXPECT_TRUE(split.IsSplit);
    EXPECT_EQ(split.Count(), static_cast<int>(set.tree.size()));
    const PeerResult r = peer("7z", "7z t " + q(d / "split.zip"));
    if (r.ran) {
        EXPECT_EQ(r.status, 0) << r.output;
    }
}

TEST(SpannedWrite, AbortAtTheBlankDiskRequest) {
    TempDir d;
    SpannedSet set(8000);
    writeTree(d / "src", set.tree);
    set.drive.insertBlank();
    RemovableArchive a(d / "floppy.zip", fmCreate, set.drive);
    a.SetBaseDirectory(d / "src");
    a.StoreOptions.Include(soRecurse);
    bindInsert(a);
    a.OnRequestBlankDisk = [](TObject*, bool& abort) { abort = true; };
    a.AddFiles("*", 0);
    EXPECT_THROW(a.Save(), EZlUserAbort);
    EXPECT_EQ(a.State, stInvalid);
}

TEST(SpannedWrite, ADiskTooSmallForOneRecordFails) {
    TempDir d;
    SpannedSet set(40);
    writeTree(d / "src", set.tree);
    set.drive.insertBlank();
    RemovableArchive a(d / "floppy.zip", fmCreate, set.drive);
    a.SetBaseDirectory(d / "src");
    bindInsert(a);
    a.OnRequestBlankDisk = [&](TObject*, bool&) { set.drive.insertBlank(); };
    a.AddFiles("sub/deeper/*", 0);
    EXPECT_THROW(a.Save(), EZlZipStreamFull);
}

TEST(SpannedWrite, ASpannedSetCannotBeRewritten) {
    TempDir d;
    SpannedSet set(8000);
    writeSpanned(set, d.path(), nullptr);
    set.drive.inserted = static_cast<int>(set.drive.disks.size()) - 1;
    RemovableArchive a(d / "floppy.zip", fmOpenRead, set.drive);
    // The directory may begin on an earlier disk.
    a.OnRequestNthDisk = [&](TObject*, std::uint8_t n, bool&) { set.drive.inserted = n - 1; };
    a.Load();
    a.DeleteFiles("a.txt");
    try {
        a.Save();
        FAIL();
    } catch (const EZlZipSpanOverwrite& e) {
        EXPECT_STREQ(e.what(), "Cannot update an existing spanned disk set");
    }
}

} // namespace
