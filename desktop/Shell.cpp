#include "desktop/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QSet>
#include <QStandardPaths>

#include "desktop/DesktopEntry.h"

namespace desk {

namespace {

// Executable files are run only when they really are programs: an ELF image
// or a script with "#!".  File systems such as FAT mark every file
// executable, and running a document there would only fail.
bool isProgram(const QFileInfo& fi) {
    if (!fi.isFile() || !fi.isExecutable()) return false;
    QFile f(fi.absoluteFilePath());
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(4);
    return head.startsWith("\x7f"
                           "ELF") ||
           head.startsWith("#!");
}

void releaseProcess(QProcess* p) {
    if (!p) return;
    if (p->state() == QProcess::NotRunning || !QCoreApplication::instance()) {
        if (p->state() != QProcess::NotRunning) p->waitForFinished(-1);
        delete p;
        return;
    }
    // Still running: let it run on and clean up when it ends.
    p->setParent(QCoreApplication::instance());
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
}

ShellExecResult start(const QString& program, const QStringList& args, const QString& dir,
                      ShellWait wait) {
    ShellExecResult r;
    r.program = program;
    r.arguments = args;
    if (wait == ShellWait::Detach) {
        r.code = QProcess::startDetached(program, args, dir) ? SE_OK : SE_ERR_FNF;
        return r;
    }
    auto* p = new QProcess;
    p->setProgram(program);
    p->setArguments(args);
    p->setWorkingDirectory(dir);
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start();
    if (!p->waitForStarted(10000)) {
        r.code = p->error() == QProcess::FailedToStart && QFileInfo(program).exists()
                     ? SE_ERR_ACCESSDENIED
                     : SE_ERR_FNF;
        delete p;
        return r;
    }
    r.process = std::shared_ptr<QProcess>(p, releaseProcess);
    r.code = SE_OK;
    return r;
}

} // namespace

bool ShellExecResult::waitForFinished(int msecs) const {
    if (!process) return true;
    QElapsedTimer timer;
    timer.start();
    while (process->state() != QProcess::NotRunning) {
        if (msecs >= 0 && timer.elapsed() >= msecs) return false;
        process->waitForFinished(50);
        QCoreApplication::processEvents();
    }
    return true;
}

QString shellErrorText(int code, const QString& file) {
    const QString name = QFileInfo(file).fileName().isEmpty() ? file : QFileInfo(file).fileName();
    switch (code) {
    case SE_ERR_NOASSOC:
        return "There is no application for " + name + " on this system.";
    case SE_ERR_ACCESSDENIED:
        return "The program for " + name + " could not be started: access was denied.";
    case SE_ERR_FNF:
        return QFileInfo::exists(file) ? "The program for " + name + " could not be found."
                                       : "The file " + name + " could not be found.";
    default:
        return code > 32 ? QString() : "The file " + name + " could not be opened.";
    }
}

QString defaultApplicationFor(const QString& mimeType) {
    const QStringList apps = applicationsFor(mimeType);
    return apps.isEmpty() ? QString() : apps.first();
}

QStringList applicationsFor(const QString& mimeType) {
    QMimeDatabase db;
    QStringList types{mimeType};
    const QMimeType mt = db.mimeTypeForName(mimeType);
    if (mt.isValid()) {
        // The type's own name may be an alias of the canonical one.
        if (mt.name() != mimeType) types << mt.name();
        for (const QString& a : mt.allAncestors())
            if (!types.contains(a)) types << a;
    }
    return associatedApplications(types);
}

QString desktopEntryPath(const QString& desktopId) {
    return findDesktopEntry(desktopId);
}

QString desktopEntryName(const QString& desktopId) {
    const DesktopEntry e = DesktopEntry::load(findDesktopEntry(desktopId));
    return e.localized("Name");
}

bool desktopEntryCommand(const QString& desktopId, const QStringList& files, QString* program,
                         QStringList* arguments) {
    const QString path = findDesktopEntry(desktopId);
    if (path.isEmpty()) return false;
    const DesktopEntry e = DesktopEntry::load(path);
    QStringList args;
    if (!e.expandExec(files, path, &args) || args.isEmpty()) return false;
    if (e.value("Terminal").compare("true", Qt::CaseInsensitive) == 0) {
        const QStringList terms = availableTerminals();
        if (terms.isEmpty()) return false;
        args.prepend("-e");
        args.prepend(terms.first());
    }
    *program = args.takeFirst();
    *arguments = args;
    return true;
}

ShellExecResult OpenWith(const QString& desktopId, const QString& file, const QString& directory,
                         ShellWait wait) {
    QString program;
    QStringList args;
    ShellExecResult r;
    if (!desktopEntryCommand(desktopId, {QFileInfo(file).absoluteFilePath()}, &program, &args)) {
        r.code = SE_ERR_NOASSOC;
        return r;
    }
    const QString dir = directory.isEmpty() ? QFileInfo(file).absolutePath() : directory;
    return start(program, args, dir, wait);
}

ShellExecResult ShellExecute(const QString& file, const QString& parameters,
                             const QString& directory, ShellWait wait) {
    ShellExecResult r;
    if (file.trimmed().isEmpty()) {
        r.code = SE_ERR_FNF;
        return r;
    }
    QFileInfo fi(file);
    if (!fi.exists()) {
        // A bare program name is looked up on PATH, as the shell did.
        if (!file.contains('/')) {
            const QString found = QStandardPaths::findExecutable(file);
            if (!found.isEmpty())
                return start(found, splitCommandLine(parameters),
                             directory.isEmpty() ? QDir::currentPath() : directory, wait);
        }
        r.code = SE_ERR_FNF;
        return r;
    }
    const QString abs = fi.absoluteFilePath();
    const QString dir = directory.isEmpty() ? fi.absolutePath() : directory;
    if (isProgram(fi)) return start(abs, splitCommandLine(parameters), dir, wait);

    const QMimeType mt = QMimeDatabase().mimeTypeForFile(fi);
    for (const QString& id : applicationsFor(mt.name())) {
        QString program;
        QStringList args;
        if (!desktopEntryCommand(id, {abs}, &program, &args)) continue;
        return start(program, args, dir, wait);
    }
    r.code = SE_ERR_NOASSOC;
    return r;
}

QStringList splitCommandLine(const QString& line) {
    QStringList out;
    QString cur;
    bool inWord = false;
    QChar quote;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quote.isNull()) {
            if (c.isSpace()) {
                if (inWord) out << cur;
                cur.clear();
                inWord = false;
            } else if (c == '"' || c == '\'') {
                quote = c;
                inWord = true;
            } else if (c == '\\' && i + 1 < line.size()) {
                cur += line[++i];
                inWord = true;
            } else {
                cur += c;
                inWord = true;
            }
        } else if (c == quote) {
            quote = QChar();
        } else if (quote == '"' && c == '\\' && i + 1 < line.size() &&
                   QStringLiteral("\"\\$`").contains(line[i + 1])) {
            cur += line[++i];
        } else {
            cur += c;
        }
    }
    if (inWord) out << cur;
    return out;
}

} // namespace desk
