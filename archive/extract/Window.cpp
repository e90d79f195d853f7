#include "archive/extract/Window.h"

#include <algorithm>

namespace dec {

namespace {
// Bytes handed to the sink at a time: the history, but never less than a block.
std::size_t chunkFor(std::size_t history) {
    return std::max(history, kBlockSize);
}
} // namespace

Window::Window(Sink& sink, std::size_t history, std::uint64_t limit, std::uint8_t fill)
    : sink_(sink), history_(history), limit_(limit),
      buf_(history + chunkFor(history) + kMaxPiece, 0) {
    std::fill(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(history), fill);
    w_ = flushed_ = buf_.data() + history;
    hi_ = w_ + chunkFor(history);
}

void Window::flush() {
    const std::uint64_t n = static_cast<std::uint64_t>(w_ - flushed_);
    if (written_ < limit_) {
        const std::uint64_t allowed = limit_ - written_;
        writeOrFail(sink_, flushed_, static_cast<std::size_t>(std::min(n, allowed)));
    }
    written_ += n;
    flushed_ = w_;
}

void Window::slide() {
    flush();
    std::memmove(buf_.data(), w_ - history_, history_);
    w_ = flushed_ = buf_.data() + history_;
}

} // namespace dec
