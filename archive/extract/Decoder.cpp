#include "archive/extract/Decoder.h"

#include <algorithm>
#include <cstring>

#include "archive/core/Errors.h"

namespace dec {

void fail(int code) {
    throw E_RAISE(ErrorMessage(code), code);
}

void writeOrFail(Sink& sink, const std::uint8_t* buf, std::size_t n) {
    if (n && !sink.write(buf, n)) fail(err::WriteError);
}

bool Sink::hole(std::uint64_t n) {
    static const std::uint8_t zeros[4096] = {};
    while (n) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof zeros));
        if (!write(zeros, k)) return false;
        n -= k;
    }
    return true;
}

std::int64_t MemorySource::read(std::uint8_t* buf, std::size_t n) {
    std::size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(buf, data_ + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
}

Input::Input(Source& src, std::uint64_t size, Cipher* cipher, ProgressListener* progress)
    : src_(src), cipher_(cipher), progress_(progress), total_(size), remaining_(size) {}

bool Input::refill() {
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
    if (cipher_) cipher_->decrypt(buf_.data(), static_cast<std::size_t>(got));
    remaining_ -= static_cast<std::uint64_t>(got);
    p_ = buf_.data();
    e_ = p_ + got;
    return true;
}

int Input::refillByte() {
    if (!refill()) return -1;
    return *p_++;
}

std::size_t Input::takeBlock(const std::uint8_t*& data, bool forceProgress) {
    if (p_ == e_ && !refill()) return 0;
    data = p_;
    std::size_t n = static_cast<std::size_t>(e_ - p_);
    p_ = e_;
    if (forceProgress) {
        std::uint64_t consumed = total_ - remaining_;
        if (progress_ && consumed != accounted_) {
            progress_->inputConsumed(total_, accounted_, consumed, true);
            accounted_ = consumed;
        }
    }
    return n;
}

std::size_t Input::read(std::uint8_t* buf, std::size_t n) {
    if (p_ == e_ && !refill()) return 0;
    std::size_t k = std::min(n, static_cast<std::size_t>(e_ - p_));
    std::memcpy(buf, p_, k);
    p_ += k;
    return k;
}

void Input::finish() {
    if (progress_) progress_->inputConsumed(total_, accounted_, total_, true);
    accounted_ = total_;
}

void DecoderTable::add(fmt::Codec codec, DecoderFactory factory) {
    factories_[static_cast<std::size_t>(codec)] = factory;
}

std::unique_ptr<Decoder> DecoderTable::make(fmt::Codec codec) const {
    DecoderFactory f = factories_[static_cast<std::size_t>(codec)];
    return f ? f() : nullptr;
}

bool DecoderTable::has(fmt::Codec codec) const {
    return factories_[static_cast<std::size_t>(codec)] != nullptr;
}

void registerAllDecoders(DecoderTable& table);

const DecoderTable& DecoderTable::instance() {
    static const DecoderTable table = [] {
        DecoderTable t;
        registerAllDecoders(t);
        return t;
    }();
    return table;
}

Decoder* DecoderSet::get(fmt::Codec codec) {
    auto& slot = made_[static_cast<std::size_t>(codec)];
    if (!slot) slot = DecoderTable::instance().make(codec);
    return slot.get();
}

} // namespace dec
