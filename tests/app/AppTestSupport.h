// Shared helpers of the program's Qt tests: files with given contents and
// times, peer tools, fake desktop applications that record how they were
// started, and waiting for modal windows.
#pragma once

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <functional>

namespace apptest {

inline bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(data) == data.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool setModified(const QString& path, const QDateTime& when) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

// Bytes that compress somewhat but not to nothing.
inline QByteArray textBytes(qint64 size, int seed = 1) {
    QByteArray out;
    out.reserve(size);
    quint32 x = 2463534242u + seed;
    while (out.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out += char('a' + x % 23);
        if (x % 11 == 0) out += ' ';
        if (x % 97 == 0) out += '\n';
    }
    out.truncate(size);
    return out;
}

// Runs a peer tool in folder; its exit code, or -1 when it is missing.
inline int runTool(const QString& tool, const QStringList& args, const QString& folder,
                   const QByteArray& input = {}) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) return -1;
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(exe, args);
    if (!p.waitForStarted()) return -1;
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) return -1;
    return p.exitCode();
}

inline QString appsDir() {
    return qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
}

// A desktop application for mimeTypes (the default for each) that appends
// "start <file>" and, after sleepSeconds, "end <file>" to log.
inline void installRecorder(const QString& id, const QStringList& mimeTypes, const QString& log,
                            double sleepSeconds = 0) {
    const QString script = appsDir() + "/" + id + ".sh";
    writeFile(script, QString("#!/bin/sh\necho \"start $1\" >> \"%1\"\nsleep %2\n"
                              "echo \"end $1\" >> \"%1\"\n")
                          .arg(log)
                          .arg(sleepSeconds)
                          .toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(appsDir() + "/" + id, ("[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" +
                                     script + " %f\nMimeType=" + mimeTypes.join(';') + ";\n")
                                        .toUtf8());
    QString list = "[Default Applications]\n";
    for (const QString& t : mimeTypes) list += t + "=" + id + "\n";
    writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list", list.toUtf8());
}

inline void removeApplications() {
    QDir(appsDir()).removeRecursively();
    QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list");
}

inline QStringList logLines(const QString& log) {
    if (!QFile::exists(log)) return {};
    return QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts);
}

// Runs action once a modal window of type T is up (polling from the event
// loop that shows it).
template <class T> void whenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(w);
    });
    timer->start();
}

} // namespace apptest
