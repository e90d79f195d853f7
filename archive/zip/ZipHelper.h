// The member compressor of the ZIP library: reads a whole input stream and
// writes it to the output stream stored (method 0) or deflated (method 8),
// or, for "best method" (11), deflated unless that does not make it
// smaller.  On the way it computes the CRC-32, counts the bytes, judges
// text or binary from the first block, reports progress and encrypts the
// output when given a cipher.
#pragma once

#include <cstdint>

#include "archive/core/Rtl.h"
#include "archive/zip/ZDecoder.h"
#include "archive/zip/ZlStreams.h"
#include "archive/zip/ZlTypes.h"

class TZlZipHelper : public TObject {
public:
    // With an Encryptor, its header must stand right before OutStream's
    // position: a member that falls back to storing gets a new header
    // there, and new keys, for the stored copy.  Its trailer is the
    // caller's to write.
    TZlZipHelper(TZlStream& InStream, TZlMemberCipher* Encryptor, TZlStream& OutStream);

    // Raises EZlZipUnsupported for a method other than 0, 8 and 11, and
    // EZlUserAbort when a progress handler sets Abort; stream errors pass
    // through.
    void Execute();
    bool IsText() const { return FileType == 1; }

    TZlZipDeflationOption DeflationOption = doNormal;
    // Asked for: 0, 8 or 11; after Execute, the method used: 0 or 8.
    std::uint8_t Method = 8;
    // Called at most once per 1024 input bytes, and only when the
    // percentage changes.
    TZlProgressEvent OnProgress;
    std::uint8_t LastProgress = 0;

    std::uint32_t CRC = 0;
    std::uint64_t InSize = 0;         // the input's size when created
    std::uint64_t BytesIn = 0;        // bytes read
    std::uint64_t CompressedSize = 0; // without the encryption header and trailer
    std::uint8_t FileType = 2;        // 0 binary, 1 text, 2 unknown

private:
    void store();
    void deflate(int level);
    void progress(std::uint64_t done);

    TZlStream& in_;
    TZlMemberCipher* enc_;
    TZlStream& out_;
    std::uint32_t crc_ = 0xFFFFFFFF;
    std::uint64_t reportedAt_ = 0;
};
