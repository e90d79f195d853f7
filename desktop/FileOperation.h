// The program's own copy, move and delete engine, standing in for the
// shell's file operation: recursive copy and move with a progress window,
// "rename on collision" ("name (2).ext"), overwrite confirmation, and delete
// to the trash (undo) or for good.  Questions and errors go through the
// message service, so tests can answer them.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

namespace desk {

enum TFileOpFunc { FO_MOVE = 1, FO_COPY = 2, FO_DELETE = 3, FO_RENAME = 4 };

// Flags with the shell's values; the others are accepted and ignored.
constexpr int FOF_SILENT = 0x04;            // no progress window
constexpr int FOF_RENAMEONCOLLISION = 0x08; // a copy beside an existing name gets "name (2).ext"
constexpr int FOF_NOCONFIRMATION = 0x10;    // overwrite and delete without asking
constexpr int FOF_ALLOWUNDO = 0x40;         // delete moves to the trash
constexpr int FOF_FILESONLY = 0x80;         // wildcards match files only
constexpr int FOF_NOERRORUI = 0x400;        // failures are not shown

struct FileOpResult {
    int code = 0;         // 0 = everything done
    bool aborted = false; // the user cancelled (a question or the progress window)
    QStringList created;  // final paths of what was copied or moved; what a delete removed
    QStringList failed;   // sources that could not be processed
};

// Runs one operation over sources (absolute paths; a '*' or '?' in the last
// part is a wildcard).  For copy and move, one destination: an existing
// folder receives the sources; otherwise, with one source, it is the new
// name.  A folder is never copied or moved into itself.
FileOpResult SHFileOperation(QWidget* owner, TFileOpFunc func, const QStringList& from,
                             const QString& to, int flags);

// The command layer's routines: paths separated by ';', success = nothing
// failed and nothing was cancelled.
QStringList splitPathList(const QString& text);
bool ShellCopy(QWidget* owner, const QString& from, const QString& to, bool rename, bool confirm);
bool ShellMove(QWidget* owner, const QString& from, const QString& to, bool rename, bool confirm);
bool ShellDelete(QWidget* owner, const QString& from, bool undo, bool confirm);

// Gives one file or folder a new name or place (full paths).  Nothing that
// already exists under the new name is ever replaced, the new name may not
// be empty, "." or "..", and a folder never goes into itself.  A move to
// another file system copies and then removes.  False with the reason in
// *why (the caller shows it).
bool RenameItem(const QString& from, const QString& to, QString* why = nullptr);

// "name (2).ext", "name (3).ext", ... : the first free name beside path.
QString collisionName(const QString& path);

} // namespace desk
