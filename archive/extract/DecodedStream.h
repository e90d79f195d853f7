// The decoded bytes of a compressed file as a source that is read front to
// back: a TAR walk over a .tar.xz reads its headers and members from here.
// The decoder runs on a worker thread and hands its output over through a
// buffer of fixed size, so memory stays bounded whatever the stream holds
// and decoding overlaps with whatever the reader does with the bytes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/core/ArcTypes.h"
#include "archive/extract/Decoder.h"
#include "platform/File.h"

namespace dec {

class DecodedStream : public Source {
public:
    // Decodes the file from `offset` on with the codec's decoder.  Nothing
    // is started when the file cannot be opened or no decoder serves the
    // codec: ok() says so.
    DecodedStream(const std::string& path, std::int64_t offset, fmt::Codec codec,
                  Params params = {});
    ~DecodedStream() override;
    DecodedStream(const DecodedStream&) = delete;
    DecodedStream& operator=(const DecodedStream&) = delete;

    bool ok() const { return started_; }

    // The decoded stream of a compressed file of the given kind (a tarball
    // or a single compressed file); null for other kinds.
    static std::unique_ptr<DecodedStream> open(const std::string& path, TArcType type);

    // Up to n decoded bytes; 0 at the end of the stream.  A decoder error
    // fails here (dec::fail with its code) once the bytes decoded before it
    // have been read.
    std::int64_t read(std::uint8_t* buf, std::size_t n) override;
    // Decoded bytes read so far.
    std::uint64_t position() const { return pos_; }
    // Reads and drops bytes up to `pos`; false when the stream ends before.
    bool skipTo(std::uint64_t pos);
    // Exactly n bytes at pos (not before the position); false when the
    // stream ends first.
    bool readAt(std::uint64_t pos, void* buf, std::size_t n);
    // Reads to the end (at most `limit` more bytes), so that a check at the
    // end of the stream is made; false when the limit was reached first.
    bool drain(std::uint64_t limit);

private:
    class PipeSink;
    void run(fmt::Codec codec, Params params);
    void stop();

    plat::File file_;
    std::uint64_t compressedSize_ = 0;
    bool started_ = false;

    std::mutex m_;
    std::condition_variable canRead_, canWrite_;
    std::vector<std::uint8_t> ring_;
    std::uint64_t written_ = 0, taken_ = 0; // totals through the ring
    bool done_ = false, abort_ = false;
    int error_ = 0;
    std::thread worker_;

    std::uint64_t pos_ = 0;
};

// Lets type detection look inside compressed files for a TAR archive.
void installTarballProbe();

} // namespace dec
