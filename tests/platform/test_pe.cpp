#include "platform/PeResources.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(PeResources, ReadsStringsOneToFour) {
    TempDir dir;
    std::string exe = dir / "sfx.exe";
    writeFile(exe, peWithStrings({"12345", "", "7", "hello"}, 20000));
    auto s = plat::readPeStrings(exe, 1, 4);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->size(), 4u);
    EXPECT_EQ((*s)[0], "12345");
    EXPECT_EQ((*s)[1], "");
    EXPECT_EQ((*s)[2], "7");
    EXPECT_EQ((*s)[3], "hello");
}

TEST(PeResources, NonPeFilesYieldNothing) {
    TempDir dir;
    writeFile(dir / "dos.exe", dosStub(1024));
    EXPECT_FALSE(plat::readPeStrings(dir / "dos.exe", 1, 4));
    writeFile(dir / "text", std::string("just text"));
    EXPECT_FALSE(plat::readPeStrings(dir / "text", 1, 4));
    EXPECT_FALSE(plat::readPeStrings(dir / "missing", 1, 4));
}

TEST(PeResources, TruncatedAndHostileImagesAreRefusedSafely) {
    TempDir dir;
    auto good = peWithStrings({"1", "2"});
    for (std::size_t cut : {70u, 300u, 520u, 600u, 650u}) {
        std::vector<std::uint8_t> v(good.begin(),
                                    good.begin() + static_cast<long>(std::min(cut, good.size())));
        writeFile(dir / "cut.exe", v);
        auto s = plat::readPeStrings(dir / "cut.exe", 1, 4);
        if (s) {
            for (auto& str : *s) EXPECT_TRUE(str.empty() || str == "1" || str == "2");
        }
    }
    // A string length that runs past the data entry is ignored.
    auto bad = good;
    put16(bad, 512 + 88 + 2, 0xFFFF);
    writeFile(dir / "bad.exe", bad);
    auto s = plat::readPeStrings(dir / "bad.exe", 1, 4);
    ASSERT_TRUE(s);
    EXPECT_EQ((*s)[0], "");
}
