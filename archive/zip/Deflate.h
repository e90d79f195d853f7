// Deflate compressor (raw RFC 1951 stream) with a fixed working set.
//
// Data flows through two callbacks owned by the caller:
//
//  * Input: the compressor pulls bytes into its window, asking for at most
//    `capacity` bytes at a time.  The callback returns the count stored, 0 at
//    the end of the input.  It updates CRCs, counts and progress itself;
//    exceptions it throws (read errors, abort) pass through the compressor.
//
//  * Output: finished compressed bytes in chunks of at most 64 KiB.  The
//    callback may change them in place (encryption) and may throw.
//
// Levels 1 to 9 trade speed for size: level 1 parses greedily over a table
// of the two latest positions per hash, level 2 greedily over hash chains,
// the middle levels lazily over longer chains, and levels 7 to 9 look two
// positions ahead (one for inputs said to be under 64 KiB).  Every level chooses each block's type
// (stored, fixed or dynamic Huffman, ties going to fixed) from the exact bit counts and ends blocks
// where the statistics of the data change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class Deflater {
public:
    using InputFn = std::function<std::size_t(std::uint8_t* buffer, std::size_t capacity)>;
    using OutputFn = std::function<void(std::uint8_t* data, std::size_t length)>;

    // Levels outside 1..9 are clamped.  A hint of the input size lets a
    // small input use smaller hash tables; any input size works with any
    // hint.
    explicit Deflater(int level, std::uint64_t sizeHint = UINT64_MAX);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    InputFn Input;
    OutputFn Output;

    // Compresses the whole input into one stream ending with a final block;
    // returns the number of compressed bytes handed to Output.
    std::uint64_t Deflate();

    // Text verdict of the first block's literals: 1 text, 0 binary, 2 while
    // no block has been written.  Binary means more than a quarter as many
    // control bytes (0-6) and bytes above 127 as bytes from 7 to 127.
    int FileType() const;

    struct Stats {
        std::uint64_t storedBlocks = 0, fixedBlocks = 0, dynamicBlocks = 0;
    };
    const Stats& BlockStats() const;

    // Bytes of memory a compressor of this level holds, whatever the input.
    static std::size_t WorkingSetBytes(int level);

    struct Engine; // private to the implementation

private:
    std::unique_ptr<Engine> e_;
};

// One-shot compression of a buffer, for tests, tools and fuzzing.
std::vector<std::uint8_t> deflateBuffer(std::span<const std::uint8_t> in, int level,
                                        Deflater::Stats* stats = nullptr);
