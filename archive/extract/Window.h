// The output window of the LZ decoders: their history and their output
// buffer in one.  Bytes go to the sink a chunk at a time, and never beyond
// the member's stated size: a match that runs past the end is cut here, once,
// rather than tested byte by byte in every decoder.
//
// The buffer holds the history in front of the write position and room for a
// chunk behind it, so that matches are plain forward copies without
// wrap-around; when the chunk is full it goes to the sink and the last
// `history` bytes move to the front.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/extract/Decoder.h"

namespace dec {

class Window {
public:
    // `history` is the farthest a match may reach back (a power of two is
    // not required); before the first byte the history reads as `fill`.
    Window(Sink& sink, std::size_t history, std::uint64_t limit = kUnknownSize,
           std::uint8_t fill = 0);

    void put(std::uint8_t b) {
        *w_++ = b;
        if (w_ >= hi_) slide();
    }
    // Copies len bytes from dist (1 .. history) bytes back; overlapping
    // copies repeat the pattern.
    void copy(std::size_t dist, std::size_t len) {
        while (len) {
            const std::size_t n = len < kMaxPiece ? len : kMaxPiece;
            const std::uint8_t* src = w_ - dist;
            if (dist >= n) {
                std::memcpy(w_, src, n);
                w_ += n;
            } else {
                for (std::size_t i = 0; i < n; ++i) *w_++ = *src++;
            }
            len -= n;
            if (w_ >= hi_) slide();
        }
    }
    // The byte `back` positions behind the next one (1 = the last byte).
    std::uint8_t behind(std::size_t back) const { return *(w_ - back); }

    // Bytes decoded so far (also those past the limit, which are dropped).
    std::uint64_t produced() const { return written_ + static_cast<std::uint64_t>(w_ - flushed_); }
    // The member's stated size has been produced.
    bool full() const { return produced() >= limit_; }
    std::size_t history() const { return history_; }
    // Writes the bytes not yet handed to the sink (up to the limit).
    void flush();

private:
    static constexpr std::size_t kMaxPiece = 1024;
    void slide();

    Sink& sink_;
    std::size_t history_;
    std::uint64_t limit_;
    std::vector<std::uint8_t> buf_;
    std::uint8_t* w_;           // write position
    std::uint8_t* flushed_;     // bytes before this went to the sink
    std::uint8_t* hi_;          // a full chunk: time to slide
    std::uint64_t written_ = 0; // bytes accounted by earlier flushes
};

} // namespace dec
