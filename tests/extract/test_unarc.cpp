// The ARC extractor: archives made by arc at test time (packed, squeezed,
// crunched, squashed, stored) rebuild their files with their time stamps;
// members of the old crunched methods 5 to 7, written here and checked by
// arc and nomarch, show which string-table hash each method uses; hand-made
// archives show the walk's events and errors.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "archive/core/Crc.h"
#include "archive/extract/UnARC.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/SourceTree.h"

namespace fs = std::filesystem;
using testsupport::Bytes;

namespace {

std::uint16_t crc16(const std::string& s) {
    std::uint16_t c = 0;
    Crc16Update(s.data(), s.size(), c);
    return c;
}

Bytes arcMember(int method, const std::string& name, const Bytes& data, const std::string& plain) {
    Bytes h = {0x1A, static_cast<std::uint8_t>(method)};
    std::string n = name;
    n.resize(13, '\0');
    testsupport::putStr(h, n);
    testsupport::put32(h, static_cast<std::uint32_t>(data.size()));
    testsupport::put16(h, (39u << 9) | (6u << 5) | 15u);   // 2019-06-15
    testsupport::put16(h, (10u << 11) | (20u << 5) | 15u); // 10:20:30
    testsupport::put16(h, crc16(plain));
    if (method != 1) testsupport::put32(h, static_cast<std::uint32_t>(plain.size()));
    testsupport::putBytes(h, data);
    return h;
}

Bytes stored(const std::string& name, const std::string& text, int method = 2) {
    return arcMember(method, name, Bytes(text.begin(), text.end()), text);
}

Bytes arcArchive(const std::vector<Bytes>& members) {
    Bytes a;
    for (const Bytes& m : members) testsupport::putBytes(a, m);
    a.push_back(0x1A);
    a.push_back(0);
    return a;
}

// The crunching of ARC's methods 5 to 7: LZW with 12-bit codes over a
// string table whose slots a hash of (predecessor, follower) picks.
enum class Hash { OrOnly, MidSquare, Multiply };

class OldCrunch {
public:
    explicit OldCrunch(Hash h) : hash_(h) {
        for (unsigned c = 0; c < 256; ++c) add(kNone, static_cast<std::uint8_t>(c));
    }
    Bytes pack(const std::string& in) {
        std::vector<unsigned> codes;
        int w = find(kNone, static_cast<std::uint8_t>(in[0]));
        for (std::size_t i = 1; i < in.size(); ++i) {
            const auto c = static_cast<std::uint8_t>(in[i]);
            const int x = find(static_cast<std::uint16_t>(w), c);
            if (x >= 0) {
                w = x;
                continue;
            }
            codes.push_back(static_cast<unsigned>(w));
            if (left_) {
                add(static_cast<std::uint16_t>(w), c);
                --left_;
            }
            w = find(kNone, c);
        }
        codes.push_back(static_cast<unsigned>(w));
        testsupport::MsbBitWriter bits;
        for (unsigned code : codes) bits.put(code, 12);
        return bits.out;
    }

private:
    static constexpr std::uint16_t kNone = 0xFFFF;
    struct Slot {
        bool used = false;
        std::uint16_t next = 0, pred = 0;
        std::uint8_t foll = 0;
    };
    unsigned slot(std::uint16_t p, std::uint8_t f) const {
        const std::uint32_t sum = (std::uint32_t{p} + f) & 0xFFFF;
        switch (hash_) {
        case Hash::OrOnly:
            return (sum | 0x800) & 0xFFF;
        case Hash::MidSquare: {
            const std::uint64_t v = sum | 0x800;
            return static_cast<unsigned>(v * v >> 6) & 0xFFF;
        }
        case Hash::Multiply:
            return (sum * 15073u) & 0xFFF;
        }
        return 0;
    }
    void add(std::uint16_t p, std::uint8_t f) {
        unsigned at = slot(p, f);
        if (tab_[at].used) {
            while (tab_[at].next) at = tab_[at].next;
            const unsigned end = at;
            at = (at + 101) & 0xFFF;
            while (tab_[at].used) at = (at + 1) & 0xFFF;
            tab_[end].next = static_cast<std::uint16_t>(at);
        }
        tab_[at] = {true, 0, p, f};
    }
    int find(std::uint16_t p, std::uint8_t f) const {
        unsigned at = slot(p, f);
        if (!tab_[at].used) return -1;
        for (;;) {
            if (tab_[at].pred == p && tab_[at].foll == f) return static_cast<int>(at);
            if (!tab_[at].next) return -1;
            at = tab_[at].next;
        }
    }
    Hash hash_;
    Slot tab_[4096];
    unsigned left_ = 4096 - 256;
};

// Text long enough to fill the string table, without the run-length
// marker, so that methods 6 and 7 need no run-length coding.
std::string crunchText() {
    std::string s;
    for (int i = 0; i < 2500; ++i)
        s += "entry " + std::to_string(i * 7919 % 10007) + (i % 3 ? " is odd\n" : " is even\n");
    return s;
}

class UnArc : public ExtractFixture {
protected:
    int extract(const std::string& archive, const std::string& target) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x) << archive;
        if (!x) return -1;
        x->SetExtractDir(target);
        int failed = 0;
        x->OnEnd = [&](TObject*, const std::string&, bool pass) { failed += !pass; };
        x->Extract();
        stop = x->StopCode;
        return failed;
    }
    int stop = -1;
};

} // namespace

TEST_F(UnArc, ArcMadeArchivesOfEveryMethodItWrites) {
    if (!testsupport::haveTool("arc")) GTEST_SKIP() << "arc not installed";
    auto tree = testsupport::makeSourceTree(tmp / "src");
    // Long runs, and bytes of a skewed spread that only Huffman codes
    // shrink (squeezed).
    std::string runs, skewed;
    for (int i = 0; i < 3000; ++i) runs += std::string(1 + i % 40, static_cast<char>('a' + i % 7));
    std::mt19937 rng(4);
    for (int i = 0; i < 30000; ++i) {
        int k = 0;
        while (rng() % 2 && k < 40) ++k;
        skewed += static_cast<char>(rng() % 10 ? 'A' + k : static_cast<int>(rng() % 256));
    }
    testsupport::writeFile(tree.root + "/runs.txt", runs);
    testsupport::writeFile(tree.root + "/skewed.txt", skewed);
    tree.files = {"text.txt", "noise.bin", "far.bin", "empty.txt", "runs.txt", "skewed.txt"};
    testsupport::run("cd '" + tree.root + "' && touch -d '" + testsupport::kTreeTime + "' *.txt");
    // ARC keeps plain names: the files of the top folder.
    for (const char* mode : {"a", "aq", "as"}) {
        const std::string name = std::string(mode) + ".arc";
        SCOPED_TRACE(name);
        ASSERT_EQ(testsupport::run("cd '" + tree.root + "' && arc " + mode + " ../" + name +
                                   " text.txt noise.bin far.bin empty.txt runs.txt skewed.txt "
                                   ">/dev/null 2>&1"),
                  0);
        const std::string target = tmp / ("out_" + std::string(mode));
        EXPECT_EQ(extract(tmp / name, target), 0);
        EXPECT_EQ(stop, 0);
        EXPECT_TRUE(errors.empty());
        testsupport::expectSameFiles(tree, target);
        std::set<int> methods;
        const Bytes file = testsupport::readFile(tmp / name);
        auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
            if (pos < 0 ||
                pos + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(file.size()))
                return false;
            std::memcpy(buf, file.data() + pos, n);
            return true;
        };
        arc::Header h;
        for (std::int64_t pos = 0;
             arc::readHeader(read, pos, static_cast<std::int64_t>(file.size()), h) ==
             arc::Status::Ok;
             pos = h.NextPos())
            methods.insert(h.Method);
        const std::set<int> want = mode == std::string("a")    ? std::set<int>{2, 4, 8}
                                   : mode == std::string("aq") ? std::set<int>{2, 4, 9}
                                                               : std::set<int>{2};
        EXPECT_EQ(methods, want);
    }
}

// Methods 5 and 6 place strings by the middle bits of a square, method 7
// by a product: arc and nomarch read those, and refuse the or-only hash.
TEST_F(UnArc, OldCrunchedMethodsTheirHashesCheckedByThePeers) {
    const std::string text = crunchText();
    struct Case {
        int method;
        Hash hash;
        bool peersAccept;
    };
    const Case cases[] = {
        {5, Hash::MidSquare, true}, {6, Hash::MidSquare, true}, {7, Hash::Multiply, true},
        {5, Hash::OrOnly, false},   {6, Hash::OrOnly, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.method) + (c.peersAccept ? " right hash" : " or-only hash"));
        OldCrunch crunch(c.hash);
        const std::string archive =
            write(arcArchive({arcMember(c.method, "TEXT.TXT", crunch.pack(text), text)}),
                  "c" + std::to_string(c.method) + ".arc");
        if (testsupport::haveTool("arc")) {
            EXPECT_EQ(testsupport::run("arc t '" + archive + "' >/dev/null 2>&1") == 0,
                      c.peersAccept);
        }
        // nomarch reads methods 5 and 6.
        if (testsupport::haveTool("nomarch") && c.method != 7) {
            EXPECT_EQ(testsupport::run("nomarch -t '" + archive + "' >/dev/null 2>&1") == 0,
                      c.peersAccept);
        }
        fs::remove_all(out);
        log.clear();
        auto x = extractorFor(archive);
        ASSERT_TRUE(x);
        x->Extract();
        const bool ours = slurp("TEXT.TXT") == text;
        EXPECT_EQ(ours, c.peersAccept);
        EXPECT_EQ(std::count(log.begin(), log.end(), "end TEXT.TXT pass"), c.peersAccept ? 1 : 0);
    }
}

TEST_F(UnArc, HeadersBehindUpToTenBytesOfPadding) {
    for (int pad : {0, 10, 11}) {
        SCOPED_TRACE(pad);
        log.clear();
        errors.clear();
        fs::remove_all(out);
        Bytes a = stored("ONE.TXT", "one");
        a.insert(a.end(), static_cast<std::size_t>(pad), 0);
        testsupport::putBytes(a, arcArchive({stored("TWO.TXT", "two")}));
        auto x = extractorFor(write(a, "p.arc"));
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_EQ(slurp("ONE.TXT"), "one");
        if (pad <= 10) {
            EXPECT_EQ(slurp("TWO.TXT"), "two");
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_FALSE(fs::exists(out + "/TWO.TXT"));
            EXPECT_EQ(errors, std::vector<int>{err::UnsupportedArcType});
        }
    }
}

TEST_F(UnArc, WalkEvents) {
    // Method 1: the old header without the uncompressed size.  Method 10:
    // no decoder; reported, and the walk goes on.
    Bytes a =
        arcArchive({stored("OLD.TXT", "old one", 1), stored("SKIP.DOC", "skipped"),
                    arcMember(10, "NEW.TXT", Bytes{1, 2, 3}, "new"), stored("LAST.TXT", "last")});
    auto x = extractorFor(write(a, "w.arc"));
    ASSERT_TRUE(x);
    x->SetFileSpec("*.TXT");
    x->Extract();
    EXPECT_EQ(log,
              (std::vector<std::string>{"activate", "begin OLD.TXT 1", "end OLD.TXT pass",
                                        "error 26900 SKIP.DOC", "error 25200 NEW.TXT",
                                        "begin LAST.TXT 2", "end LAST.TXT pass", "deactivate"}));
    EXPECT_EQ(slurp("OLD.TXT"), "old one");
    // Declined members are reported as skipped too; a plain name passes
    // over the others the same way.
    log.clear();
    x->OnBegin = [](TObject*, const std::string&, int, bool& go) { go = false; };
    x->SetFileSpec("LAST.TXT");
    x->Extract();
    EXPECT_EQ(log,
              (std::vector<std::string>{"activate", "error 26900 OLD.TXT", "error 26900 SKIP.DOC",
                                        "error 26900 NEW.TXT", "exists LAST.TXT",
                                        "error 26900 LAST.TXT", "deactivate"}));
}

TEST_F(UnArc, DataPastTheEndEndsTheWalk) {
    Bytes a = arcArchive({stored("A.TXT", "alpha"), stored("B.TXT", "beta")});
    a.resize(a.size() - 4);
    auto x = extractorFor(write(a, "t.arc"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(slurp("A.TXT"), "alpha");
    EXPECT_FALSE(fs::exists(out + "/B.TXT"));
    EXPECT_EQ(errors, std::vector<int>{err::UnsupportedArcType});
}
