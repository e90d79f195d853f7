// The LZHUF coder of LHA method 1 (-lh1-): greedy LZ77 over a 4 KB ring
// (matches of 3 to 60 bytes) with an adaptive Huffman code for literals
// and lengths and a fixed code for the upper six bits of each match
// position.  The output is the bit stream every lh1 decoder reads; how
// matches are found is the coder's own business, so the match finder uses
// hash chains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace lzhuf {

// Fills buf with up to n bytes of input; 0 only at the end of the input.
// May return fewer than n bytes at any time.
using Source = std::function<std::size_t(std::uint8_t* buf, std::size_t n)>;
// Takes the next piece of coded output; throws to stop the coder.
using Sink = std::function<void(const std::uint8_t* buf, std::size_t n)>;

class Encoder {
public:
    // Allocates the coder's buffers (std::bad_alloc when memory is short);
    // one encoder codes any number of members, one after the other.
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Codes all the input the source gives; returns the coded byte count.
    std::uint64_t encode(const Source& in, const Sink& out);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// One-shot form for whole buffers.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> data);

} // namespace lzhuf
