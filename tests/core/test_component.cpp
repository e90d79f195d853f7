#include "archive/core/ArcRoot.h"
#include "archive/core/Hooks.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

TEST(ArcFileAttr, MaskAndFlagsStayInStep) {
    TArcFileAttr a;
    EXPECT_EQ(a.Mask, 33);
    EXPECT_TRUE(a.ftArchive());
    EXPECT_TRUE(a.ftReadOnly());
    EXPECT_FALSE(a.ftHidden());
    EXPECT_FALSE(a.ftSysFile());
    EXPECT_FALSE(a.ftVolumeID());
    EXPECT_FALSE(a.ftDirectory());
    a.SetftHidden(true);
    EXPECT_EQ(a.Mask, 35);
    a.SetftHidden(true);
    EXPECT_EQ(a.Mask, 35);
    a.SetftArchive(false);
    EXPECT_EQ(a.Mask, 3);
    a.SetftDirectory(true);
    EXPECT_EQ(a.Mask, 3) << "the directory flag does not touch the mask";
    a.SetftSysFile(true);
    a.SetftVolumeID(true);
    EXPECT_EQ(a.Mask, 15);
}

TEST(Progress, StepsOfTwentyFiveAndTheFinalHundred) {
    std::vector<int> reported;
    std::uint8_t percent = 0;
    for (int done = 1; done <= 1000; ++done)
        if (ProgressDue(false, 25, percent, 1000, done)) reported.push_back(percent);
    EXPECT_EQ(reported, (std::vector<int>{25, 50, 75, 100}));
    // 100 is reported even when it is not a fresh step after 75.
    percent = 75;
    EXPECT_TRUE(ProgressDue(false, 25, percent, 10, 10));
    EXPECT_EQ(percent, 100);
}

TEST(Progress, ZeroTotalsForcingAndLargeMembers) {
    std::uint8_t percent = 0;
    EXPECT_FALSE(ProgressDue(false, 10, percent, 0, 5));
    EXPECT_FALSE(ProgressDue(false, 10, percent, 5, 0));
    EXPECT_TRUE(ProgressDue(true, 10, percent, 100, 7));
    EXPECT_EQ(percent, 7);
    EXPECT_FALSE(ProgressDue(true, 10, percent, 100, 7)) << "same percent twice";
    // Sizes beyond 32 bits still give sensible percents.
    percent = 0;
    const std::int64_t big = 6'000'000'000;
    EXPECT_TRUE(ProgressDue(false, 10, percent, big, big / 2));
    EXPECT_EQ(percent, 50);
}

TEST(Progress, ComponentRaisesOnProgressWithItsStep) {
    TZipCommon c;
    c.ProgressNotify = TwentyFive;
    c.FileName = "a.txt";
    std::vector<int> seen;
    c.OnProgress = [&](TObject* s, const std::string& fn, std::uint8_t p) {
        EXPECT_EQ(s, &c);
        EXPECT_EQ(fn, "a.txt");
        seen.push_back(p);
    };
    for (int d = 1; d <= 100; ++d) c.DoProgress(false, 100, d);
    EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100}));
}

TEST(ZipCommon, DefaultsAndSetterRules) {
    TZipCommon c;
    EXPECT_EQ(c.ArcType(), atNA);
    EXPECT_TRUE(c.UseStoredDirs);
    EXPECT_FALSE(c.Cancel());
    EXPECT_FALSE(c.About().empty());
    c.SetZipCmntBufSize(100);
    EXPECT_EQ(c.ZipCmntBufSize(), 2000);
    c.SetZipCmntBufSize(40000);
    EXPECT_EQ(c.ZipCmntBufSize(), 32767);
    c.SetZipCmntBufSize(5000);
    EXPECT_EQ(c.ZipCmntBufSize(), 5000);

    c.SetFileSpec("sub\\*.txt");
    EXPECT_EQ(c.FileSpec(), "sub/*.txt");
    c.SetFileSpec("");
    EXPECT_EQ(c.FileSpec(), "") << "at run time an empty spec stays empty";
    c.Designing = true;
    c.SetFileSpec("");
    EXPECT_EQ(c.FileSpec(), "*.*");

    TZipCommon loaded;
    loaded.Loading = true;
    loaded.SetFileSpec("");
    loaded.Loaded();
    EXPECT_EQ(loaded.FileSpec(), "*.*") << "an empty spec loaded from a form means every member";
    EXPECT_FALSE(loaded.Loading);
}

TEST(ZipCommon, ArchiveFileDetectsAndLeavesTheCurrentFolder) {
    TempDir dir;
    testsupport::writeFile(dir / "x.zip", std::vector<std::uint8_t>{0x50, 0x4B, 3, 4, 0, 0, 0, 0});
    std::string old = plat::getCurrentDir();
    TZipCommon c;
    c.CurrentPos = 99;
    c.FileCount = 5;
    c.SetArchiveFile(dir / "x.zip");
    EXPECT_EQ(c.ArcType(), atZIP);
    EXPECT_EQ(c.CurrentPos, 1);
    EXPECT_EQ(c.FileCount, 0);
    EXPECT_EQ(c.ArchiveSize, 8);
    EXPECT_EQ(plat::getCurrentDir(), old);
    EXPECT_EQ(c.ArchiveFile(), dir / "x.zip");
    EXPECT_EQ(c.ArchiveFolder(), dir.path());

    // A relative name is taken from the current folder and kept absolute.
    plat::setCurrentDir(dir.path());
    c.SetArchiveFile("x.zip");
    EXPECT_EQ(c.ArcType(), atZIP);
    EXPECT_EQ(c.ArchiveFile()[0], '/');
    plat::setCurrentDir(old);
    EXPECT_EQ(c.ArcType(), atZIP);

    // Writing ArcType only re-runs detection.
    c.SetArcType(atRAR);
    EXPECT_EQ(c.ArcType(), atZIP);

    c.SetArchiveFile("");
    EXPECT_EQ(c.ArcType(), atNA);
    EXPECT_EQ(plat::getCurrentDir(), old) << "an empty name touches nothing";
}

TEST(ZipCommon, CancelAndArchiveFileLetMessagesRun) {
    int pumped = 0;
    SetProcessMessagesHook([&] { ++pumped; });
    TZipCommon c;
    c.SetCancel(true);
    EXPECT_TRUE(c.Cancel());
    EXPECT_EQ(pumped, 1);
    (void)c.ArchiveFile();
    EXPECT_FALSE(c.Cancel()) << "reading the archive name clears Cancel";
    EXPECT_EQ(pumped, 2);
    SetProcessMessagesHook(nullptr);
}

TEST(CompBase, FileSpecListKeepsNamePartsOnly) {
    TCompBase w;
    TStringList in;
    in.Add("*.TXT");
    in.Add("");
    in.Add("D:/X/*.DOC");
    in.Add("sub\\*.c");
    w.SetFileSpec(in);
    ASSERT_EQ(w.FileSpec().Count(), 3);
    EXPECT_EQ(w.FileSpec()[0], "*.TXT");
    EXPECT_EQ(w.FileSpec()[1], "*.DOC");
    EXPECT_EQ(w.FileSpec()[2], "*.c");
    EXPECT_EQ(w.Switch, swAdd);
    EXPECT_EQ(w.ProgressNotify, Ten);
    EXPECT_EQ(w.FileAttribute().Mask, 33);
}

TEST(CompBase, DefaultDirFallsBackToTheArchiveFolder) {
    TempDir dir;
    TCompBase w;
    std::string cwd = plat::includeTrailingDelimiter(plat::getCurrentDir());
    EXPECT_EQ(w.DefaultDir(), cwd);
    w.SetDefaultDir(dir.path());
    EXPECT_EQ(w.DefaultDir(), dir.path() + "/");
    w.SetDefaultDir(" \t");
    EXPECT_EQ(w.DefaultDir(), cwd);
    w.SetDefaultDir(dir / "does-not-exist");
    EXPECT_EQ(w.DefaultDir(), cwd);
    TempDir other;
    testsupport::writeFile(other / "x.lzh", std::string("not really"));
    w.SetArchiveFile(other / "x.lzh");
    w.SetDefaultDir("");
    EXPECT_EQ(w.DefaultDir(), other.path() + "/");
    w.StoreDirs = true;
    w.SetDefaultDir(dir.path());
    w.MakeFileName("a.txt");
    EXPECT_EQ(w.FileName, dir.path() + "/a.txt");
    w.MakeFileName("");
    EXPECT_EQ(w.FileName, "");
    w.StoreDirs = false;
    w.MakeFileName("a.txt");
    EXPECT_EQ(w.FileName, "a.txt");
}

TEST(CompBase, ReplaceDecision) {
    TCompBase w;
    w.ExistingEntries.push_back({"A.TXT", 0x2B2A0000, 10, 0x20, 0});
    EXPECT_TRUE(w.ReplaceDecision("NEW.TXT", 0, 1, 0x20)) << "absent: added";
    EXPECT_FALSE(w.ReplaceDecision("A.TXT", 0x2B2A0000, 10, 0x20)) << "unchanged: skipped";
    EXPECT_TRUE(w.ReplaceDecision("A.TXT", 0x2B2A0000, 11, 0x20)) << "no handler: replaced";
    int calls = 0;
    w.OnReplaceFile = [&](TObject*, const std::string& fn, TDateTime oldDate, TDateTime newDate,
                          std::int64_t oldSize, std::int64_t newSize, int oldAttr, int newAttr,
                          bool& replace) {
        ++calls;
        EXPECT_EQ(fn, "A.TXT");
        EXPECT_DOUBLE_EQ(oldDate, newDate);
        EXPECT_EQ(oldSize, 10);
        EXPECT_EQ(newSize, 12);
        EXPECT_EQ(oldAttr, 0x20);
        EXPECT_EQ(newAttr, 0x21);
        EXPECT_TRUE(replace);
        replace = false;
    };
    EXPECT_FALSE(w.ReplaceDecision("A.TXT", 0x2B2A0000, 12, 0x21));
    EXPECT_EQ(calls, 1);
}

TEST(TempFileStream, CreatesBhFilesAndRemembersNames) {
    TempDir dir;
    setenv("TMPDIR", dir.path().c_str(), 1);
    std::string first, second;
    {
        TTempFileStream a;
        first = a.Name();
        EXPECT_TRUE(a.write("x", 1));
    }
    {
        TTempFileStream b;
        second = b.Name();
    }
    EXPECT_EQ(plat::extractFileName(first).substr(0, 2), "BH");
    EXPECT_TRUE(plat::fileExists(first)) << "closing does not delete";
    EXPECT_EQ(TTempFileStream::FirstTempName, first);
    EXPECT_EQ(TTempFileStream::LastTempName, second);
    setenv("TMPDIR", (dir / "missing").c_str(), 1);
    EXPECT_THROW(TTempFileStream(), EFOpenError);
    unsetenv("TMPDIR");
}
