// The archive model: loading, the stored-name rule, duplicates, deleting,
// renaming, saving (layout, progress, stubs, data descriptors, empty
// archives), and the zipper around it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "archive/core/Crc.h"
#include "archive/format/ZipFormat.h"
#include "archive/zip/InsertHelper.h"
#include "platform/Endian.h"
#include "zip/ArchiveTestSupport.h"

using namespace ziptest;
using plat::le16;
using plat::le32;

namespace {

TZlMemoryStream* memoryOf(const Bytes& b) {
    auto* s = new TZlMemoryStream;
    s->Data = b;
    return s;
}

// Every member listed in the directory has its local header at its offset,
// offsets run consecutively from `start` in directory order, and the end
// record counts the members.
void expectConsecutiveLayout(const Bytes& zip, std::uint64_t start, std::size_t members) {
    auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(zip.size()))
            return false;
        std::memcpy(buf, zip.data() + pos, n);
        return true;
    };
    zip::Directory dir;
    ASSERT_EQ(zip::locateDirectory(read, static_cast<std::int64_t>(zip.size()), 0, dir),
              zip::DirStatus::Ok);
    EXPECT_EQ(dir.OffsetDelta, 0);
    EXPECT_EQ(dir.End.Entries, members);
    std::int64_t pos = dir.FirstCentral;
    std::uint64_t expect = start;
    for (std::size_t i = 0; i < members; ++i) {
        zip::CentralHeader h;
        ASSERT_TRUE(zip::parseCentral(zip.data() + pos, h));
        EXPECT_EQ(h.LocalOffset, expect) << "member " << i;
        zip::LocalHeader l;
        ASSERT_TRUE(zip::parseLocal(zip.data() + h.LocalOffset, l));
        expect = h.LocalOffset + l.TotalLength() + h.PackedSize +
                 ((h.Flags & zip::kFlagDescriptor) ? 12 : 0);
        pos += static_cast<std::int64_t>(h.TotalLength());
    }
    EXPECT_EQ(expect, dir.End.DirOffset) << "the directory follows the last member";
}

class ArchiveModel : public ::testing::Test {
protected:
    void SetUp() override {
        writeTree(dir / "src", sampleTree());
        zipTree(dir / "a.zip", dir / "src", "*");
    }
    TempDir dir;
};

// ---- Loading ----

TEST(ArchiveLoad, RefusesWhatIsNotAZip) {
    const Bytes cases[] = {{'X', 'Y', 'Z', 1, 2, 3}, {'P', 'K'}, {'M', 'Z', 0, 0}};
    for (const Bytes& b : cases) {
        TZlZipArchive a(memoryOf(b), true);
        try {
            a.Load();
            FAIL() << "loaded";
        } catch (const EZlZipInvalid& e) {
            EXPECT_EQ(e.ErrorCode, 28);
            EXPECT_STREQ(e.what(), "Invalid file - not a PKZip file");
        }
        EXPECT_EQ(a.State, stInvalid);
        EXPECT_THROW(a.DeleteFiles("*"), EZlNoArchive);
        EXPECT_THROW(a.AddFiles("x", 0), EZlNoArchive);
    }
}

TEST_F(ArchiveModel, LoadsMembersInDirectoryOrderWithProgressTo100) {
    TZlZipArchive a(dir / "a.zip", fmOpenRead);
    std::vector<int> progress;
    a.OnArchiveProgress = [&](TObject*, std::uint8_t p, bool&) { progress.push_back(p); };
    a.Load();
    // A folder's own files come before its subfolders'.
    EXPECT_EQ(names(a), (std::vector<std::string>{"a.txt", "empty.dat", "sub/b.bin", "sub/x.exe",
                                                  "sub/deeper/c.txt"}));
    EXPECT_EQ(progress, (std::vector<int>{20, 40, 60, 80, 100, 100}));
    EXPECT_FALSE(a.IsDirty);
    EXPECT_EQ(a.State, stIdle);
    EXPECT_EQ(a.ZipItems(4)->UncompressedSize(), 70000u);
}

TEST(ArchiveLoad, AnEmptyStreamLoadsNothingAndReports100) {
    TZlZipArchive a(new TZlMemoryStream, true);
    std::vector<int> progress;
    a.OnArchiveProgress = [&](TObject*, std::uint8_t p, bool&) { progress.push_back(p); };
    a.Load();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(progress, std::vector<int>{100});
}

// The end record may stand far more than 2 KB before the end.
TEST_F(ArchiveModel, LongArchiveCommentsAreFound) {
    if (!testsupport::haveTool("zip")) GTEST_SKIP() << "zip not installed";
    const std::string comment(40000, 'c');
    testsupport::writeFile(dir / "comment.txt", comment);
    ASSERT_EQ(testsupport::run("zip -q -z " + q(dir / "a.zip") + " < " + q(dir / "comment.txt")),
              0);
    TZlZipArchive a(dir / "a.zip", fmOpenRead);
    a.Load();
    EXPECT_EQ(a.Count(), 5);
    EXPECT_GT(a.Footer.Comment.size(), comment.size());
    EXPECT_EQ(a.Footer.Comment.substr(0, 100), comment.substr(0, 100));
}

TEST(ArchiveLoad, AbortFromProgressLeavesTheArchiveInvalid) {
    TempDir d;
    writeTree(d / "src", sampleTree());
    zipTree(d / "a.zip", d / "src", "*");
    TZlZipArchive a(d / "a.zip", fmOpenRead);
    a.OnArchiveProgress = [](TObject*, std::uint8_t p, bool& abort) { abort = p >= 40; };
    EXPECT_THROW(a.Load(), EZlUserAbort);
    EXPECT_EQ(a.State, stInvalid);
}

TEST(ArchiveLoad, SpannedSetsNeedAFile) {
    Bytes b = {0x50, 0x4B, 0x07, 0x08, 1, 2, 3};
    TZlZipArchive a(memoryOf(b), true);
    try {
        a.Load();
        FAIL();
    } catch (const EZlZipBadSpanStream& e) {
        EXPECT_STREQ(e.what(), "Spanned archives must be opened as file streams");
    }
}

// ---- Stored names and masks ----

TEST(StoredNames, FixNameRule) {
    struct Case {
        const char* path;
        TZlStoreOptions options;
        const char* stored;
    } cases[] = {
        {"a.txt", {}, "a.txt"},
        {"/home/u/a.txt", {}, "home/u/a.txt"},
        {"//x/y", {}, "x/y"},
        {"C:/dir/a", {}, "dir/a"},
        {"../../a/b", {soRemoveDots}, "a/b"},
        {"../../a/b", {}, "../../a/b"},
        {"./x/./y/../z", {}, "x/z"},
        {"dir/sub/a.txt", {soStripPath}, "a.txt"},
        {"../a/b.txt", {soStripPath, soRemoveDots}, "b.txt"},
        {"back\\slash", {}, "back\\slash"},
    };
    for (const Case& c : cases) {
        TZlZipArchive a(new TZlMemoryStream, true);
        a.StoreOptions = c.options;
        EXPECT_EQ(a.FixName(c.path), c.stored) << c.path;
        EXPECT_TRUE(a.StoreOptions.Contains(soStripDrive));
    }
}

TEST(StoredNames, MaskMatching) {
    struct Case {
        const char* mask;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "README", true},
        {"*.*", "dir/a.txt", true},
        {"*.TXT", "sub/a.txt", true},
        {"*.txt", "a.doc", false},
        {"sub/*.txt", "sub/a.txt", true},
        {"sub/*", "other/a", false},
        {"sub\\a.txt", "sub/a.txt", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"s*/*", "sub/x", true},
        {"a.*", "a", true},
        {"*", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZlMatchesMask(c.mask, c.name), c.match) << c.mask << " " << c.name;
}

// ---- Adding ----

TEST_F(ArchiveModel, DuplicatesAreRefusedWithCode7) {
    TZlZipper z;
    EventLog log;
    recordEvents(z, log);
    z.SetBaseDirectory(dir / "src");
    z.SetFileName(dir / "a.zip");
    testsupport::writeFile(dir / "src/A.TXT", std::string("upper"));
    z.AddFiles("A.TXT", 0);
    z.AddFiles("sub/b.bin", 0);
    EXPECT_EQ(log.failureCodes, (std::vector<int>{7, 7}));
    EXPECT_EQ(log.lines[1], "failure A.TXT 0 0 7");
    EXPECT_FALSE(z.Archive()->IsDirty);
    // A name without folder does not clash with the same name in a folder.
    testsupport::writeFile(dir / "src/b.bin", std::string("top"));
    z.AddFiles("b.bin", 0);
    EXPECT_EQ(log.failureCodes.size(), 2u);
    // Marked for deletion, the name is free again.
    z.DeleteFiles("a.txt");
    z.AddFiles("A.TXT", 0);
    EXPECT_EQ(log.failureCodes.size(), 2u);
    z.Save();
    TZlZipArchive back(dir / "a.zip", fmOpenRead);
    back.Load();
    EXPECT_EQ(names(back), (std::vector<std::string>{"empty.dat", "sub/b.bin", "sub/x.exe",
                                                     "sub/deeper/c.txt", "b.bin", "A.TXT"}));
}

TEST_F(ArchiveModel, RecursionMasksAndHiddenFiles) {
    testsupport::writeFile(dir / "src/.hidden", std::string("h"));
    testsupport::writeFile(dir / "src/sub/.h2", std::string("h"));
    struct Case {
        const char* mask;
        bool recurse;
        int attr;
        std::vector<std::string> stored;
    } cases[] = {
        {"*.txt", false, 0, {"a.txt"}},
        {"*.txt", true, 0, {"a.txt", "sub/deeper/c.txt"}},
        {"sub/*", false, 0, {"sub/b.bin", "sub/x.exe"}},
        {"sub/*", true, plat::faHidden, {"sub/.h2", "sub/b.bin", "sub/x.exe", "sub/deeper/c.txt"}},
        {"*", false, plat::faHidden, {".hidden", "a.txt", "empty.dat"}},
        {"a.txt", false, 0, {"a.txt"}},
    };
    for (const Case& c : cases) {
        TZlZipper z;
        z.SetBaseDirectory(dir / "src");
        if (c.recurse) z.SetStoreOptions({soStripDrive, soRemoveDots, soRecurse});
        z.SetFileName(dir / "new.zip");
        z.AddFiles(c.mask, c.attr);
        EXPECT_EQ(names(*z.Archive()), c.stored) << c.mask;
        z.DiscardChanges();
        z.SetFileName("");
    }
    EXPECT_FALSE(plat::fileExists(dir / "new.zip"));
}

// ---- Deleting, renaming, saving ----

TEST_F(ArchiveModel, DeletesLeaveConsecutiveOffsetsAndCountOnlyWhatRemains) {
    TZlZipper z;
    EventLog log;
    recordEvents(z, log);
    z.SetFileName(dir / "a.zip");
    log.archiveProgress.clear();
    z.DeleteFiles("*.txt");
    EXPECT_EQ(log.archiveProgress, (std::vector<int>{20, 40, 60, 80, 100, 100}));
    log.archiveProgress.clear();
    z.Save();
    // 0 to 90 by members, 90 to 95 by directory records, then 100.
    EXPECT_EQ(log.archiveProgress, (std::vector<int>{18, 36, 54, 72, 90, 92, 93, 94, 100}));
    const Bytes zipBytes = testsupport::readFile(dir / "a.zip");
    expectConsecutiveLayout(zipBytes, 0, 3);
    EXPECT_EQ(names(*z.Archive()),
              (std::vector<std::string>{"empty.dat", "sub/b.bin", "sub/x.exe"}));
    expectPeersAccept(dir / "a.zip");
}

TEST_F(ArchiveModel, DeletingEverythingWritesAnEmptyArchive) {
    TZlZipper z;
    z.SetFileName(dir / "a.zip");
    z.DeleteFiles("*");
    z.Save();
    const Bytes b = testsupport::readFile(dir / "a.zip");
    ASSERT_EQ(b.size(), 22u);
    EXPECT_EQ(le32(b.data()), zip::kEndSig);
    EXPECT_EQ(le16(b.data() + 10), 0);
    TZlZipArchive back(dir / "a.zip", fmOpenRead);
    back.Load();
    EXPECT_EQ(back.Count(), 0);
    const PeerResult r = peer("7z", "7z t " + q(dir / "a.zip"));
    if (r.ran) {
        EXPECT_EQ(r.status, 0) << r.output;
    }
}

TEST(ArchiveSave, ANewArchiveWithoutMembersLeavesNoFile) {
    TempDir d;
    {
        TZlZipper z;
        z.SetFileName(d / "new.zip");
        z.Save();
        EXPECT_FALSE(plat::fileExists(d / "new.zip"));
        // Every member failing leaves nothing either.
        z.AddFiles(d / "missing.txt", 0);
        EventLog log;
        recordEvents(z, log);
        z.Save();
        EXPECT_EQ(log.lines,
                  std::vector<std::string>{"failure " + (d / "missing.txt").substr(1) + " 0 4 0"});
        EXPECT_EQ(z.Archive()->Count(), 0);
    }
    EXPECT_FALSE(plat::fileExists(d / "new.zip"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(d.path())) left.push_back(e.path().string());
    EXPECT_TRUE(left.empty()) << "temporary files left behind";
}

TEST_F(ArchiveModel, RenamedMembersKeepTheirDataAndRefuseTakenNames) {
    TZlZipper z;
    EventLog log;
    recordEvents(z, log);
    z.SetFileName(dir / "a.zip");
    TZlZipArchive& a = *z.Archive();
    z.Move(a.Items(0), "renamed/ä.txt");
    z.Move(a.Items(1), "SUB/B.BIN");
    EXPECT_EQ(log.failureCodes, std::vector<int>{7});
    EXPECT_EQ(log.lines.back(), "failure empty.dat 4 0 7");
    z.Save();
    EXPECT_EQ(a.ZipItems(0)->FileName(), "renamed/ä.txt");
    EXPECT_TRUE(a.ZipItems(0)->GeneralPurposeBitFlag() & zip::kFlagUtf8);
    expectPeersAccept(dir / "a.zip");
    Tree want = sampleTree();
    want["renamed/ä.txt"] = want["a.txt"];
    want.erase("a.txt");
    expectPeersExtract(dir / "a.zip", want, dir / "out");
}

TEST_F(ArchiveModel, ANewMemberRecordsHostUnixModeAndUtf8Names) {
    testsupport::writeFile(dir / "src/naïve.sh", std::string("#!/bin/sh\n"));
    ::chmod((dir / "src/naïve.sh").c_str(), 0751);
    TZlZipper z;
    z.SetBaseDirectory(dir / "src");
    z.SetFileName(dir / "a.zip");
    z.AddFiles("naïve.sh", 0);
    z.Save();
    const TZlZipItem& it = *z.Archive()->ZipItems(5);
    EXPECT_EQ(it.FileName(), "naïve.sh");
    EXPECT_EQ(it.VersionMadeBy() >> 8, 3);
    EXPECT_EQ(it.ExternalFileAttributes() >> 16, 0100751u);
    EXPECT_EQ(it.GeneralPurposeBitFlag() & zip::kFlagUtf8, zip::kFlagUtf8);
    if (testsupport::haveTool("unzip")) {
        ASSERT_EQ(testsupport::run("cd " + q(dir.path()) + " && unzip -qq a.zip naïve.sh -d un"),
                  0);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "un/naïve.sh").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0751u & ~plat::creationMask());
    }
}

TEST_F(ArchiveModel, PendingAddsAreDroppedByDeleteWithoutASave) {
    TZlZipper z;
    z.SetBaseDirectory(dir / "src");
    z.SetFileName(dir / "a.zip");
    testsupport::writeFile(dir / "src/new.txt", std::string("n"));
    const Bytes before = testsupport::readFile(dir / "a.zip");
    z.AddFiles("new.txt", 0);
    z.DeleteFiles("new.txt");
    EXPECT_EQ(z.Archive()->Count(), 5);
    EXPECT_FALSE(z.Archive()->IsDirty);
    z.SetFileName("");
    EXPECT_EQ(testsupport::readFile(dir / "a.zip"), before);
}

TEST_F(ArchiveModel, AutoSaveWritesEachChange) {
    TZlZipper z;
    int saves = 0;
    z.OnSave = [&](TObject*) { ++saves; };
    z.SetAutoSave(true);
    z.SetFileName(dir / "a.zip");
    z.DeleteFiles("a.txt");
    z.DeleteFiles("sub/b.bin");
    EXPECT_EQ(saves, 2);
    TZlZipArchive back(dir / "a.zip", fmOpenRead);
    back.Load();
    EXPECT_EQ(back.Count(), 3);
}

TEST_F(ArchiveModel, ConfirmEventsCanDecline) {
    TZlZipper z;
    z.OnConfirmProcessItem = [](TObject*, TZlArchiveItem* i, TZlProcessType, bool& c) {
        c = i->FileName() != "a.txt";
    };
    bool askedToSave = false;
    z.OnConfirmSave = [&](TObject*, bool& c) {
        askedToSave = true;
        c = false;
    };
    z.SetFileName(dir / "a.zip");
    z.DeleteFiles("*.txt");
    EXPECT_EQ(z.Archive()->ZipItems(0)->Action, iaNone);
    EXPECT_EQ(z.Archive()->ZipItems(4)->Action, iaDelete);
    const Bytes before = testsupport::readFile(dir / "a.zip");
    z.Save();
    EXPECT_TRUE(askedToSave);
    EXPECT_EQ(testsupport::readFile(dir / "a.zip"), before);
    z.DiscardChanges();
}

// An archive whose temporary files cannot be created (a full folder).
class NoTempArchive : public TZlZipArchive {
public:
    using TZlZipArchive::TZlZipArchive;
    std::unique_ptr<TZlStream> OpenFile(const std::string& Name, std::uint16_t Mode) override {
        if (Name != FileName() && Mode == fmCreate) throw EFCreateError("Cannot create file");
        return TZlZipArchive::OpenFile(Name, Mode);
    }
};

class NoTempZipper : public TZlZipper {
protected:
    std::unique_ptr<TZlZipArchive> MakeArchive(const std::string& name,
                                               std::uint16_t mode) override {
        return std::make_unique<NoTempArchive>(name, mode);
    }
};

// Switching archives writes the first one's pending changes; a failure to
// write them is raised and the first archive stays open with them.
TEST_F(ArchiveModel, ChangingFileNameSavesOrReports) {
    {
        TZlZipper z;
        bool confirmed = false;
        z.OnConfirmSave = [&](TObject*, bool&) { confirmed = true; };
        z.SetFileName(dir / "a.zip");
        z.DeleteFiles("a.txt");
        z.SetFileName(dir / "b.zip");
        EXPECT_TRUE(confirmed);
        TZlZipArchive back(dir / "a.zip", fmOpenRead);
        back.Load();
        EXPECT_EQ(back.Count(), 4);
    }
    const Bytes before = testsupport::readFile(dir / "a.zip");
    NoTempZipper z;
    z.SetFileName(dir / "a.zip");
    z.DeleteFiles("empty.dat");
    EXPECT_THROW(z.SetFileName(dir / "b.zip"), EFCreateError);
    EXPECT_EQ(z.FileName(), dir / "a.zip");
    EXPECT_TRUE(z.Archive()->IsDirty);
    EXPECT_EQ(testsupport::readFile(dir / "a.zip"), before);
    z.DiscardChanges();
    z.SetFileName("");
    EXPECT_EQ(testsupport::readFile(dir / "a.zip"), before);
}

// A stored member and an encrypted member of length 0 keep their local
// headers; a member with a data descriptor keeps one after a save.
TEST(ArchiveSave, KeptMembersWithDescriptorsAndEmptyMembers) {
    if (!testsupport::haveTool("zip")) GTEST_SKIP() << "zip not installed";
    TempDir d;
    writeTree(d / "src", sampleTree());
    ASSERT_EQ(testsupport::run("cd " + q(d / "src") + " && zip -q -fd -r ../d.zip ."), 0);
    TZlZipper z;
    z.SetFileName(d / "d.zip");
    const TZlZipItem& first = *z.Archive()->ZipItems(0);
    ASSERT_TRUE(first.GeneralPurposeBitFlag() & zip::kFlagDescriptor);
    z.DeleteFiles("sub/b.bin");
    z.Save();
    const Bytes b = testsupport::readFile(d / "d.zip");
    expectConsecutiveLayout(b, 0, z.Archive()->Count());
    // Right after the first member's data: its CRC and sizes, no signature.
    const TZlZipItem& it = *z.Archive()->ZipItems(0);
    const std::size_t after =
        zip::kLocalSize + it.FileName().size() + it.ExtraField().size() + it.CompressedSize();
    EXPECT_EQ(le32(&b[after]), it.CRC32());
    EXPECT_EQ(le32(&b[after + 4]), it.CompressedSize());
    EXPECT_EQ(le32(&b[after + 8]), it.UncompressedSize());
    expectPeersAccept(d / "d.zip");
    Tree want = sampleTree();
    want.erase("sub/b.bin");
    expectPeersExtract(d / "d.zip", want, d / "out");
}

// A new archive written onto a removable disk with room begins with
// "PK00" and its first member at offset 4, and loads as a plain archive.
TEST(ArchiveSave, NewArchiveOnARemovableDiskStartsWithPK00) {
    TempDir d;
    writeTree(d / "src", sampleTree());
    DiskDrive drive(10 << 20);
    drive.insertBlank();
    RemovableArchive a(d / "floppy.zip", fmCreate, drive);
    a.SetBaseDirectory(d / "src");
    a.InsertHelper = [](TZlZipArchive* s, TZlZipItem& item, TZlStream& out) {
        TZlInsertSettings set;
        set.BaseDirectory = s->BaseDirectory();
        ZlInsertHelper(set, item, out);
    };
    a.AddFiles("*.txt", 0);
    a.Save();
    ASSERT_EQ(drive.disks.size(), 1u);
    const Bytes& disk = *drive.disks[0];
    EXPECT_EQ(std::string(disk.begin(), disk.begin() + 4), "PK00");
    EXPECT_EQ(a.ZipItems(0)->RelativeOffsetOfLocalHeader(), 4u);
    EXPECT_FALSE(a.IsSpanned);
    expectConsecutiveLayout(disk, 4, 1);
    testsupport::writeFile(d / "copy.zip", disk);
    TZlZipArchive back(d / "copy.zip", fmOpenRead);
    back.Load();
    EXPECT_FALSE(back.IsSpanned);
    EXPECT_EQ(names(back), std::vector<std::string>{"a.txt"});
    expectPeersAccept(d / "copy.zip");
}

} // namespace
