// Every ZIP sample of the shared corpus: members of the methods we decode
// pass their CRC (shrunk, reduced and imploded included); other methods
// stop the extraction with "Unsupported compression method".
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "archive/extract/UnZIP.h"

namespace fs = std::filesystem;

namespace {

const std::set<std::string> kDecoded = {
    "Store",     "Deflate", "Deflate:Maximum", "Implode", "Implode:v3", "Shrink",
    "Shrink:v3", "Reduce1", "Reduce2",         "Reduce3", "Reduce4",    "Deflate64",
    "BZip2",     "LZMA",    "LZMA:eos",        "zstd",    "xz"};

// Damaged on purpose by their authors: the peers report the same CRC errors.
const std::set<std::string> kKnownBadCrc = {
    "libarchive__test_read_format_zip.zip",
    // Members whose data runs past their stated size: nothing beyond it is
    // written, and the member fails.
    "libarchive__test_read_format_zip_size_exceeds_declared_stored.zip",
    "libarchive__test_read_format_zip_size_exceeds_declared_deflate.zip",
    "libarchive__test_read_data_into_fd_size_exceeds_declared_stored.zip",
    "libarchive__test_read_data_into_fd_size_exceeds_declared_deflate.zip",
};

struct Methods {
    bool decodable = true;
    bool encrypted = false;
    bool any = false;
};

Methods methodsOf(const fs::path& peer) {
    Methods m;
    std::ifstream f(peer);
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("Method = ", 0) != 0) continue;
        m.any = true;
        std::istringstream words(line.substr(9));
        std::string w;
        while (words >> w) {
            if (w == "ZipCrypto" || w.rfind("AES-", 0) == 0)
                m.encrypted = true;
            else if (!kDecoded.count(w))
                m.decodable = false;
        }
    }
    return m;
}

struct Outcome {
    int stop = 0;
    int pass = 0;
    int fail = 0;
    TArcType type = atNA;
};

Outcome testArchive(const std::string& path) {
    Outcome o;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
    TUnZIP z;
    z.SetArchiveFile(path);
    o.type = z.ArcType();
    z.TestOnly = true;
    z.SetExtractDir("/nonexistent-olmek-target");
    z.OnEnd = [&](TObject*, const std::string&, bool pass) { ++(pass ? o.pass : o.fail); };
    z.Extract();
    o.stop = z.StopCode;
    if (cwd[0] && chdir(cwd) != 0) ADD_FAILURE();
    return o;
}

} // namespace

TEST(UnZipCorpus, EveryZipSampleDecodesOrStopsAtUnsupportedMethods) {
    const fs::path dir = fs::path(OLMEK_CORPUS_DIR) / "zip";
    if (!fs::exists(dir)) GTEST_SKIP() << "corpus not found at " << dir;
    int decodedSamples = 0, legacySamples = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const fs::path p = e.path();
        if (p.extension() == ".txt") continue;
        fs::path peer = p;
        peer += ".peer.txt";
        const Methods m = methodsOf(peer);
        const Outcome o = testArchive(p.string());
        const std::string name = p.filename().string();
        SCOPED_TRACE(name);
        if (!isZipType(o.type) || !m.any) continue; // not taken for a ZIP, or no peer could list it
        if (o.stop == err::UnknownFileType || o.stop == err::HeaderIdError)
            continue; // damaged directory
        if (!m.decodable) {
            // Stops at the first such member; the earlier ones passed.
            EXPECT_EQ(o.stop, err::UnsupportedMethod);
            EXPECT_EQ(o.fail, 0);
            continue;
        }
        if (m.encrypted) {
            // No password and no handler to ask for one.
            EXPECT_TRUE(o.stop == err::EventNotAssigned || o.stop == 0) << o.stop;
            continue;
        }
        if (kKnownBadCrc.count(name)) {
            EXPECT_GT(o.fail, 0);
            continue;
        }
        if (o.stop == err::NothingToDo && o.pass == 0 && o.fail == 0)
            continue; // folders only / empty name
        EXPECT_EQ(o.stop, 0);
        EXPECT_EQ(o.fail, 0);
        EXPECT_GT(o.pass, 0);
        ++decodedSamples;
        if (name.find("hrink") != std::string::npos || name.find("educe") != std::string::npos ||
            name.find("mplod") != std::string::npos || name == "commons-compress__SHRUNK.ZIP")
            ++legacySamples;
    }
    EXPECT_GE(decodedSamples, 40);
    EXPECT_GE(legacySamples, 12);
}
