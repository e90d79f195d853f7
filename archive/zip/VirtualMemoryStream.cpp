#include "archive/zip/VirtualMemoryStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/core/StringResource.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::int64_t kPage = static_cast<std::int64_t>(TZlVirtualMemoryStream::PageSize);
constexpr std::int64_t kStampLimit = 2147483647;

std::int64_t pageStart(std::int64_t offset) {
    return offset / kPage * kPage;
}

// Message `No` with "%d" replaced by a number and "%s" by a name.
std::string vmsText(int No, std::int64_t number, const std::string& name) {
    std::string text = ZlMessage(No);
    auto replace = [&](const char* what, const std::string& by) {
        const std::size_t at = text.find(what);
        if (at != std::string::npos) text.replace(at, 2, by);
    };
    replace("%d", std::to_string(number));
    replace("%s", name);
    return text;
}

} // namespace

TZlVirtualMemoryStream::TZlVirtualMemoryStream(std::size_t MemorySize) {
    SetMemorySize(MemorySize);
}

TZlVirtualMemoryStream::~TZlVirtualMemoryStream() {
    if (swapFd_ >= 0) ::close(swapFd_);
    if (!swapName_.empty()) plat::deleteFile(swapName_);
}

void TZlVirtualMemoryStream::SetMemorySize(std::size_t MemorySize) {
    maxPages_ = std::clamp<std::size_t>((MemorySize + PageSize - 1) / PageSize, 1, MaxPagesLimit);
}

std::size_t TZlVirtualMemoryStream::lowerBound(std::int64_t offset) const {
    // Few pages: a linear search is quicker than a binary one.
    if (pages_.size() < 4) {
        std::size_t i = 0;
        while (i < pages_.size() && pages_[i]->Offset < offset) ++i;
        return i;
    }
    return static_cast<std::size_t>(std::lower_bound(pages_.begin(), pages_.end(), offset,
                                                     [](const std::unique_ptr<Page>& p,
                                                        std::int64_t o) { return p->Offset < o; }) -
                                    pages_.begin());
}

void TZlVirtualMemoryStream::touch(Page* p) {
    if (++stamp_ >= kStampLimit) {
        for (auto& q : pages_) q->Stamp = 0;
        stamp_ = 1;
    }
    p->Stamp = stamp_;
}

void TZlVirtualMemoryStream::openSwap() {
    swapName_ = plat::tempFileName("VMS");
    if (!swapName_.empty()) swapFd_ = ::open(swapName_.c_str(), O_RDWR | O_CLOEXEC);
    if (swapFd_ < 0) {
        const std::string name = swapName_;
        if (!name.empty()) plat::deleteFile(name);
        swapName_.clear();
        throw EZlVMSErrorOpenSwap(ZlFormat(EZlVMSErrorOpenSwap::Code, name));
    }
}

void TZlVirtualMemoryStream::writeSwap(const Page& p) {
    if (swapFd_ < 0) openSwap();
    std::size_t done = 0;
    while (done < PageSize) {
        const ssize_t n = ::pwrite(swapFd_, p.Data.get() + done, PageSize - done,
                                   p.Offset + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EZlVMSWriteFail(vmsText(EZlVMSWriteFail::Code, kPage, swapName_));
        done += static_cast<std::size_t>(n);
    }
    swapHigh_ = std::max(swapHigh_, p.Offset + kPage);
}

void TZlVirtualMemoryStream::readSwap(Page& p) {
    std::size_t done = 0;
    while (done < PageSize) {
        const ssize_t n = ::pread(swapFd_, p.Data.get() + done, PageSize - done,
                                  p.Offset + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EZlVMSReadFail(vmsText(EZlVMSReadFail::Code, kPage, swapName_));
        done += static_cast<std::size_t>(n);
    }
}

void TZlVirtualMemoryStream::evict(Page& p) {
    if (p.Dirty) writeSwap(p);
    p.Dirty = false;
}

TZlVirtualMemoryStream::Page* TZlVirtualMemoryStream::pageAt(std::int64_t offset) {
    const std::int64_t start = pageStart(offset);
    if (current_ && current_->Offset == start) {
        touch(current_);
        return current_;
    }
    std::size_t i = lowerBound(start);
    if (i < pages_.size() && pages_[i]->Offset == start) {
        current_ = pages_[i].get();
        touch(current_);
        return current_;
    }

    std::unique_ptr<Page> page;
    if (pages_.size() < maxPages_) {
        page = std::make_unique<Page>();
        page->Data.reset(new std::uint8_t[PageSize]);
    } else {
        // The least recently used page makes room.
        std::size_t oldest = 0;
        for (std::size_t k = 1; k < pages_.size(); ++k)
            if (pages_[k]->Stamp < pages_[oldest]->Stamp) oldest = k;
        evict(*pages_[oldest]);
        page = std::move(pages_[oldest]);
        pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(oldest));
        i = lowerBound(start);
    }
    page->Offset = start;
    page->Dirty = false;
    if (start < swapHigh_ && swapFd_ >= 0)
        readSwap(*page);
    else
        std::memset(page->Data.get(), 0, PageSize);
    current_ = page.get();
    pages_.insert(pages_.begin() + static_cast<std::ptrdiff_t>(i), std::move(page));
    touch(current_);
    return current_;
}

std::size_t TZlVirtualMemoryStream::Read(void* Buffer, std::size_t Count) {
    if (pos_ >= size_) return 0;
    Count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(Count), size_ - pos_));
    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::size_t done = 0;
    while (done < Count) {
        Page* p = pageAt(pos_);
        const std::size_t at = static_cast<std::size_t>(pos_ - p->Offset);
        const std::size_t n = std::min(Count - done, PageSize - at);
        std::memcpy(out + done, p->Data.get() + at, n);
        done += n;
        pos_ += static_cast<std::int64_t>(n);
    }
    return done;
}

std::size_t TZlVirtualMemoryStream::Write(const void* Buffer, std::size_t Count) {
    const auto* in = static_cast<const std::uint8_t*>(Buffer);
    std::size_t done = 0;
    while (done < Count) {
        Page* p = pageAt(pos_);
        const std::size_t at = static_cast<std::size_t>(pos_ - p->Offset);
        const std::size_t n = std::min(Count - done, PageSize - at);
        std::memcpy(p->Data.get() + at, in + done, n);
        p->Dirty = true;
        done += n;
        pos_ += static_cast<std::int64_t>(n);
    }
    size_ = std::max(size_, pos_);
    return done;
}

std::int64_t TZlVirtualMemoryStream::Seek(std::int64_t Offset, int Origin) {
    std::int64_t to;
    switch (Origin) {
    case soFromBeginning:
        to = Offset;
        break;
    case soFromCurrent:
        to = pos_ + Offset;
        break;
    case soFromEnd:
        to = size_ + Offset;
        break;
    default:
        throw EZlVMSInvalidOrigin(ZlFormat(EZlVMSInvalidOrigin::Code, std::to_string(Origin)));
    }
    pos_ = std::max<std::int64_t>(to, 0);
    return pos_;
}

void TZlVirtualMemoryStream::SetSize(std::int64_t NewSize) {
    NewSize = std::max<std::int64_t>(NewSize, 0);
    if (NewSize < size_) {
        const std::int64_t keep = (NewSize + kPage - 1) / kPage * kPage;
        std::erase_if(pages_, [&](const std::unique_ptr<Page>& p) { return p->Offset >= keep; });
        current_ = nullptr;
        swapHigh_ = std::min(swapHigh_, keep);
        // Bytes past the new end read as zeros when the stream grows again.
        if (NewSize % kPage) {
            Page* p = pageAt(NewSize);
            const std::size_t at = static_cast<std::size_t>(NewSize - p->Offset);
            std::memset(p->Data.get() + at, 0, PageSize - at);
            p->Dirty = true;
        }
    }
    size_ = NewSize;
}
