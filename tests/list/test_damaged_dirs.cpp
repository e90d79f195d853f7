// Damaged archives of every family this folder's readers serve: random
// byte changes and truncations never crash or hang the lister, never report
// more members than the file could hold, and always end with OnDeactivate.
#include <gtest/gtest.h>

#include <random>

#include "archive/core/Crc.h"
#include "support/TempDir.h"
#include "test_list_support.h"
#include "tests/support/ZipBuilder.h"

using testsupport::TempDir;
using ziptest::Bytes;
constexpr auto p16 = testsupport::put16;
constexpr auto p32 = testsupport::put32;
constexpr auto pstr = testsupport::putStr;

namespace {

Bytes zipSample() {
    ziptest::Member a("dir/a.txt", "alpha"), b("b.txt", "beta beta");
    a.comment = "note";
    ziptest::Options o;
    o.comment = "archive comment that is long enough to be read as a header";
    return ziptest::build({a, b}, o);
}

Bytes zip64Sample() {
    ziptest::Options o;
    o.zip64 = true;
    return ziptest::build({ziptest::Member("a.txt", "alpha"), ziptest::Member("b.txt", "beta")}, o);
}

Bytes cabSample() {
    Bytes v;
    pstr(v, "MSCF");
    p32(v, 0);
    p32(v, 120);
    p32(v, 0);
    p32(v, 44);
    p32(v, 0);
    v.push_back(3);
    v.push_back(1);
    p16(v, 1);
    p16(v, 2);
    p16(v, 0);
    p16(v, 1);
    p16(v, 0);
    p32(v, 90);
    p16(v, 1);
    p16(v, 0);
    for (const char* n : {"one.txt", "two.txt"}) {
        p32(v, 5);
        p32(v, 0);
        p16(v, 0);
        p16(v, 0x2A21);
        p16(v, 0x6000);
        p16(v, 0x20);
        pstr(v, n);
        v.push_back(0);
    }
    while (v.size() < 90) v.push_back(0);
    p32(v, 0);
    p16(v, 10);
    p16(v, 10);
    pstr(v, "helloworld");
    return v;
}

Bytes tarSample() {
    Bytes v;
    auto header = [&](const std::string& name, char type, std::size_t size) {
        Bytes h(512, 0);
        std::copy(name.begin(), name.end(), h.begin());
        char num[16];
        std::snprintf(num, sizeof num, "%011zo", size);
        std::copy(num, num + 11, h.begin() + 124);
        std::copy(num, num + 11, h.begin() + 136);
        h[156] = static_cast<std::uint8_t>(type);
        std::copy_n("ustar", 5, h.begin() + 257);
        std::fill(h.begin() + 148, h.begin() + 156, ' ');
        unsigned sum = 0;
        for (auto c : h) sum += c;
        std::snprintf(num, sizeof num, "%06o", sum);
        std::copy(num, num + 7, h.begin() + 148);
        v.insert(v.end(), h.begin(), h.end());
        v.insert(v.end(), (size + 511) / 512 * 512, 'd');
    };
    header("././@LongLink", 'L', 300);
    header("short", '0', 700);
    header("PaxHeaders/x", 'x', 30);
    header("file.txt", '0', 10);
    v.insert(v.end(), 1024, 0);
    return v;
}

Bytes gzipSample() {
    Bytes v = {0x1F, 0x8B, 8, 0x0C, 0, 0, 0, 0, 0, 3};
    p16(v, 3);
    pstr(v, "abc");
    pstr(v, "name.txt");
    v.push_back(0);
    v.insert(v.end(), {3, 0});
    p32(v, 0);
    p32(v, 0);
    return v;
}

Bytes bhSample() {
    Bytes v;
    for (const std::string name : {"A.TXT", "B.TXT"}) {
        p32(v, 0x07054842);
        p16(v, static_cast<std::uint32_t>(37 + name.size()));
        v.insert(v.end(), {0, 1, 1, 0, 2});
        p32(v, 0);
        p32(v, 4);
        p32(v, 9);
        p32(v, 0);
        p16(v, 0x20);
        p32(v, 0);
        p16(v, static_cast<std::uint32_t>(name.size()));
        p16(v, 0);
        pstr(v, name);
        pstr(v, "data");
    }
    return v;
}

Bytes haSample() {
    Bytes v = {'H', 'A', 2, 0};
    for (const char* n : {"one", "two"}) {
        v.push_back(0x20);
        p32(v, 4);
        p32(v, 4);
        p32(v, 0);
        p32(v, 0);
        v.push_back(0);
        pstr(v, n);
        v.push_back(0);
        v.insert(v.end(), {2, 1, 0x20});
        pstr(v, "data");
    }
    return v;
}

Bytes rarSample() {
    Bytes v = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    p16(v, 0);
    v.push_back(0x73);
    p16(v, 0);
    p16(v, 13);
    p16(v, 0);
    p32(v, 0);
    for (const char* n : {"a.txt", "b.txt"}) {
        p16(v, 0);
        v.push_back(0x74);
        p16(v, 0x8000);
        p16(v, 32 + 5);
        p32(v, 4);
        p32(v, 4);
        v.push_back(2);
        p32(v, 0);
        p32(v, 0);
        v.push_back(29);
        v.push_back(0x30);
        p16(v, 5);
        p32(v, 0x20);
        pstr(v, n);
        pstr(v, "data");
    }
    return v;
}

Bytes rar5Sample() {
    const std::string path = listtest::corpus("rar/sharpcompress__Rar5.none.rar");
    if (!listtest::fs::exists(path)) return {};
    return testsupport::readFile(path);
}

void hammer(const std::string& ext, const Bytes& good) {
    if (good.empty()) GTEST_SKIP() << "no sample for " << ext;
    TempDir dir;
    std::mt19937 rng(0xC0FFEE);
    const std::string path = dir / ("sample" + ext);
    for (int round = 0; round < 200; ++round) {
        Bytes b = good;
        switch (round % 4) {
        case 0: // a few random bytes
            for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
                b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
            break;
        case 1: // truncated
            b.resize(rng() % b.size());
            break;
        case 2: // a run of 0xFF (all-ones sizes and offsets)
        {
            std::size_t at = rng() % b.size();
            for (std::size_t k = at; k < std::min(b.size(), at + 4); ++k) b[k] = 0xFF;
            break;
        }
        default: // zeros, then random bytes appended
        {
            std::size_t at = rng() % b.size();
            for (std::size_t k = at; k < std::min(b.size(), at + 2); ++k) b[k] = 0;
            for (int k = 0; k < 16; ++k) b.push_back(static_cast<std::uint8_t>(rng()));
        }
        }
        testsupport::writeFile(path, b);
        for (bool dirs : {false, true}) {
            auto r = listtest::list(path, "*.*", dirs);
            if (std::find(r.events.begin(), r.events.end(), "activate") != r.events.end()) {
                EXPECT_EQ(r.events.back(), "deactivate") << ext << " round " << round;
            }
            // Every listed member needs at least one byte of header.
            EXPECT_LE(r.members.size(), b.size()) << ext << " round " << round;
        }
    }
}

} // namespace

TEST(DamagedDirectories, Zip) {
    hammer(".zip", zipSample());
}
TEST(DamagedDirectories, Zip64) {
    hammer(".zip", zip64Sample());
}
TEST(DamagedDirectories, Cab) {
    hammer(".cab", cabSample());
}
TEST(DamagedDirectories, Tar) {
    hammer(".tar", tarSample());
}
TEST(DamagedDirectories, Gzip) {
    hammer(".gz", gzipSample());
}
TEST(DamagedDirectories, Bh) {
    hammer(".bh", bhSample());
}
TEST(DamagedDirectories, Ha) {
    hammer(".ha", haSample());
}
TEST(DamagedDirectories, Rar) {
    hammer(".rar", rarSample());
}
TEST(DamagedDirectories, Rar5) {
    hammer(".rar", rar5Sample());
}

TEST(DamagedDirectories, SamplesAreListedUndamaged) {
    TempDir dir;
    const std::vector<std::pair<std::string, Bytes>> samples = {
        {".zip", zipSample()}, {".cab", cabSample()}, {".tar", tarSample()}, {".gz", gzipSample()},
        {".bh", bhSample()},   {".ha", haSample()},   {".rar", rarSample()}};
    for (const auto& [ext, bytes] : samples) {
        testsupport::writeFile(dir / ("s" + ext), bytes);
        auto r = listtest::list(dir / ("s" + ext));
        EXPECT_TRUE(r.ok) << ext;
        EXPECT_GE(r.members.size(), 1u) << ext;
    }
}
