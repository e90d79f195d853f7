// Every CAB, TAR, GZIP and compress sample of the shared corpus, extracted
// beside the peer tool of its format (cabextract, GNU tar, gzip): where the
// peer extracts it, we extract the same files with the same bytes and
// times, and every member passes its check (files of folders we do not
// decode are reported instead); where the peer refuses it, we do not pass
// it either.  Cabinet sets are copied under the names they give each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "archive/extract/DecodedStream.h"
#include "archive/extract/Extractors.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeCompare.h"

namespace fs = std::filesystem;
using testsupport::haveTool;
using testsupport::TempDir;

namespace {

struct Outcome {
    bool served = false; // an extractor took it
    int stop = 0;
    int pass = 0;
    int fail = 0;
    std::vector<int> errors;
};

Outcome extract(const std::string& archive, const std::string& target) {
    Outcome o;
    TZipCommon probe;
    probe.SetArchiveFile(archive);
    auto x = ExtractorTable::instance().make(probe.ArcType());
    if (!x) return o;
    o.served = true;
    x->SetArchiveFile(archive);
    x->SetExtractDir(target);
    x->OnEnd = [&](TObject*, const std::string&, bool pass) { ++(pass ? o.pass : o.fail); };
    x->OnError = [&](TObject*, const std::string&, const std::string&, int code) {
        o.errors.push_back(code);
    };
    x->Extract();
    o.stop = x->StopCode;
    return o;
}

int sh(const std::string& cmd) {
    return testsupport::run("(" + cmd + ") >/dev/null 2>&1");
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// The bytes of every file of a tree, sorted: for samples whose names the
// tools spell differently.
std::vector<std::string> contents(const std::string& root) {
    std::vector<std::string> v;
    for (const auto& [name, e] : testsupport::scanTree(root))
        if (e.kind == 'f') v.push_back(e.data);
    std::sort(v.begin(), v.end());
    return v;
}

fs::path corpus(const std::string& family) {
    return fs::path(OLMEK_CORPUS_DIR) / family;
}

std::vector<fs::path> samples(const std::string& family) {
    std::vector<fs::path> v;
    if (!fs::exists(corpus(family))) return v;
    for (const auto& e : fs::directory_iterator(corpus(family)))
        if (e.path().extension() != ".txt") v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

// Cabinets whose names the tools decode differently (code pages, names
// that are not UTF-8 though flagged so, names that climb), and one whose
// file list cabextract takes from another place than its header states.
const std::set<std::string> kOtherNames = {
    "cabextract__encoding-koi8.cab", "cabextract__encoding-latin1.cab",
    "cabextract__encoding-sjis.cab", "cabextract__utf8-stresstest.cab",
    "cabextract__dirwalk-vulns.cab", "libarchive__test_read_format_cab_filename_cp932.cab"};
const std::set<std::string> kOtherList = {"libmspack__hidden-files.cab",
                                          // cabextract finds the cabinet behind another
                                          "libmspack__search_tricky1.cab"};
// A TAR name that is not UTF-8: we read it as CP437, GNU tar keeps the bytes.
const std::set<std::string> kTarOtherNames = {"sharpcompress__Tar.tar"};

bool inSet(const std::string& name) {
    return name.find("split-") != std::string::npos ||
           name.find("multi_basic_pt") != std::string::npos ||
           name.find("cab_multi.p") != std::string::npos;
}

} // namespace

TEST(CorpusFormats, CabinetsAsCabextractExtractsThem) {
    if (!haveTool("cabextract")) GTEST_SKIP() << "cabextract not installed";
    const auto all = samples("cab");
    if (all.empty()) GTEST_SKIP() << "corpus not found";
    int compared = 0;
    for (const fs::path& p : all) {
        const std::string name = p.filename().string();
        if (inSet(name)) continue;
        SCOPED_TRACE(name);
        TempDir tmp;
        const std::string ours = tmp / "ours", ref = tmp / "ref";
        const int rc = sh("cabextract -q -d " + quoted(ref) + " " + quoted(p.string()));
        const Outcome o = extract(p.string(), ours);
        if (rc != 0 || !o.served) continue; // damaged, or a cabinet inside other data
        EXPECT_EQ(o.fail, 0);
        if (kOtherList.count(name)) continue;
        if (kOtherNames.count(name)) {
            for (const auto& data : contents(ours)) {
                const auto theirs = contents(ref);
                EXPECT_TRUE(std::find(theirs.begin(), theirs.end(), data) != theirs.end());
            }
            continue;
        }
        // Files of LZX and Quantum folders are reported, not written.
        const auto a = testsupport::scanTree(ref), b = testsupport::scanTree(ours);
        int missing = 0;
        for (const auto& [file, e] : a) {
            if (e.kind != 'f') continue;
            auto it = b.find(file);
            if (it == b.end()) {
                ++missing;
                continue;
            }
            EXPECT_TRUE(it->second.data == e.data) << file;
            EXPECT_EQ(it->second.mtime, e.mtime) << file;
        }
        const auto reported = std::count_if(o.errors.begin(), o.errors.end(), [](int c) {
            return c == err::LzxNotSupported || c == err::UnsupportedMethod;
        });
        EXPECT_EQ(missing, reported);
        for (const auto& [file, e] : b) {
            if (e.kind == 'f') {
                EXPECT_TRUE(a.count(file)) << "extra " << file;
            }
        }
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

TEST(CorpusFormats, CabinetSetsUnderTheirOwnNames) {
    if (!haveTool("cabextract")) GTEST_SKIP() << "cabextract not installed";
    if (!fs::exists(corpus("cab"))) GTEST_SKIP() << "corpus not found";
    const std::vector<std::vector<std::pair<std::string, std::string>>> sets = {
        {{"cabextract__split-1.cab", "Split-1.CAB"},
         {"cabextract__split-2.cab", "Split-2.CAB"},
         {"cabextract__split-3.cab", "Split-3.CAB"},
         {"cabextract__split-4.cab", "Split-4.CAB"},
         {"cabextract__split-5.cab", "Split-5.CAB"}},
        {{"libmspack__multi_basic_pt1.cab", "cabd_multi_basic_pt1.cab"},
         {"libmspack__multi_basic_pt2.cab", "cabd_multi_basic_pt2.cab"},
         {"libmspack__multi_basic_pt3.cab", "cabd_multi_basic_pt3.cab"},
         {"libmspack__multi_basic_pt4.cab", "cabd_multi_basic_pt4.cab"},
         {"libmspack__multi_basic_pt5.cab", "cabd_multi_basic_pt5.cab"}},
        {{"libarchive__test_read_format_cab_multi.p1.cab", "test_read_format_cab_multi.p1.cab"},
         {"libarchive__test_read_format_cab_multi.p2.cab", "test_read_format_cab_multi.p2.cab"}},
    };
    for (const auto& set : sets) {
        SCOPED_TRACE(set.front().second);
        TempDir tmp;
        for (const auto& [kept, own] : set) fs::copy_file(corpus("cab") / kept, tmp / own);
        const std::string first = tmp / set.front().second;
        ASSERT_EQ(sh("cabextract -q -d " + quoted(tmp / "ref") + " " + quoted(first)), 0);
        const Outcome o = extract(first, tmp / "ours");
        EXPECT_EQ(o.stop, 0);
        EXPECT_EQ(o.fail, 0);
        EXPECT_GT(o.pass, 0);
        EXPECT_TRUE(o.errors.empty());
        for (const auto& d : testsupport::compareTrees(tmp / "ref", tmp / "ours"))
            ADD_FAILURE() << d;
    }
}

TEST(CorpusFormats, TarArchivesAsGnuTarExtractsThem) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    const auto all = samples("tar");
    if (all.empty()) GTEST_SKIP() << "corpus not found";
    int compared = 0;
    for (const fs::path& p : all) {
        SCOPED_TRACE(p.filename().string());
        TempDir tmp;
        fs::create_directories(tmp / "ref");
        const int rc = sh("tar -xf " + quoted(p.string()) + " -C " + quoted(tmp / "ref") +
                          " --no-same-owner --no-same-permissions");
        const Outcome o = extract(p.string(), tmp / "ours");
        if (rc != 0) continue;
        if (!o.served) {
            // Only a label: nothing to extract either way.
            EXPECT_TRUE(testsupport::scanTree(tmp / "ref").empty());
            continue;
        }
        EXPECT_EQ(o.stop, 0);
        EXPECT_EQ(o.fail, 0);
        if (kTarOtherNames.count(p.filename().string()))
            EXPECT_EQ(contents(tmp / "ref"), contents(tmp / "ours"));
        else
            for (const auto& d : testsupport::compareTrees(tmp / "ref", tmp / "ours"))
                ADD_FAILURE() << d;
        ++compared;
    }
    EXPECT_GE(compared, 7);
}

TEST(CorpusFormats, GzipAndCompressFilesAsGzipDecodesThem) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    dec::installTarballProbe();
    int compared = 0, tarballs = 0;
    for (const std::string family : {"gzip", "compress"})
        for (const fs::path& p : samples(family)) {
            SCOPED_TRACE(p.filename().string());
            TempDir tmp;
            // Status 2 is gzip's warning (trailing garbage): the data is whole.
            const int rc = sh("gzip -dc " + quoted(p.string()) + " > " + quoted(tmp / "ref"));
            const Outcome o = extract(p.string(), tmp / "ours");
            ASSERT_TRUE(o.served);
            TZipCommon probe;
            probe.SetArchiveFile(p.string());
            if (isTarballType(probe.ArcType())) {
                // A TAR archive inside: the tree GNU tar makes of the
                // decoded bytes.
                fs::create_directories(tmp / "reftree");
                if ((rc == 0 || rc == 2) &&
                    sh("tar -xf " + quoted(tmp / "ref") + " -C " + quoted(tmp / "reftree")) == 0) {
                    // Names in old code pages come out differently; the
                    // data must not.
                    EXPECT_EQ(o.stop, 0);
                    EXPECT_EQ(contents(tmp / "reftree"), contents(tmp / "ours"));
                    ++tarballs;
                }
                continue;
            }
            if (rc == 0 || rc == 2) {
                EXPECT_EQ(o.stop, 0);
                EXPECT_EQ(o.fail, 0);
                EXPECT_EQ(o.pass, 1);
                const auto files = contents(tmp / "ours");
                ASSERT_EQ(files.size(), 1u);
                const auto ref = testsupport::readFile(tmp / "ref");
                EXPECT_TRUE(files[0] == std::string(ref.begin(), ref.end()));
                ++compared;
            } else {
                EXPECT_TRUE(o.stop != 0 || o.fail > 0 || !o.errors.empty());
                EXPECT_EQ(o.pass, 0);
            }
        }
    EXPECT_GE(compared, 15);
    EXPECT_GE(tarballs, 4);
    EXPECT_GE(compared + tarballs, 30);
}
