#include "archive/extract/DecodeIO.h"

#include <algorithm>
#include <cstring>

#include "archive/core/Errors.h"
#include "archive/extract/ZipCrypto.h"

namespace unz {

std::int64_t MemoryInputSource::read(std::uint8_t* buf, std::size_t n) {
    std::size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(buf, data_ + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
}

MemberInput::MemberInput(InputSource& src, std::uint64_t size, ZipDecrypter* crypt,
                         ProgressListener* progress)
    : src_(src), crypt_(crypt), progress_(progress), total_(size), remaining_(size) {}

bool MemberInput::refill() {
    // Everything handed out so far has been consumed.
    std::uint64_t consumed = total_ - remaining_;
    if (progress_ && consumed != accounted_) {
        progress_->inputConsumed(total_, accounted_, consumed, false);
        accounted_ = consumed;
    }
    if (remaining_ == 0) return false;
    if (buf_.empty()) buf_.resize(kBlockSize);
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kBlockSize));
    std::int64_t got = src_.read(buf_.data(), want);
    if (got <= 0) {
        // A truncated archive: the member simply has no more bytes.
        remaining_ = 0;
        total_ = consumed;
        return false;
    }
    if (crypt_) crypt_->decrypt(buf_.data(), static_cast<std::size_t>(got));
    remaining_ -= static_cast<std::uint64_t>(got);
    p_ = buf_.data();
    e_ = p_ + got;
    return true;
}

int MemberInput::refillByte() {
    if (!refill()) return -1;
    return *p_++;
}

std::size_t MemberInput::takeBlock(const std::uint8_t*& data) {
    if (p_ == e_ && !refill()) return 0;
    data = p_;
    std::size_t n = static_cast<std::size_t>(e_ - p_);
    p_ = e_;
    // The copier reports each block as it goes, with force.
    std::uint64_t consumed = total_ - remaining_;
    if (progress_ && consumed != accounted_) {
        progress_->inputConsumed(total_, accounted_, consumed, true);
        accounted_ = consumed;
    }
    return n;
}

std::size_t MemberInput::read(std::uint8_t* buf, std::size_t n) {
    if (p_ == e_ && !refill()) return 0;
    std::size_t k = std::min(n, static_cast<std::size_t>(e_ - p_));
    std::memcpy(buf, p_, k);
    p_ += k;
    return k;
}

void MemberInput::finish() {
    if (progress_) progress_->inputConsumed(total_, accounted_, total_, true);
    accounted_ = total_;
}

void OutputRing::flushFull() {
    if (!sink_.write(ring_.data() + flushedTo_, kBlockSize - flushedTo_))
        throw E_RAISE(ErrorMessage(err::WriteError), err::WriteError);
    pos_ = 0;
    flushedTo_ = 0;
}

void OutputRing::flush() {
    if (pos_ > flushedTo_ && !sink_.write(ring_.data() + flushedTo_, pos_ - flushedTo_))
        throw E_RAISE(ErrorMessage(err::WriteError), err::WriteError);
    flushedTo_ = pos_;
}

} // namespace unz
