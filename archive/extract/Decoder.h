// The decoder layer shared by every extractor: where a member's compressed
// bytes come from (Input), where its decoded bytes go (Sink), the one
// interface every method's decoder implements, and the table that finds the
// decoder of a method.  Decoders fail through dec::fail with an error code;
// the extraction frame turns that into its decoder-error path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "archive/format/Format.h"

namespace dec {

constexpr std::size_t kBlockSize = 32768;
constexpr std::uint64_t kUnknownSize = std::numeric_limits<std::uint64_t>::max();

// Stops the current decoder with an error code (E_RAISE with the code's text).
[[noreturn]] void fail(int code);

// Where compressed bytes come from: an archive file or memory.
class Source {
public:
    virtual ~Source() = default;
    // Reads up to n bytes; returns the count read, 0 at end, -1 on error.
    virtual std::int64_t read(std::uint8_t* buf, std::size_t n) = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Decrypts compressed bytes as they are read (the family's scheme).
class Cipher {
public:
    virtual ~Cipher() = default;
    virtual void decrypt(std::uint8_t* buf, std::size_t n) = 0;
};

// Told how many compressed bytes of the member have been consumed.
class ProgressListener {
public:
    virtual ~ProgressListener() = default;
    virtual void inputConsumed(std::uint64_t total, std::uint64_t before, std::uint64_t after,
                               bool force) = 0;
};

// Where decoded bytes go; false when not every byte could be written.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const std::uint8_t* buf, std::size_t n) = 0;
    // n zero bytes that the format leaves out (the holes of a sparse file);
    // a sink that can leave them unwritten does, the others write zeros.
    virtual bool hole(std::uint64_t n);
};

// Writes through to another sink, or fails with the write error.
void writeOrFail(Sink& sink, const std::uint8_t* buf, std::size_t n);

// The compressed bytes of one member.  At most `size` bytes are taken from
// the source, in blocks of up to 32768, each decrypted when read.
class Input {
public:
    Input(Source& src, std::uint64_t size, Cipher* cipher = nullptr,
          ProgressListener* progress = nullptr);

    // The next byte, or -1 when the member's bytes are used up.
    int getByte() {
        if (p_ < e_) return *p_++;
        return refillByte();
    }
    // The unread rest of the current block, refilling when it is empty;
    // 0 at the end.  The caller consumes all of it.  `forceProgress` is the
    // block copier's mode: each change of the percentage is reported.
    std::size_t takeBlock(const std::uint8_t*& data, bool forceProgress = true);

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

    Source& src_;
    Cipher* cipher_;
    ProgressListener* progress_;
    std::uint64_t total_;
    std::uint64_t remaining_;     // bytes not yet read from the source
    std::uint64_t accounted_ = 0; // bytes reported as consumed
    std::vector<std::uint8_t> buf_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* e_ = nullptr;
};

// What a decoder is told about the member besides its bytes.
struct Params {
    std::uint64_t Size = kUnknownSize; // uncompressed size, when the format states it
    std::uint16_t Flags = 0;           // the family's flags (ZIP general-purpose bits)
    std::uint8_t Variant = 0;          // from the method table (reduce factor, window bits, ...)
};

// A method's decoder.  One instance decodes many members in turn, so that
// its tables are allocated once.
class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes one member from `in` into `out`; fails through dec::fail.
    virtual void decode(Input& in, Sink& out, const Params& p) = 0;
};

using DecoderFactory = std::unique_ptr<Decoder> (*)();

// HOW TO ADD A DECODER
//   Write archive/extract/decoders/<Name>.cpp and define in it, at namespace
//   scope,  void register<Name>Decoder(dec::DecoderTable& table)  which calls
//   table.add(fmt::Codec::..., factory).  CMake generates the table that
//   calls every such function, so a missing one is a link error.  Then name
//   the codec in the method tables of the families that use it.
class DecoderTable {
public:
    void add(fmt::Codec codec, DecoderFactory factory);
    // Null when no decoder serves the codec.
    std::unique_ptr<Decoder> make(fmt::Codec codec) const;
    bool has(fmt::Codec codec) const;

    static const DecoderTable& instance();

private:
    DecoderFactory factories_[static_cast<std::size_t>(fmt::Codec::Count)] = {};
};

// The decoders one extractor has used, kept for its next members.
class DecoderSet {
public:
    // Null when no decoder serves the codec.
    Decoder* get(fmt::Codec codec);

private:
    std::unique_ptr<Decoder> made_[static_cast<std::size_t>(fmt::Codec::Count)];
};

// Whether members of a method can be decoded.
inline bool canDecode(const fmt::MethodInfo* m) {
    return m && DecoderTable::instance().has(m->Decoder);
}

} // namespace dec
