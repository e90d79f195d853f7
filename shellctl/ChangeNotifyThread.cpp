#include "shellctl/ChangeNotifyThread.h"

#include <QHash>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// What counts as a change of a folder's listing; plain writes are seen when
// the file is closed, so a long copy does not refresh on every block.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                     IN_ONLYDIR;
} // namespace

TChangeNotifyThread::TChangeNotifyThread(const QStringList& folders, QObject* parent)
    : QThread(parent), folders_(folders) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TChangeNotifyThread::~TChangeNotifyThread() {
    stop();
    if (stopFd_ >= 0) ::close(stopFd_);
}

void TChangeNotifyThread::stop() {
    terminated_ = true;
    if (stopFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    if (isRunning()) wait();
}

void TChangeNotifyThread::acknowledge(const QString& folder) {
    QMutexLocker guard(&lock_);
    pending_.remove(folder);
}

void TChangeNotifyThread::run() {
    if (stopFd_ < 0) return;
    const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return;
    QHash<int, QString> byWatch;
    for (const QString& folder : folders_) {
        const int wd = inotify_add_watch(fd, folder.toLocal8Bit().constData(), kWatchMask);
        if (wd >= 0) byWatch.insert(wd, folder);
    }
    watchCount_ = static_cast<int>(byWatch.size());
    emit watching();

    alignas(inotify_event) char buffer[8192];
    while (!terminated_) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (terminated_) break;
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break; // the stop message
        if (!(fds[0].revents & POLLIN)) continue;
        QSet<QString> dirty;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + off);
                const auto it = byWatch.constFind(ev->wd);
                if (it != byWatch.constEnd()) dirty.insert(it.value());
                if (ev->mask & IN_IGNORED) byWatch.remove(ev->wd);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
        for (const QString& folder : dirty) {
            {
                QMutexLocker guard(&lock_);
                if (pending_.contains(folder)) continue;
                pending_.insert(folder);
            }
            if (terminated_) break;
            emit changed(folder);
        }
    }
    ::close(fd);
}
