// What TLha writes, read back by the program itself: the LHA extractor
// (through the component and through olmek-cli t) restores whole trees
// byte for byte, stored members and empty files included.
#include <gtest/gtest.h>

#include "archive/core/ArcRoot.h"
#include "archive/extract/Extractors.h"
#include "archive/writers/Lha.h"
#include "platform/FileSystem.h"
#include "tests/support/Cli.h"
#include "tests/writers/LhaTest.h"

using namespace lhatest;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(LhaRoundTrip, OwnExtractorRestoresWhatTLhaWrites) {
    TempDir tmp;
    const std::string src = tmp / "src";
    const std::map<std::string, Bytes> files = {
        {"empty.txt", {}},
        {"text/book.txt", text(1 << 20, 3)},
        {"text/deeper/notes.txt", text(7000, 4)},
        {"noise/random.bin", randomBytes(200000, 5)},
    };
    for (const auto& [name, data] : files) {
        fs::create_directories(fs::path(src + "/" + name).parent_path());
        writeFile(src + "/" + name, data);
    }
    for (TCompressMethod method : {mtFrozen, mtStore}) {
        const std::string archive = tmp / (method == mtStore ? "stored.lzh" : "frozen.lzh");
        TLha w;
        w.SetArchiveFile(archive);
        w.SetDefaultDir(src);
        w.StoreDirs = true;
        w.RecurseDirs = true;
        w.CompressMethod = method;
        w.FileSpec().Add("./*");
        ASSERT_TRUE(w.Compress());

        TZipCommon probe;
        probe.SetArchiveFile(archive);
        auto x = ExtractorTable::instance().make(probe.ArcType());
        ASSERT_TRUE(x);
        const std::string out = archive + ".out";
        x->SetArchiveFile(archive);
        x->SetExtractDir(out);
        x->SetFileSpec("*.*");
        int passed = 0;
        x->OnEnd = [&](TObject*, const std::string&, bool pass) { passed += pass; };
        x->Extract();
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_EQ(passed, 4);
        EXPECT_TRUE(tree(out) == files) << archive;
    }

    if (testsupport::haveCli()) {
        const auto r = testsupport::runCli("t frozen.lzh", tmp.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
        EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
    }
}
