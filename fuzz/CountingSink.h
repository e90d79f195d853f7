// An output sink for the decoder fuzz targets: it only counts, and stops a
// decoder that writes more than any sane member would.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/extract/LegacyDecoders.h"

class CountingSink : public unz::OutputSink {
public:
    bool write(const std::uint8_t*, std::size_t n) override {
        total += n;
        return total <= (64u << 20);
    }
    std::size_t total = 0;
};
