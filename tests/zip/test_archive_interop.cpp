// The archive model against the peer tools: archives the library makes and
// changes pass unzip, 7z and bsdtar and extract to the same bytes; archives
// those tools make load, take adds and deletes and still pass; ZIP64 for
// many members and (OLMEK_LARGE_TESTS=1) for a member and an archive past
// 4 GiB.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include "archive/core/Crc.h"
#include "platform/File.h"
#include "zip/ArchiveTestSupport.h"

using namespace ziptest;

namespace {

void addTree(TZlZipper& z, const std::string& mask) {
    z.SetStoreOptions({soStripDrive, soRemoveDots, soRecurse});
    z.AddFiles(mask, plat::faHidden);
}

// Made, then changed three times (add, delete, rename), each time checked
// by every peer.
TEST(ArchiveInterop, LibraryArchivesPassThePeersThroughChanges) {
    struct Case {
        TZlZipDeflationOption option;
        TZlZipSupportedMethod method;
        const char* password;
    } cases[] = {
        {doNormal, smBestMethod, ""},
        {doMaximum, smDeflated, ""},
        {doSuperFast, smStored, ""},
        {doFast, smBestMethod, "s3cret pass"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.option) + "/" + std::to_string(c.method) + "/" + c.password);
        TempDir d;
        Tree tree = sampleTree();
        writeTree(d / "src", tree);
        const std::string zip = d / "lib.zip";
        TZlZipper z;
        z.SetBaseDirectory(d / "src");
        z.SetDeflationOption(c.option);
        z.SetCompressionMethodToUse(c.method);
        z.SetPassword(c.password);
        z.SetFileName(zip);
        addTree(z, "*");
        z.Save();
        expectPeersAccept(zip, c.password);
        expectPeersExtract(zip, tree, d / "x1", c.password);

        Tree more;
        more["more/new.txt"] = textBytes(12345, 11);
        more["more/zero"] = {};
        writeTree(d / "src", more);
        addTree(z, "more/*");
        z.DeleteFiles("sub/b.bin");
        z.Save();
        tree.insert(more.begin(), more.end());
        tree.erase("sub/b.bin");
        expectPeersAccept(zip, c.password);
        expectPeersExtract(zip, tree, d / "x2", c.password);

        TZlZipArchive& a = *z.Archive();
        for (int i = 0; i < a.Count(); ++i)
            if (a.Items(i)->FileName() == "sub/x.exe") z.Move(a.Items(i), "bin/x renamed.exe");
        z.Save();
        tree["bin/x renamed.exe"] = tree["sub/x.exe"];
        tree.erase("sub/x.exe");
        expectPeersAccept(zip, c.password);
        expectPeersExtract(zip, tree, d / "x3", c.password);
    }
}

// AES members (256 and 128 bit) through the same changes; 7z checks the
// password both ways.
TEST(ArchiveInterop, AesArchivesPassThePeersThroughChanges) {
    for (const TZlZipEncryption enc : {zeAes256, zeAes128}) {
        SCOPED_TRACE(enc);
        TempDir d;
        Tree tree = sampleTree();
        writeTree(d / "src", tree);
        const std::string zip = d / "aes.zip";
        TZlZipper z;
        z.SetBaseDirectory(d / "src");
        z.SetPassword("pa ss");
        z.SetEncryption(enc);
        z.SetFileName(zip);
        addTree(z, "*");
        z.Save();
        expectAesPeers(zip, tree, d / "x1", "pa ss");

        Tree more;
        more["more/new.txt"] = textBytes(12345, 11);
        more["more/zero"] = {};
        writeTree(d / "src", more);
        addTree(z, "more/*");
        z.DeleteFiles("sub/b.bin");
        z.Save();
        tree.insert(more.begin(), more.end());
        tree.erase("sub/b.bin");
        expectAesPeers(zip, tree, d / "x2", "pa ss");

        TZlZipArchive& a = *z.Archive();
        for (int i = 0; i < a.Count(); ++i)
            if (a.Items(i)->FileName() == "sub/x.exe") z.Move(a.Items(i), "bin/x renamed.exe");
        z.Save();
        tree["bin/x renamed.exe"] = tree["sub/x.exe"];
        tree.erase("sub/x.exe");
        expectAesPeers(zip, tree, d / "x3", "pa ss");
    }
}

// Archives of the peers: loaded, a member added and one deleted, saved,
// and still accepted by every peer with the right contents.
TEST(ArchiveInterop, PeerArchivesTakeAddsAndDeletes) {
    struct Maker {
        const char* tool;
        const char* command; // run in the source folder, writing ../peer.zip
        const char* password;
    } makers[] = {
        {"zip", "zip -q -r ../peer.zip .", ""},
        {"zip", "zip -q -r -fd ../peer.zip .", ""},
        {"zip", "zip -q -r -P pw9 ../peer.zip .", "pw9"},
        {"7z", "7z a -tzip -mx=9 ../peer.zip . >/dev/null", ""},
        {"7z",
         "7z a -tzip -mm=Deflate64 ../peer.zip a.txt >/dev/null && 7z a -tzip ../peer.zip . "
         ">/dev/null",
         ""},
        {"bsdtar", "bsdtar --format zip -cf ../peer.zip .", ""},
        {"bsdtar", "bsdtar --format zip --options zip:compression=store -cf ../peer.zip .", ""},
    };
    for (const Maker& m : makers) {
        SCOPED_TRACE(m.command);
        if (!testsupport::haveTool(m.tool)) continue;
        TempDir d;
        Tree tree = sampleTree();
        writeTree(d / "src", tree);
        ASSERT_EQ(testsupport::run("cd " + q(d / "src") + " && " + m.command), 0);
        fs::create_directories(d / "src2");
        testsupport::writeFile(d / "src2/added.txt", textBytes(999, 5));

        TZlZipper z;
        z.SetBaseDirectory(d / "src2");
        z.SetPassword(m.password);
        z.SetFileName(d / "peer.zip");
        ASSERT_GE(z.Archive()->Count(), 5);
        z.AddFiles("added.txt", 0);
        z.DeleteFiles("sub/deeper/c.txt");
        z.Save();
        tree["added.txt"] = textBytes(999, 5);
        tree.erase("sub/deeper/c.txt");
        expectPeersAccept(d / "peer.zip", m.password);
        expectPeersExtract(d / "peer.zip", tree, d / "x", m.password);
    }
}

// More than 65,535 members: the ZIP64 end records, read back by the
// library and the peers.  The members are written by a hook of the test.
TEST(ArchiveInterop, ManyMembersUseZip64EndRecords) {
    TempDir d;
    const std::string zip = d / "many.zip";
    constexpr int kMembers = 70000;
    {
        TZlZipArchive a(zip, fmCreate);
        a.SetBaseDirectory(d.path());
        a.InsertHelper = [](TZlZipArchive*, TZlZipItem& item, TZlStream& out) {
            const std::string data = item.FileName().substr(2);
            out.WriteBuffer(data.data(), data.size());
            item.SetCompressionMethod(0);
            item.SetVersionNeededToExtract(10);
            item.SetVersionMadeBy(0x0314);
            item.SetExternalFileAttributes(0100644u << 16);
            item.SetCRC32(crc32Of(data.data(), data.size()));
            item.SetCompressedSize(data.size());
            item.SetUncompressedSize(data.size());
            item.SetLastModFileDate(0x5821);
        };
        for (int i = 0; i < kMembers; ++i) a.AddFiles("f/" + std::to_string(i), 0);
        EXPECT_EQ(a.Count(), kMembers);
        a.Save();
    }
    TZlZipArchive back(zip, fmOpenRead);
    back.Load();
    ASSERT_EQ(back.Count(), kMembers);
    EXPECT_EQ(back.Items(kMembers - 1)->FileName(), "f/" + std::to_string(kMembers - 1));
    EXPECT_EQ(back.Footer.TotalEntries, static_cast<std::uint64_t>(kMembers));
    expectPeersAccept(zip);
}

bool roomFor(const std::string& dir, std::uint64_t bytes) {
    struct statvfs fs {};
    return ::statvfs(dir.c_str(), &fs) == 0 && std::uint64_t(fs.f_bavail) * fs.f_frsize > bytes;
}

// A sparse member of 4 GiB and more (deflated), then the same stored so
// that the archive itself passes 4 GiB and the next member's offset needs
// ZIP64; the peers test both archives.
TEST(ArchiveInterop, MembersAndArchivesPast4GiB) {
    if (!std::getenv("OLMEK_LARGE_TESTS"))
        GTEST_SKIP() << "set OLMEK_LARGE_TESTS=1 for members and archives past 4 GiB (minutes)";
    TempDir d;
    if (!roomFor(d.path(), std::uint64_t(9) << 30)) GTEST_SKIP() << "less than 9 GiB free";
    const std::uint64_t size = (std::uint64_t(4) << 30) + 4099;
    {
        plat::File f;
        fs::create_directories(d / "src");
        ASSERT_TRUE(f.open(d / "src/big", plat::File::Mode::Create));
        const Bytes text = textBytes(100000);
        for (std::uint64_t at : {std::uint64_t(0), std::uint64_t(1) << 31, size - 5000}) {
            ASSERT_TRUE(f.seek(static_cast<std::int64_t>(at)));
            ASSERT_TRUE(f.write(text.data(), 3000));
        }
        ASSERT_TRUE(f.truncate(static_cast<std::int64_t>(size)));
        ASSERT_TRUE(f.close());
    }
    testsupport::writeFile(d / "src/after.txt", textBytes(5000));
    const struct {
        const char* name;
        TZlZipSupportedMethod method;
    } cases[] = {{"deflated.zip", smDeflated}, {"stored.zip", smStored}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TZlZipper z;
        z.SetBaseDirectory(d / "src");
        z.SetCompressionMethodToUse(c.method);
        z.SetDeflationOption(doSuperFast);
        z.SetFileName(d / c.name);
        z.AddFiles("big", 0);
        z.AddFiles("after.txt", 0);
        z.Save();
        TZlZipArchive back(d / c.name, fmOpenRead);
        back.Load();
        ASSERT_EQ(back.Count(), 2);
        EXPECT_EQ(back.ZipItems(0)->UncompressedSize(), size);
        if (c.method == smStored) {
            EXPECT_GT(back.ZipItems(1)->RelativeOffsetOfLocalHeader(), size);
        }
        expectPeersAccept(d / c.name);
        // A change keeps the big member intact.
        z.DeleteFiles("after.txt");
        z.Save();
        expectPeersAccept(d / c.name);
        ::unlink((d / c.name).c_str());
    }
}

} // namespace
