// The archive's lock: one operation at a time per archive, re-entrant on
// the thread that holds it (DeleteAt may call Save), counting its entries.
#pragma once

#include <mutex>

class TZlPadLock {
public:
    void Lock() {
        mutex_.lock();
        ++count_;
    }
    // A release without a matching lock does nothing.
    void Unlock() {
        if (count_ == 0) return;
        --count_;
        mutex_.unlock();
    }
    int Count() const { return count_; }

private:
    std::recursive_mutex mutex_;
    int count_ = 0;
};

// Holds the lock for a scope.
class TZlLockGuard {
public:
    explicit TZlLockGuard(TZlPadLock& lock) : lock_(lock) { lock_.Lock(); }
    ~TZlLockGuard() { lock_.Unlock(); }
    TZlLockGuard(const TZlLockGuard&) = delete;
    TZlLockGuard& operator=(const TZlLockGuard&) = delete;

private:
    TZlPadLock& lock_;
};
