// Buffered file access for the archive engine.  Every call reports failure;
// nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat {

class File {
public:
    enum class Mode { Read, ReadWrite, Create };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool open(const std::string& path, Mode mode);
    // Takes over an open descriptor (closed with the file); `path` is for
    // messages only.
    void adopt(int fd, const std::string& path, bool writable);
    int descriptor() const { return fd_; }
    // Flushes pending writes and closes; false when either fails.
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Reads up to n bytes; returns the count read (0 at end) or -1 on error.
    std::int64_t read(void* buf, std::size_t n);
    // Reads exactly n bytes; false on error or short read.
    bool readExact(void* buf, std::size_t n);
    // Positioned read that does not move the file position; -1 on error.
    std::int64_t readAt(std::int64_t pos, void* buf, std::size_t n);
    bool write(const void* buf, std::size_t n);
    bool seek(std::int64_t pos);
    std::int64_t tell() const { return pos_; }
    std::int64_t size();
    bool truncate(std::int64_t length);
    bool flush();
    // Copies n bytes of `from` at fromPos to this file's position, inside
    // the kernel where it can; returns the count copied (less at the end of
    // `from`) or -1 on error (errno tells).
    std::int64_t copyFrom(File& from, std::int64_t fromPos, std::uint64_t n);

    std::optional<std::int64_t> modificationTime();
    bool setModificationTime(std::int64_t unixTime);

private:
    bool fillBuffer();
    void dropReadBuffer();

    int fd_ = -1;
    bool writable_ = false;
    std::string path_;
    std::int64_t pos_ = 0; // logical position
    // Read buffer: bytes of the file from rbufStart_.
    std::vector<std::uint8_t> rbuf_;
    std::int64_t rbufStart_ = 0;
    std::size_t rbufLen_ = 0;
    // Write buffer: bytes to be written at wbufStart_.
    std::vector<std::uint8_t> wbuf_;
    std::int64_t wbufStart_ = 0;
};

// Makes a write beyond the process's file-size limit (ulimit -f) fail, as a
// full disk does, instead of ending the process half-way through a file.
void failWritesAtFileSizeLimit();

// Reads a whole file; nullopt on failure.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);
bool writeWholeFile(const std::string& path, const void* data, std::size_t n);

} // namespace plat
