// Deflate decoder (RFC 1951) shared by the ZIP, GZIP and cabinet extractors
// and the ZIP library.
//
// Data flows through two callbacks owned by the caller:
//
//  * Input: the decoder pulls compressed bytes into its own buffer, asking
//    for at most `capacity` bytes at a time (never more than 32768).  The
//    callback returns the number of bytes stored (1..capacity), 0 at the end
//    of the compressed data, or -1 on a read error.  The caller bounds the
//    input (a ZIP member's packed size, a cabinet data block), decrypts in
//    place and reports progress as it hands out bytes; exceptions it throws
//    pass through the decoder unchanged.
//
//  * Output: the decoder hands out contiguous chunks of decoded bytes
//    ("window flushes").  A stream is written in whole 32768-byte chunks,
//    except the last one of each Inflate()/InflateNext() call, which is
//    shorter (and omitted when empty); in a chain of InflateNext() calls the
//    first chunk of a call may be shorter as well.  No chunk is ever longer.  The sink writes the
//    bytes and updates the member's CRC-32; returning false means a short write, which stops
//    decoding with err::WriteError.  Exceptions thrown by the sink pass
//    through as well.
//
// The decoder never computes the CRC itself and never raises E_RAISE: every
// call returns 0 or one of the err:: codes below, and the extraction frame
// turns a non-zero code into its decoder-error path.
//
//   err::BadBlock           block type 3, stored length check, undecodable
//                           code or bad distance in a fixed block
//   err::IncompleteCodeSet  any code set that cannot be built (incomplete or
//                           over-subscribed), a repeat running past the code
//                           lengths, undecodable code or bad distance in a
//                           dynamic block
//   err::ReadError          the input callback returned -1, or the compressed
//                           data ended before the final block did
//   err::WriteError         the output sink returned false
//
// A distance reaching back before the first byte of the stream (or, with
// InflateNext(), before the first byte since Reset()) is refused rather than
// reading stale window memory, and a stream cut short is reported instead of
// being padded with 1-bits, so that a damaged member can neither leak old data
// nor decode forever.
//
// Memory is fixed: a 160 KB window with its margin, a 32 KB input buffer and the
// Huffman tables, allocated once per Inflater and reused by every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class Inflater {
public:
    using InputFn = std::function<std::ptrdiff_t(std::uint8_t* buffer, std::size_t capacity)>;
    using OutputFn = std::function<bool(const std::uint8_t* data, std::size_t length)>;

    // Largest chunk the decoder asks of the input callback and hands to the
    // output sink.
    static constexpr std::size_t kWindowSize = 32768;
    // The method table's variant that asks the Inflate decoder for Deflate64.
    static constexpr std::uint8_t kVariantDeflate64 = 64;

    // `deflate64`: decode Deflate64 (a 64 KB window, lengths up to 65538,
    // distances up to 65536) instead of Deflate.
    explicit Inflater(bool deflate64 = false);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    InputFn Input;
    OutputFn Output;

    // Decodes one complete Deflate stream (up to and including the block with
    // the final bit) from a fresh state: no history, empty bit buffer.  All
    // decoded bytes have reached Output when it returns 0.
    int Inflate();

    // Decodes the next Deflate stream of a chain that shares its window with
    // the previous one: the bit buffer starts empty (the stream is byte
    // aligned, its "CK" signature already skipped by the caller) but matches
    // may reach into the output of earlier streams since Reset().  This is
    // the cabinet MSZIP mode; start each folder with Reset().
    int InflateNext();

    // Forgets the history of earlier streams.
    void Reset();

    // After a successful call: compressed bytes fetched from Input but not
    // used by the stream (whole bytes after the final block's last bit), so
    // a caller that gave the decoder more than the stream (a GZIP trailer)
    // knows where the stream ended.
    std::size_t UnusedInput() const { return unusedInput_; }

    // Bytes decoded by the last call.
    std::uint64_t TotalOut() const { return totalOut_; }

    struct State; // decoder state, private to the implementation

private:
    int run();
    std::unique_ptr<State> s_;
    std::size_t unusedInput_ = 0;
    std::uint64_t totalOut_ = 0;
};

// One-shot decoding of a raw Deflate stream held in memory, for tests, tools
// and fuzzing.  Decoded bytes are appended to `out`; decoding stops with
// err::WriteError when more than `maxOut` bytes would be produced.  Returns 0
// or an err:: code as Inflater does; `unused` (when given) receives the count
// of input bytes after the end of the stream.
int inflateBuffer(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                  std::size_t maxOut = SIZE_MAX, std::size_t* unused = nullptr);
