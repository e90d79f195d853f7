// The run-length stage of ARC's methods 3, 4, 6, 7 and 8: 0x90 followed by
// a count n repeats the byte before it n - 1 more times; 0x90 0x00 stands
// for 0x90 itself (and leaves the byte to repeat as it was).
#pragma once

#include <cstdint>

#include "archive/extract/Window.h"

namespace dec {

class ArcRle {
public:
    explicit ArcRle(Window& out) : out_(out) {}

    void put(std::uint8_t b) {
        if (!repeat_) {
            if (b == kMarker) {
                repeat_ = true;
            } else {
                last_ = b;
                out_.put(b);
            }
            return;
        }
        repeat_ = false;
        if (b == 0) {
            out_.put(kMarker);
            return;
        }
        for (unsigned n = b; n > 1 && !out_.full(); --n) out_.put(last_);
    }

private:
    static constexpr std::uint8_t kMarker = 0x90;
    Window& out_;
    std::uint8_t last_ = 0;
    bool repeat_ = false;
};

} // namespace dec
