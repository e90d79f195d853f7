// Block-oriented input and output of the member decoders.  Decoders pull
// compressed bytes from a MemberInput (which decrypts and drives progress
// one block at a time) and push whole buffers into an OutputSink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ZipDecrypter;

namespace unz {

constexpr std::size_t kBlockSize = 32768;

// Where compressed bytes come from: an archive file or memory.
class InputSource {
public:
    virtual ~InputSource() = default;
    // Reads up to n bytes; returns the count read, 0 at end, -1 on error.
    virtual std::int64_t read(std::uint8_t* buf, std::size_t n) = 0;
};

class MemoryInputSource : public InputSource {
public:
    MemoryInputSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Told how many compressed bytes of the member have been consumed.
class ProgressListener {
public:
    virtual ~ProgressListener() = default;
    virtual void inputConsumed(std::uint64_t total, std::uint64_t before, std::uint64_t after,
                               bool force) = 0;
};

// Where decoded bytes go; false when not every byte could be written.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual bool write(const std::uint8_t* buf, std::size_t n) = 0;
};

// The compressed bytes of one member.  At most `size` bytes are taken from
// the source, in blocks of up to 32768, each decrypted when read.
class MemberInput {
public:
    MemberInput(InputSource& src, std::uint64_t size, ZipDecrypter* crypt = nullptr,
                ProgressListener* progress = nullptr);

    // The next byte, or -1 when the member's bytes are used up.
    int getByte() {
        if (p_ < e_) return *p_++;
        return refillByte();
    }
    // The unread rest of the current block, refilling when it is empty;
    // 0 at the end.  The caller consumes all of it.
    std::size_t takeBlock(const std::uint8_t*& data);

    // Copies up to n bytes into buf (for decoders with their own buffer);
    // 0 at the end.
    std::size_t read(std::uint8_t* buf, std::size_t n);

    std::uint64_t total() const { return total_; }
    bool atEnd() const { return p_ == e_ && remaining_ == 0; }
    // Reports the final 100 percent (decoders call it when they finish).
    void finish();

private:
    int refillByte();
    bool refill();

    InputSource& src_;
    ZipDecrypter* crypt_;
    ProgressListener* progress_;
    std::uint64_t total_;
    std::uint64_t remaining_;     // bytes not yet read from the source
    std::uint64_t accounted_ = 0; // bytes reported as consumed
    std::vector<std::uint8_t> buf_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* e_ = nullptr;
};

// Least-significant-bit-first reader of the legacy ZIP methods.  Past the
// end of the member it yields 1-bits and remembers that it ran dry.
class LsbBitReader {
public:
    explicit LsbBitReader(MemberInput& in) : in_(in) {}

    // Makes n (<= 25) bits available; false when the member's bytes ran out
    // first (the missing bits read as ones).
    bool need(int n) {
        while (count_ < n) {
            int b = in_.getByte();
            if (b < 0) {
                dry_ = true;
                b = 0xFF;
            }
            buf_ |= static_cast<std::uint32_t>(b) << count_;
            count_ += 8;
        }
        return !dry_;
    }
    std::uint32_t peek(int n) const { return buf_ & ((1u << n) - 1); }
    void drop(int n) {
        buf_ >>= n;
        count_ -= n;
    }
    std::uint32_t bits(int n) {
        need(n);
        std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    bool dry() const { return dry_; }

private:
    MemberInput& in_;
    std::uint32_t buf_ = 0;
    int count_ = 0;
    bool dry_ = false;
};

// A 32768-byte ring that is both the decoder's history and its output
// buffer: it goes to the sink whenever it fills up.
class OutputRing {
public:
    explicit OutputRing(OutputSink& sink) : sink_(sink), ring_(kBlockSize, 0) {}

    void put(std::uint8_t b) {
        ring_[pos_++] = b;
        ++produced_;
        if (pos_ == kBlockSize) flushFull();
    }
    // The byte `back` positions behind the next one (1 = the last byte);
    // zero before anything was written there.
    std::uint8_t behind(std::size_t back) const { return ring_[(pos_ - back) & (kBlockSize - 1)]; }
    std::uint64_t produced() const { return produced_; }
    // Writes the bytes not yet handed to the sink.
    void flush();

private:
    void flushFull();

    OutputSink& sink_;
    std::vector<std::uint8_t> ring_;
    std::size_t pos_ = 0;
    std::size_t flushedTo_ = 0;
    std::uint64_t produced_ = 0;
};

} // namespace unz
