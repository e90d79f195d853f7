#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {
constexpr std::size_t kBufSize = 64 * 1024;
}

File::~File() {
    close();
}

File::File(File&& o) noexcept {
    *this = std::move(o);
}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        writable_ = o.writable_;
        path_ = std::move(o.path_);
        pos_ = o.pos_;
        rbuf_ = std::move(o.rbuf_);
        rbufStart_ = o.rbufStart_;
        rbufLen_ = o.rbufLen_;
        wbuf_ = std::move(o.wbuf_);
        wbufStart_ = o.wbufStart_;
        o.fd_ = -1;
        o.rbufLen_ = 0;
    }
    return *this;
}

bool File::open(const std::string& path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    writable_ = mode != Mode::Read;
    path_ = path;
    pos_ = 0;
    rbufLen_ = 0;
    rbufStart_ = 0;
    wbuf_.clear();
    return true;
}

void File::adopt(int fd, const std::string& path, bool writable) {
    close();
    fd_ = fd;
    writable_ = writable;
    path_ = path;
    pos_ = 0;
    rbufLen_ = 0;
    rbufStart_ = 0;
    wbuf_.clear();
}

bool File::close() {
    if (fd_ < 0) return true;
    bool ok = flush();
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    rbufLen_ = 0;
    rbuf_.clear();
    rbuf_.shrink_to_fit();
    wbuf_.clear();
    wbuf_.shrink_to_fit();
    return ok;
}

bool File::flush() {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < wbuf_.size()) {
        ssize_t r = ::pwrite(fd_, wbuf_.data() + done, wbuf_.size() - done,
                             wbufStart_ + static_cast<std::int64_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            wbuf_.clear();
            return false;
        }
        done += static_cast<std::size_t>(r);
    }
    wbuf_.clear();
    return true;
}

void File::dropReadBuffer() {
    rbufLen_ = 0;
}

bool File::fillBuffer() {
    if (rbuf_.size() < kBufSize) rbuf_.resize(kBufSize);
    ssize_t r;
    do {
        r = ::pread(fd_, rbuf_.data(), kBufSize, pos_);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return false;
    rbufStart_ = pos_;
    rbufLen_ = static_cast<std::size_t>(r);
    return true;
}

std::int64_t File::read(void* buf, std::size_t n) {
    if (fd_ < 0) return -1;
    if (!wbuf_.empty() && !flush()) return -1;
    auto* out = static_cast<std::uint8_t*>(buf);
    std::size_t got = 0;
    while (got < n) {
        if (pos_ >= rbufStart_ && pos_ < rbufStart_ + static_cast<std::int64_t>(rbufLen_)) {
            std::size_t off = static_cast<std::size_t>(pos_ - rbufStart_);
            std::size_t take = std::min(n - got, rbufLen_ - off);
            std::memcpy(out + got, rbuf_.data() + off, take);
            got += take;
            pos_ += static_cast<std::int64_t>(take);
            continue;
        }
        // Large reads go straight to the caller's buffer.
        if (n - got >= kBufSize) {
            ssize_t r;
            do {
                r = ::pread(fd_, out + got, n - got, pos_);
            } while (r < 0 && errno == EINTR);
            if (r < 0) return got ? static_cast<std::int64_t>(got) : -1;
            if (r == 0) break;
            got += static_cast<std::size_t>(r);
            pos_ += r;
            continue;
        }
        if (!fillBuffer()) return got ? static_cast<std::int64_t>(got) : -1;
        if (rbufLen_ == 0) break;
    }
    return static_cast<std::int64_t>(got);
}

bool File::readExact(void* buf, std::size_t n) {
    return read(buf, n) == static_cast<std::int64_t>(n);
}

std::int64_t File::readAt(std::int64_t pos, void* buf, std::size_t n) {
    if (fd_ < 0 || pos < 0) return -1;
    if (!wbuf_.empty() && !flush()) return -1;
    std::size_t got = 0;
    auto* out = static_cast<std::uint8_t*>(buf);
    while (got < n) {
        ssize_t r = ::pread(fd_, out + got, n - got, pos + static_cast<std::int64_t>(got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(got);
}

bool File::write(const void* buf, std::size_t n) {
    if (fd_ < 0 || !writable_) return false;
    if (rbufLen_ != 0) dropReadBuffer();
    if (!wbuf_.empty() && wbufStart_ + static_cast<std::int64_t>(wbuf_.size()) != pos_) {
        if (!flush()) return false;
    }
    if (wbuf_.empty()) wbufStart_ = pos_;
    const auto* in = static_cast<const std::uint8_t*>(buf);
    if (wbuf_.size() + n > kBufSize) {
        if (!flush()) return false;
        wbufStart_ = pos_;
        if (n >= kBufSize) {
            std::size_t done = 0;
            while (done < n) {
                ssize_t r =
                    ::pwrite(fd_, in + done, n - done, pos_ + static_cast<std::int64_t>(done));
                if (r < 0) {
                    if (errno == EINTR) continue;
                    return false;
                }
                done += static_cast<std::size_t>(r);
            }
            pos_ += static_cast<std::int64_t>(n);
            return true;
        }
    }
    wbuf_.insert(wbuf_.end(), in, in + n);
    pos_ += static_cast<std::int64_t>(n);
    return true;
}

bool File::seek(std::int64_t pos) {
    if (fd_ < 0 || pos < 0) return false;
    pos_ = pos;
    return true;
}

std::int64_t File::size() {
    if (fd_ < 0) return -1;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    std::int64_t s = st.st_size;
    if (!wbuf_.empty())
        s = std::max<std::int64_t>(s, wbufStart_ + static_cast<std::int64_t>(wbuf_.size()));
    return s;
}

bool File::truncate(std::int64_t length) {
    if (fd_ < 0 || !flush()) return false;
    dropReadBuffer();
    return ::ftruncate(fd_, length) == 0;
}

std::int64_t File::copyFrom(File& from, std::int64_t fromPos, std::uint64_t n) {
    if (fd_ < 0 || !writable_ || from.fd_ < 0 || fromPos < 0) {
        errno = EBADF;
        return -1;
    }
    if (!flush() || !from.flush()) return -1;
    dropReadBuffer();
    std::uint64_t done = 0;
    loff_t in = fromPos, out = pos_;
    bool kernel = true;
    std::vector<std::uint8_t> buf;
    while (done < n) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - done, 1 << 30));
        ssize_t r = -1;
        if (kernel) {
            r = ::copy_file_range(from.fd_, &in, fd_, &out, want, 0);
            if (r < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EPERM || errno == ETXTBSY)) {
                kernel = false;
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
        } else {
            if (buf.empty()) buf.resize(kBufSize * 4);
            const std::size_t chunk = std::min(want, buf.size());
            r = ::pread(from.fd_, buf.data(), chunk, in);
            if (r < 0 && errno == EINTR) continue;
            if (r > 0) {
                std::size_t written = 0;
                while (written < static_cast<std::size_t>(r)) {
                    const ssize_t w =
                        ::pwrite(fd_, buf.data() + written, static_cast<std::size_t>(r) - written,
                                 out + static_cast<loff_t>(written));
                    if (w < 0 && errno == EINTR) continue;
                    if (w <= 0) {
                        if (w == 0) errno = ENOSPC;
                        pos_ = out;
                        return -1;
                    }
                    written += static_cast<std::size_t>(w);
                }
                in += r;
                out += r;
            }
        }
        if (r < 0) {
            pos_ = out;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::uint64_t>(r);
    }
    pos_ = out;
    return static_cast<std::int64_t>(done);
}

std::optional<std::int64_t> File::modificationTime() {
    if (fd_ < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtime);
}

bool File::setModificationTime(std::int64_t unixTime) {
    if (fd_ < 0 || !flush()) return false;
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = static_cast<time_t>(unixTime);
    ts[1].tv_nsec = 0;
    return ::futimens(fd_, ts) == 0;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    File f;
    if (!f.open(path, File::Mode::Read)) return std::nullopt;
    std::int64_t n = f.size();
    if (n < 0) return std::nullopt;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n));
    if (n > 0 && !f.readExact(data.data(), data.size())) return std::nullopt;
    return data;
}

bool writeWholeFile(const std::string& path, const void* data, std::size_t n) {
    File f;
    if (!f.open(path, File::Mode::Create)) return false;
    bool ok = f.write(data, n);
    return f.close() && ok;
}

void failWritesAtFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace plat
