// The self-extractor join: stub, then archive, every directory offset
// moved by the stub's length; the result passes the peers, extracts the
// same, loads in the model (stub kept byte for byte through a change).
#include <gtest/gtest.h>

#include <cstring>

#include "archive/format/ZipFormat.h"
#include "archive/zip/SfxJoin.h"
#include "platform/Endian.h"
#include "support/ZipBuilder.h"
#include "zip/ArchiveTestSupport.h"

using namespace ziptest;

namespace {

// A stub: "MZ" and some bytes that look like a program.
Bytes stubBytes(std::size_t n) {
    Bytes b = randomBytes(n, 77);
    b[0] = 'M';
    b[1] = 'Z';
    return b;
}

Bytes join(const Bytes& stub, const Bytes& archive) {
    TZlMemoryStream s, a, out;
    s.Data = stub;
    a.Data = archive;
    ZlMakeSelfExtractor(s, a, out);
    return out.Data;
}

zip::Directory directoryOf(const Bytes& file) {
    auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(file.size()))
            return false;
        std::memcpy(buf, file.data() + pos, n);
        return true;
    };
    zip::Directory d;
    EXPECT_EQ(zip::locateDirectory(read, static_cast<std::int64_t>(file.size()), 0, d),
              zip::DirStatus::Ok);
    return d;
}

TEST(SelfExtractor, OffsetsMoveByTheStubAndTheDataStays) {
    TempDir d;
    writeTree(d / "src", sampleTree());
    zipTree(d / "a.zip", d / "src", "*");
    const Bytes archive = testsupport::readFile(d / "a.zip");
    const Bytes stub = stubBytes(40000);
    const Bytes exe = join(stub, archive);
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), exe.begin()));
    const zip::Directory before = directoryOf(archive), after = directoryOf(exe);
    EXPECT_EQ(after.OffsetDelta, 0) << "offsets are absolute file positions";
    EXPECT_EQ(after.End.DirOffset, before.End.DirOffset + stub.size());
    EXPECT_EQ(after.End.Entries, before.End.Entries);
    // Member data unchanged, right after the stub.
    EXPECT_TRUE(std::equal(archive.begin(), archive.begin() + before.End.DirOffset,
                           exe.begin() + static_cast<long>(stub.size())));
    for (std::int64_t p = after.FirstCentral, i = 0; i < 5; ++i) {
        zip::CentralHeader h;
        ASSERT_TRUE(zip::parseCentral(exe.data() + p, h));
        zip::LocalHeader l;
        EXPECT_TRUE(zip::parseLocal(exe.data() + h.LocalOffset, l)) << i;
        EXPECT_GE(h.LocalOffset, stub.size());
        p += static_cast<std::int64_t>(h.TotalLength());
    }
    testsupport::writeFile(d / "a.exe", exe);
    expectPeersAccept(d / "a.exe");
    expectPeersExtract(d / "a.exe", sampleTree(), d / "out");

    // The model keeps the stub through a change.
    TZlZipper z;
    z.SetFileName(d / "a.exe");
    EXPECT_TRUE(z.Archive()->IsExecutable);
    EXPECT_EQ(z.Archive()->StubSize, 40000);
    z.DeleteFiles("a.txt");
    z.Save();
    const Bytes changed = testsupport::readFile(d / "a.exe");
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), changed.begin()));
    expectPeersAccept(d / "a.exe");
}

// An encrypted archive with a
// comment and a ZIP64 directory: the join keeps all of it.
TEST(SelfExtractor, KeepsCommentsEncryptionAndZip64Records) {
    TempDir d;
    Builder b;
    Member m = stored("secret.txt", "under a password");
    m.password = "pw";
    b.add(m);
    b.add(stored("plain.txt", "plain"));
    Options o;
    o.zip64 = true;
    o.comment = "archive comment";
    const Bytes archive = b.finish(o);
    const Bytes exe = join(stubBytes(4096), archive);
    // (The stub is a test stand-in; only "MZ" matters to the join.)
    const zip::Directory after = directoryOf(exe);
    EXPECT_TRUE(after.End.Zip64);
    EXPECT_EQ(after.OffsetDelta, 0);
    EXPECT_EQ(after.End.Comment, "archive comment");
    testsupport::writeFile(d / "z.exe", exe);
    TZlZipArchive a(d / "z.exe", fmOpenRead);
    a.Load();
    ASSERT_EQ(a.Count(), 2);
    EXPECT_EQ(a.ZipItems(0)->RelativeOffsetOfLocalHeader(), 4096u);
    expectPeersAccept(d / "z.exe", "pw");
}

// A record whose offset points into the stub does not shorten the stub:
// after that member is deleted the whole stub is still there and the
// archive loads again.
TEST(SelfExtractor, ARecordPointingIntoTheStubLeavesTheStubWhole) {
    TempDir d;
    Builder b;
    b.add(stored("one.txt", "first"));
    b.add(stored("two.txt", "second"));
    const Bytes stub = stubBytes(300);
    Bytes exe = join(stub, b.finish());
    const zip::Directory dir = directoryOf(exe);
    zip::CentralHeader h;
    ASSERT_TRUE(zip::parseCentral(exe.data() + dir.FirstCentral, h));
    const std::size_t second = static_cast<std::size_t>(dir.FirstCentral) + h.TotalLength();
    exe[second + 42] = 5; // local header offset 5: inside the stub
    exe[second + 43] = exe[second + 44] = exe[second + 45] = 0;
    testsupport::writeFile(d / "s.exe", exe);

    TZlZipper z;
    z.SetFileName(d / "s.exe");
    ASSERT_EQ(z.Archive()->Count(), 2);
    EXPECT_EQ(z.Archive()->StubSize, 300);
    z.DeleteFiles("two.txt");
    z.Save();
    const Bytes changed = testsupport::readFile(d / "s.exe");
    ASSERT_GT(changed.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), changed.begin()));
    TZlZipArchive again(d / "s.exe", fmOpenRead);
    again.Load();
    EXPECT_EQ(names(again), std::vector<std::string>{"one.txt"});
    expectPeersAccept(d / "s.exe");
}

TEST(SelfExtractor, RefusesStubsAndArchivesThatAreNot) {
    const Bytes archive = [] {
        Builder b;
        b.add(stored("a", "a"));
        return b.finish();
    }();
    struct Case {
        Bytes stub, source;
        const char* error;
    } cases[] = {
        {Bytes{'P', 'K', 1, 2}, archive, "Stub must be an executable"},
        {Bytes{}, archive, "Stub must be an executable"},
        {stubBytes(100), Bytes{'M', 'Z', 0, 0}, "Invalid file - not a PKZip file"},
        {stubBytes(100), Bytes{'P', 'K', 3, 4, 0, 0, 0}, "Invalid file - not a PKZip file"},
    };
    for (const Case& c : cases) {
        try {
            join(c.stub, c.source);
            ADD_FAILURE() << c.error;
        } catch (const EZlZipException& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

} // namespace
