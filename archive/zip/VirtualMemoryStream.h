// The library's scratch stream: contents in pages of 4096 bytes, at most
// MaxPages of them in memory; the least recently used page goes to a swap
// file in the temporary folder when another one is needed.  New members
// are compressed into it, so that members of any size are compressed
// without holding them in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip/ZlStreams.h"

class TZlVirtualMemoryStream : public TZlStream {
public:
    static constexpr std::size_t PageSize = 4096;
    static constexpr std::size_t MaxPagesLimit = 256;
    static constexpr std::size_t DefaultMemorySize = 102400;

    explicit TZlVirtualMemoryStream(std::size_t MemorySize = DefaultMemorySize);
    ~TZlVirtualMemoryStream() override;

    std::size_t Read(void* Buffer, std::size_t Count) override;
    std::size_t Write(const void* Buffer, std::size_t Count) override;
    // Origins 0, 1 and 2; any other raises EZlVMSInvalidOrigin.
    std::int64_t Seek(std::int64_t Offset, int Origin) override;
    void SetSize(std::int64_t NewSize) override;
    std::int64_t Size() override { return size_; }

    // The pages kept in memory: the size in bytes rounded up to pages,
    // between 1 and 256.
    void SetMemorySize(std::size_t MemorySize);
    std::size_t MaxPages() const { return maxPages_; }
    std::size_t PagesInMemory() const { return pages_.size(); }
    // Empty until the first page was swapped out.
    const std::string& SwapFileName() const { return swapName_; }
    // Bytes of the swap file that hold page images.
    std::int64_t SwapHighWater() const { return swapHigh_; }

private:
    struct Page {
        std::int64_t Offset = 0;
        std::int64_t Stamp = 0;
        bool Dirty = false;
        std::unique_ptr<std::uint8_t[]> Data;
    };

    Page* pageAt(std::int64_t offset);
    std::size_t lowerBound(std::int64_t offset) const;
    void touch(Page* p);
    void evict(Page& p);
    void openSwap();
    void writeSwap(const Page& p);
    void readSwap(Page& p);

    std::vector<std::unique_ptr<Page>> pages_; // sorted by offset
    std::size_t maxPages_ = 25;
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;
    Page* current_ = nullptr;
    std::int64_t stamp_ = 0;
    std::string swapName_;
    int swapFd_ = -1;
    std::int64_t swapHigh_ = 0;
};
