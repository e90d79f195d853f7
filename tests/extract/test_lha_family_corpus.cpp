// Every ARC, ARJ, LHA and ZOO sample of the shared corpus: the members of
// methods we decode extract and pass their CRC; the samples damaged,
// garbled or written with other methods on purpose stop or fail exactly as
// listed here.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/extract/Extractors.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

struct Expected {
    int stop = 0;                 // the code that stops the extraction
    int failed = 0;               // members whose check fails
    std::vector<int> errors = {}; // OnError codes, in order
};

const std::map<std::string, Expected> kExceptions = {
    // Garbled with a password: ARC has no mark for it, ARJ refuses it.
    {"patool__p.arc", {0, 2}},
    {"unarc-rs__license_cypted.arc", {err::IncorrectBits, 0}},
    {"patool__p.arj", {err::PasswordProtected, 0, {err::PasswordProtected}}},
    {"sharpcompress__Arj.encrypted.arj", {err::PasswordProtected, 0, {err::PasswordProtected}}},
    {"unarc-rs__license_crypted.arj", {err::PasswordProtected, 0, {err::PasswordProtected}}},
    // Wrong CRCs on purpose.
    {"unarc-rs__wrongcrc16.arc", {0, 1, {}}},
    {"unarc-rs__wrongcrc32.arj", {0, 1, {}}},
    {"unarc-rs__wrongcrc16.zoo", {0, 1, {}}},
    // LHARK reuses -lh7- for a method of its own.
    {"lhasa__lhark04d-lh7.lzh", {err::BadHuffmanCode, 0}},
    {"lhasa__lhark04d-lh7_long.lzh", {err::BadHuffmanCode, 0}},
    // Methods without a decoder: -lh2-, -lh3-, -lhx-.
    {"lhasa__unlha32-lh2.lzh", {err::UnsupportedMethod, 0, {err::UnsupportedMethod}}},
    {"lhasa__unlha32-lh3.lzh", {err::UnsupportedMethod, 0, {err::UnsupportedMethod}}},
    {"lhasa__unlha32-h2_lhx.lzh", {err::UnsupportedMethod, 0, {err::UnsupportedMethod}}},
    {"lhasa__unlha32-lhx_long.lzh", {err::UnsupportedMethod, 0, {err::UnsupportedMethod}}},
    // A name longer than the file system takes; a member file named like a
    // folder that later members need.  Both are invalid names; the rest goes on.
    {"commons-compress__long-name.arj", {0, 0, {err::InvalidFileName}}},
    {"lhasa__lh2_222-easubdir.lzh", {0, 0, {err::InvalidFileName}}},
    // Cut short, a header that runs into the next one, a header that states
    // an extension of 4 GB.
    {"lhasa__regression-truncated.lzh", {0, 0, {err::BadFileHeader}}},
    {"libarchive__test_read_format_lha_symlink_missing_target.lzh", {0, 0, {err::BadFileHeader}}},
    {"libarchive__test_read_format_lha_oversize_header.lzh", {0, 0, {err::BadFileHeader}}},
};

} // namespace

TEST(LhaFamilyCorpus, EverySampleExtractsOrStopsAsListed) {
    const fs::path root(OLMEK_CORPUS_DIR);
    if (!fs::exists(root / "lha")) GTEST_SKIP() << "corpus not found";
    testsupport::TempDir tmp;
    std::map<std::string, int> extracted; // per family: samples that ran
    int members = 0;
    for (const char* family : {"arc", "arj", "lha", "zoo"}) {
        for (const auto& e : fs::directory_iterator(root / family)) {
            const std::string name = e.path().filename().string();
            if (name.ends_with(".peer.txt")) continue;
            // Later volumes of a set are read through their first volume.
            std::string ext = e.path().extension().string();
            for (char& c : ext) c = static_cast<char>(std::tolower(c));
            if (std::string(family) == "arj" && ext != ".arj") continue;
            TZipCommon probe;
            probe.SetArchiveFile(e.path().string());
            auto x = ExtractorTable::instance().make(probe.ArcType());
            // Self-extracting programs that detection does not recognise
            // are not archives here (nor for the lister).
            if (!x) continue;
            SCOPED_TRACE(name);
            const std::string target = tmp / ("out_" + name);
            x->SetArchiveFile(e.path().string());
            x->SetExtractDir(target);
            int failed = 0, ended = 0;
            std::vector<int> errors;
            x->OnEnd = [&](TObject*, const std::string&, bool pass) {
                ++ended;
                failed += !pass;
            };
            x->OnError = [&](TObject*, const std::string&, const std::string&, int code) {
                errors.push_back(code);
            };
            x->Extract();
            const auto it = kExceptions.find(name);
            const Expected want = it == kExceptions.end() ? Expected{} : it->second;
            EXPECT_EQ(x->StopCode, want.stop);
            EXPECT_EQ(failed, want.failed);
            EXPECT_EQ(errors, want.errors);
            members += ended;
            extracted[family]++;
        }
    }
    EXPECT_GE(extracted["arc"], 15);
    EXPECT_GE(extracted["arj"], 20);
    EXPECT_GE(extracted["lha"], 200);
    EXPECT_GE(extracted["zoo"], 5);
    EXPECT_GT(members, 300);
}
