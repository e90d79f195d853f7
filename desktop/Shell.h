// Opening files the way the desktop does: executables run, other files go to
// the default application of their MIME type (mimeapps.list and desktop
// entries), started with QProcess so that the caller can wait for it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace desk {

// Results below 33 are failures, as the shell's were.
constexpr int SE_ERR_FNF = 2; // file not found
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_NOASSOC = 31; // no application for the file's type
constexpr int SE_OK = 42;

struct ShellExecResult {
    int code = 0; // > 32 on success
    // The started program when the caller asked to keep it (KeepProcess);
    // releasing it while it still runs lets it run on.
    std::shared_ptr<QProcess> process;
    QString program; // what was started
    QStringList arguments;

    bool ok() const { return code > 32; }
    // Waits for a kept process, letting events run; true when it has ended.
    bool waitForFinished(int msecs = -1) const;
};

enum class ShellWait { Detach, KeepProcess };

// Opens file (or runs it when it is an executable file).  parameters are
// passed to an executable (split like a shell command line) and ignored for
// documents; directory is the working folder (the file's folder when empty).
ShellExecResult ShellExecute(const QString& file, const QString& parameters = {},
                             const QString& directory = {}, ShellWait wait = ShellWait::Detach);

// Why opening file failed, as a message box says it; empty for success.
QString shellErrorText(int code, const QString& file);

// The desktop entry id (for example "org.gnome.FileRoller.desktop") that
// opens mimeType by default, empty when none; follows the mimeapps.list
// search order and falls back to entries that declare the type.
QString defaultApplicationFor(const QString& mimeType);
// Every application registered for mimeType, default first.
QStringList applicationsFor(const QString& mimeType);
// Full path of a desktop entry by id, empty when missing.
QString desktopEntryPath(const QString& desktopId);
// The localised Name of a desktop entry.
QString desktopEntryName(const QString& desktopId);

// Program and arguments that a desktop entry runs for the given files
// (field codes %f %F %u %U expanded); false when the entry cannot run.
bool desktopEntryCommand(const QString& desktopId, const QStringList& files, QString* program,
                         QStringList* arguments);

// Starts the program of a desktop entry with file (the "Open With" choice).
ShellExecResult OpenWith(const QString& desktopId, const QString& file,
                         const QString& directory = {}, ShellWait wait = ShellWait::Detach);

// Splits a command line the way a POSIX shell splits words (quotes and
// backslashes), without expansions.
QStringList splitCommandLine(const QString& line);

} // namespace desk
