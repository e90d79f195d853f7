// Watches folders with inotify (one watch per folder, sub-folders not
// watched) and tells a control on the GUI thread when one changed.  The
// thread sleeps in poll() on the inotify descriptor and on its own stop
// descriptor (an eventfd), so stopping never waits for a file-system event.
#pragma once

#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <atomic>

class TChangeNotifyThread : public QThread {
    Q_OBJECT
public:
    // At most one changed(folder) per folder waits for the receiver at a
    // time: the next one is sent after acknowledge(folder).
    explicit TChangeNotifyThread(const QStringList& folders, QObject* parent = nullptr);
    ~TChangeNotifyThread() override; // stops and joins

    QStringList folders() const { return folders_; }
    // Ends the wait and joins the thread.  Safe to call more than once.
    void stop();
    // Number of folders that got a watch (after started()).
    int watchCount() const { return watchCount_.load(); }

signals:
    // Emitted from the worker thread; connect with a queued connection (the
    // default for an object living on the GUI thread).
    void changed(const QString& folder);
    // The watches are in place.
    void watching();

public:
    // Called by the receiver once it handled changed(folder).
    void acknowledge(const QString& folder);

protected:
    void run() override;

private:
    QStringList folders_;
    int stopFd_ = -1;
    std::atomic<bool> terminated_{false};
    QMutex lock_;
    QSet<QString> pending_;
    std::atomic<int> watchCount_{0};
};
