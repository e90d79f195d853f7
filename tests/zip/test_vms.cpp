// The paged scratch stream: contents survive eviction to the swap file,
// page limits, sizes and seeks, and the swap file's lifetime.
#include <gtest/gtest.h>

#include <random>

#include "archive/zip/VirtualMemoryStream.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"
#include "zip/ZipTestSupport.h"

using ziptest::Bytes;

namespace {

Bytes readAll(TZlStream& s) {
    Bytes b(static_cast<std::size_t>(s.Size()));
    s.SetPosition(0);
    if (!b.empty()) s.ReadBuffer(b.data(), b.size());
    return b;
}

TEST(VirtualMemoryStream, PagesInMemoryFollowTheMemorySize) {
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 1}, {1, 1}, {4096, 1}, {4097, 2}, {102400, 25}, {1 << 20, 256}, {64 << 20, 256}};
    for (auto [memory, pages] : cases) {
        TZlVirtualMemoryStream s(memory);
        EXPECT_EQ(s.MaxPages(), pages) << memory;
    }
    EXPECT_EQ(TZlVirtualMemoryStream().MaxPages(), 25u);
}

// Writes in odd-sized pieces at scattered places, more than the pages kept
// in memory, and reads everything back.
TEST(VirtualMemoryStream, ContentSurvivesEvictionAndSwap) {
    std::string swap;
    {
        TZlVirtualMemoryStream s(3 * 4096);
        const Bytes data = ziptest::randomBytes(200000, 7);
        std::mt19937 rng(3);
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 9000, data.size() - at);
            EXPECT_EQ(s.Write(data.data() + at, n), n);
            at += n;
        }
        EXPECT_EQ(s.PagesInMemory(), 3u);
        swap = s.SwapFileName();
        ASSERT_FALSE(swap.empty());
        EXPECT_TRUE(plat::fileExists(swap));
        EXPECT_EQ(s.Size(), 200000);
        EXPECT_EQ(readAll(s), data);
        // Overwrite a range across pages, then read pieces in random order.
        Bytes patch = ziptest::randomBytes(10000, 9);
        s.SetPosition(55555);
        s.WriteBuffer(patch.data(), patch.size());
        Bytes want = data;
        std::copy(patch.begin(), patch.end(), want.begin() + 55555);
        for (int i = 0; i < 200; ++i) {
            const std::size_t pos = rng() % want.size();
            const std::size_t n = std::min<std::size_t>(rng() % 6000, want.size() - pos);
            Bytes got(n);
            s.SetPosition(static_cast<std::int64_t>(pos));
            ASSERT_EQ(s.Read(got.data(), n), n);
            ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin() + static_cast<long>(pos)));
        }
    }
    EXPECT_FALSE(plat::fileExists(swap)) << "the swap file goes with the stream";
}

TEST(VirtualMemoryStream, SmallContentNeedsNoSwapFile) {
    TZlVirtualMemoryStream s;
    const Bytes data = ziptest::textBytes(50000);
    s.WriteBuffer(data.data(), data.size());
    EXPECT_TRUE(s.SwapFileName().empty());
    EXPECT_EQ(readAll(s), data);
}

TEST(VirtualMemoryStream, SeekOriginsAndReadsAtTheEnd) {
    TZlVirtualMemoryStream s;
    const Bytes data = ziptest::textBytes(10000);
    s.WriteBuffer(data.data(), data.size());
    EXPECT_EQ(s.Seek(100, soFromBeginning), 100);
    EXPECT_EQ(s.Seek(50, soFromCurrent), 150);
    EXPECT_EQ(s.Seek(-10, soFromEnd), 9990);
    std::uint8_t b[64];
    EXPECT_EQ(s.Read(b, sizeof b), 10u);
    EXPECT_EQ(s.Read(b, sizeof b), 0u);
    try {
        s.Seek(0, 3);
        FAIL() << "origin 3 accepted";
    } catch (const EZlVMSInvalidOrigin& e) {
        EXPECT_EQ(e.ErrorCode, 201);
        EXPECT_STREQ(e.what(), "VMS: invalid origin 3, should be 0, 1, 2");
    }
}

// A write past the end leaves zeros in the gap; shrinking drops what lies
// beyond, also from the swap file, and growing again shows zeros.
TEST(VirtualMemoryStream, SizeChangesAndGaps) {
    TZlVirtualMemoryStream s(4096);
    s.SetPosition(20000);
    const std::uint8_t x = 0x5A;
    s.WriteBuffer(&x, 1);
    EXPECT_EQ(s.Size(), 20001);
    Bytes all = readAll(s);
    EXPECT_EQ(std::count(all.begin(), all.end(), 0), 20000);

    const Bytes data = ziptest::randomBytes(30000, 4);
    s.SetPosition(0);
    s.WriteBuffer(data.data(), data.size());
    s.SetSize(5000);
    EXPECT_EQ(s.Size(), 5000);
    EXPECT_LE(s.SwapHighWater(), 8192);
    s.SetSize(12000);
    all = readAll(s);
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + 5000, data.begin()));
    EXPECT_EQ(std::count(all.begin() + 5000, all.end(), 0), 7000);
}

} // namespace
