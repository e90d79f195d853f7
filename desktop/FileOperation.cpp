#include "desktop/FileOperation.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "desktop/MessageBox.h"

namespace desk {

namespace {

constexpr qint64 kChunk = 1 << 20;

QString clean(const QString& p) {
    return QDir::cleanPath(QFileInfo(p).absoluteFilePath());
}

bool isInside(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder == "/" ? folder : folder + '/');
}

// lstat-based: links are handled as links, never followed.
bool exists(const QString& p) {
    struct stat st;
    return ::lstat(QFile::encodeName(p).constData(), &st) == 0;
}

bool isRealDir(const QString& p) {
    struct stat st;
    return ::lstat(QFile::encodeName(p).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

class Operation {
public:
    Operation(QWidget* owner, TFileOpFunc func, int flags)
        : owner_(owner), func_(func), flags_(flags) {}

    FileOpResult run(const QStringList& from, const QString& to);

private:
    bool confirm() const { return !(flags_ & FOF_NOCONFIRMATION); }
    void fail(const QString& source, const QString& text);
    bool progressStep(const QString& label, qint64 bytes);
    void startProgress(const QStringList& sources);
    qint64 totalBytes(const QString& path) const;

    bool transfer(const QString& src, const QString& dst, bool move);
    bool moveItem(const QString& src, const QString& dst);
    bool copyTree(const QString& src, const QString& dst);
    bool copyOne(const QString& src, const QString& dst);
    bool copyFileData(const QString& src, const QString& dst);
    bool removeTree(const QString& path);
    bool remove(const QString& path);
    // Asks about an existing target; false means skip (or cancelled).
    bool mayReplace(const QString& dst, bool isDir);

    QWidget* owner_;
    TFileOpFunc func_;
    int flags_;
    FileOpResult result_;
    bool yesToAll_ = false;
    QProgressDialog* progress_ = nullptr;
    qint64 done_ = 0;
    qint64 total_ = 0;
};

void Operation::fail(const QString& source, const QString& text) {
    result_.failed << source;
    if (!(flags_ & FOF_NOERRORUI)) MessageDlg(text, mtError, mbOK, owner_);
}

qint64 Operation::totalBytes(const QString& path) const {
    QFileInfo fi(path);
    if (!fi.isDir() || fi.isSymLink()) return fi.isSymLink() ? 0 : fi.size();
    qint64 sum = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        sum += it.fileInfo().size();
    }
    return sum;
}

void Operation::startProgress(const QStringList& sources) {
    if (flags_ & FOF_SILENT) return;
    if (!QCoreApplication::instance()) return;
    // Deleting counts items, copying and moving count bytes.
    if (func_ == FO_DELETE)
        total_ = sources.size();
    else
        for (const QString& s : sources) total_ += totalBytes(s);
    const char* title =
        func_ == FO_DELETE ? "Deleting..." : (func_ == FO_MOVE ? "Moving..." : "Copying...");
    progress_ = new QProgressDialog(title, "Cancel", 0, 1000, owner_);
    progress_->setObjectName("FileOperationProgress");
    progress_->setWindowTitle(title);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
}

bool Operation::progressStep(const QString& label, qint64 bytes) {
    done_ += bytes;
    if (progress_) {
        if (!label.isEmpty()) progress_->setLabelText(label);
        progress_->setValue(total_ > 0 ? static_cast<int>(qMin<qint64>(1000, done_ * 1000 / total_))
                                       : 0);
        QCoreApplication::processEvents();
        if (progress_->wasCanceled()) result_.aborted = true;
    }
    return !result_.aborted;
}

bool Operation::mayReplace(const QString& dst, bool isDir) {
    if (!confirm() || yesToAll_) return true;
    const QString name = QFileInfo(dst).fileName();
    const QString text =
        isDir ? "This folder already contains a folder named '" + name +
                    "'.\r\rIf the files in the existing folder have the same name as files in the "
                    "folder you are moving or copying, they will be replaced. Do you still want "
                    "to move or copy the folder?"
              : "This folder already contains a file named '" + name +
                    "'.\r\rWould you like to replace the existing file?";
    switch (MessageDlg(text, mtConfirmation, mbYes | mbYesToAll | mbNo | mbCancel, owner_)) {
    case mrYes:
        return true;
    case mrYesToAll:
        yesToAll_ = true;
        return true;
    case mrNo:
        return false;
    default:
        result_.aborted = true;
        return false;
    }
}

bool Operation::copyFileData(const QString& src, const QString& dst) {
    QFile in(src);
    if (!in.open(QIODevice::ReadOnly)) return false;
    // Written beside the target first, so a failed or cancelled copy never
    // leaves a half file under the real name (or destroys the old one).
    const QString temp = dst + ".olmek-part";
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray buf;
    for (;;) {
        buf = in.read(kChunk);
        if (buf.isEmpty()) break;
        if (out.write(buf) != buf.size() || !progressStep({}, buf.size())) {
            out.close();
            QFile::remove(temp);
            return false;
        }
    }
    const bool readOk = in.error() == QFileDevice::NoError;
    out.setPermissions(in.permissions());
    out.close();
    if (!readOk || out.error() != QFileDevice::NoError) {
        QFile::remove(temp);
        return false;
    }
    // Keep the time stamp, as the desktop's own copies do.
    QFile stamp(temp);
    if (stamp.open(QIODevice::ReadWrite))
        stamp.setFileTime(QFileInfo(src).lastModified(), QFileDevice::FileModificationTime);
    stamp.close();
    if (exists(dst) && !isRealDir(dst)) QFile::remove(dst);
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(dst).constData()) != 0) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

bool Operation::copyOne(const QString& src, const QString& dst) {
    struct stat st;
    if (::lstat(QFile::encodeName(src).constData(), &st) != 0) {
        fail(src, "Cannot copy " + QFileInfo(src).fileName() + ": it does not exist.");
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        const QByteArray target = QFile::encodeName(QFileInfo(src).symLinkTarget());
        char buf[4096];
        const ssize_t n = ::readlink(QFile::encodeName(src).constData(), buf, sizeof buf - 1);
        if (n >= 0) {
            buf[n] = 0;
            if (exists(dst)) QFile::remove(dst);
            if (::symlink(buf, QFile::encodeName(dst).constData()) == 0) return true;
        }
        (void)target;
        fail(src, "Cannot copy " + QFileInfo(src).fileName() + ": " +
                      QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (S_ISDIR(st.st_mode)) return copyTree(src, dst);
    if (!S_ISREG(st.st_mode)) {
        fail(src, "Cannot copy " + QFileInfo(src).fileName() + ": it is not a regular file.");
        return false;
    }
    if (!copyFileData(src, dst)) {
        if (!result_.aborted)
            fail(src, "Cannot copy " + QFileInfo(src).fileName() + " to " +
                          QFileInfo(dst).absolutePath() + ".");
        return false;
    }
    return true;
}

bool Operation::copyTree(const QString& src, const QString& dst) {
    if (exists(dst) && !isRealDir(dst)) {
        fail(src, "Cannot copy " + QFileInfo(src).fileName() + ": a file with that name exists.");
        return false;
    }
    if (!isRealDir(dst) && !QDir().mkpath(dst)) {
        fail(src, "Cannot create the folder " + dst + ".");
        return false;
    }
    bool ok = true;
    const QStringList names = QDir(src).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& n : names) {
        if (result_.aborted) return false;
        const QString s = src + '/' + n, d = dst + '/' + n;
        if (exists(d) && !isRealDir(s) && !mayReplace(d, false)) continue;
        ok = copyOne(s, d) && ok;
    }
    QFile(dst).setPermissions(QFileInfo(src).permissions());
    return ok;
}

bool Operation::removeTree(const QString& path) {
    if (!isRealDir(path)) return QFile::remove(path);
    QDir dir(path);
    return dir.removeRecursively();
}

bool Operation::transfer(const QString& src, const QString& dstIn, bool move) {
    QString dst = dstIn;
    if (isInside(dst, src) && dst != src && isRealDir(src)) {
        fail(src, QString("Cannot ") + (move ? "move " : "copy ") + QFileInfo(src).fileName() +
                      ": the destination folder is a subfolder of the source folder.");
        return false;
    }
    if (dst == src) {
        if (move) return true; // moving onto itself changes nothing
        dst = collisionName(dst);
    } else if (exists(dst)) {
        const bool dirs = isRealDir(src) && isRealDir(dst);
        if (flags_ & FOF_RENAMEONCOLLISION) {
            dst = collisionName(dst);
        } else if (isRealDir(src) != isRealDir(dst)) {
            fail(src, "Cannot replace " + QFileInfo(dst).fileName() +
                          ": a file and a folder cannot replace each other.");
            return false;
        } else if (!mayReplace(dst, dirs)) {
            return !result_.aborted;
        }
    }
    if (progress_) progress_->setLabelText(QFileInfo(src).fileName());
    if (!(move ? moveItem(src, dst) : copyOne(src, dst))) return false;
    result_.created << dst;
    return true;
}

bool Operation::moveItem(const QString& src, const QString& dst) {
    const QByteArray s = QFile::encodeName(src), d = QFile::encodeName(dst);
    if (isRealDir(src) && isRealDir(dst)) {
        // Merging into an existing folder: what the user keeps stays in the source.
        bool ok = true;
        const QStringList names = QDir(src).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& n : names) {
            if (result_.aborted) return false;
            const QString from = src + '/' + n, to = dst + '/' + n;
            if (exists(to) && isRealDir(from) != isRealDir(to)) {
                fail(from,
                     "Cannot replace " + n + ": a file and a folder cannot replace each other.");
                ok = false;
                continue;
            }
            if (exists(to) && !isRealDir(to) && !mayReplace(to, false)) continue;
            ok = moveItem(from, to) && ok;
        }
        ::rmdir(s.constData()); // only when it ended up empty
        return ok;
    }
    // Same file system: a rename does it at once (and replaces a file atomically).
    if (::rename(s.constData(), d.constData()) == 0) {
        progressStep(QFileInfo(src).fileName(), 0);
        return true;
    }
    if (errno != EXDEV) {
        fail(src, "Cannot move " + QFileInfo(src).fileName() + ": " +
                      QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!copyOne(src, dst)) return false;
    if (!removeTree(src)) {
        fail(src, "Cannot remove " + QFileInfo(src).fileName() + " after moving it.");
        return false;
    }
    return true;
}

bool Operation::remove(const QString& path) {
    const bool undo = flags_ & FOF_ALLOWUNDO;
    if (undo) {
        if (QFile::moveToTrash(path)) return true;
        // Without a trash on that disk, deleting for good needs a yes.
        if (!confirm() ||
            MessageDlg(
                "'" + QFileInfo(path).fileName() +
                    "' cannot be moved to the trash.\r\rDo you want to delete it permanently?",
                mtConfirmation, mbYes | mbNo, owner_) != mrYes) {
            fail(path, "'" + QFileInfo(path).fileName() + "' was not deleted.");
            return false;
        }
    }
    if (!removeTree(path)) {
        fail(path, "Cannot delete " + QFileInfo(path).fileName() + ".");
        return false;
    }
    return true;
}

QStringList expandSources(const QStringList& from, bool filesOnly) {
    QStringList out;
    for (const QString& raw : from) {
        if (raw.trimmed().isEmpty()) continue;
        const QString s = clean(raw);
        const QString name = QFileInfo(s).fileName();
        if (name.contains('*') || name.contains('?')) {
            QDir::Filters f = QDir::Files | QDir::Hidden | QDir::System;
            if (!filesOnly) f |= QDir::Dirs | QDir::NoDotAndDotDot;
            const QDir dir(QFileInfo(s).absolutePath());
            for (const QString& n : dir.entryList({name}, f, QDir::Name)) out << dir.filePath(n);
        } else {
            out << s;
        }
    }
    return out;
}

FileOpResult Operation::run(const QStringList& fromList, const QString& toIn) {
    const QStringList sources = expandSources(fromList, flags_ & FOF_FILESONLY);
    if (func_ == FO_DELETE) {
        if (sources.isEmpty()) return result_;
        if (confirm()) {
            const bool undo = flags_ & FOF_ALLOWUNDO;
            const QString what = sources.size() == 1
                                     ? "'" + QFileInfo(sources.first()).fileName() + "'"
                                     : "these " + QString::number(sources.size()) + " items";
            const QString text = undo ? "Are you sure you want to move " + what + " to the trash?"
                                      : "Are you sure you want to delete " + what + "?";
            if (MessageDlg(text, mtConfirmation, mbYes | mbNo, owner_) != mrYes) {
                result_.aborted = true;
                return result_;
            }
        }
        startProgress(sources);
        for (const QString& s : sources) {
            // Cancel stops before the next item: every item is either gone or whole.
            if (!progressStep(QFileInfo(s).fileName(), 0)) break;
            if (!exists(s)) {
                fail(s, "Cannot delete " + QFileInfo(s).fileName() + ": it does not exist.");
            } else if (remove(s)) {
                result_.created << s;
            }
            done_ += 1;
        }
        delete progress_;
        progress_ = nullptr;
        return result_;
    }

    if (toIn.trimmed().isEmpty()) {
        for (const QString& s : sources) fail(s, "No destination was given.");
        return result_;
    }
    const QString to = clean(toIn);
    const bool move = func_ == FO_MOVE || func_ == FO_RENAME;
    const bool intoFolder = isRealDir(to) || sources.size() > 1 || toIn.endsWith('/');
    startProgress(sources);
    for (const QString& s : sources) {
        if (result_.aborted) break;
        if (!exists(s)) {
            fail(s, QString("Cannot ") + (move ? "move " : "copy ") + QFileInfo(s).fileName() +
                        ": it does not exist.");
            continue;
        }
        const QString dst = intoFolder ? to + '/' + QFileInfo(s).fileName() : to;
        if (intoFolder && !isRealDir(to) && !QDir().mkpath(to)) {
            fail(s, "Cannot create the folder " + to + ".");
            continue;
        }
        if (!intoFolder && !isRealDir(QFileInfo(to).absolutePath()))
            QDir().mkpath(QFileInfo(to).absolutePath());
        transfer(s, dst, move);
    }
    delete progress_;
    progress_ = nullptr;
    return result_;
}

} // namespace

QString collisionName(const QString& path) {
    const QFileInfo fi(path);
    const QString dir = fi.absolutePath();
    QString base = fi.fileName(), ext;
    const int dot = base.lastIndexOf('.');
    if (dot > 0 && !isRealDir(path)) {
        ext = base.mid(dot);
        base = base.left(dot);
    }
    for (int n = 2;; ++n) {
        const QString candidate = dir + '/' + base + " (" + QString::number(n) + ")" + ext;
        if (!exists(candidate)) return candidate;
    }
}

FileOpResult SHFileOperation(QWidget* owner, TFileOpFunc func, const QStringList& from,
                             const QString& to, int flags) {
    Operation op(owner, func, flags);
    FileOpResult r = op.run(from, to);
    r.code = (r.failed.isEmpty() && !r.aborted) ? 0 : (r.aborted ? 0x4C7 : 0x7C);
    return r;
}

bool RenameItem(const QString& fromIn, const QString& toIn, QString* why) {
    auto refuse = [why](const QString& text) {
        if (why) *why = text;
        return false;
    };
    if (fromIn.trimmed().isEmpty() || toIn.trimmed().isEmpty()) return refuse("No name was given.");
    const QString leaf = QFileInfo(toIn).fileName();
    if (leaf.isEmpty() || leaf == "." || leaf == "..") return refuse("The name is not valid.");
    const QString from = clean(fromIn), to = clean(toIn);
    if (!exists(from)) return refuse(QFileInfo(from).fileName() + " does not exist.");
    if (from == to) return true;
    if (exists(to)) return refuse("A file or folder named " + leaf + " already exists.");
    if (isRealDir(from) && isInside(to, from))
        return refuse("A folder cannot be moved into itself.");
    if (!isRealDir(QFileInfo(to).absolutePath()))
        return refuse("The folder " + QFileInfo(to).absolutePath() + " does not exist.");
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    // No-replace in one step where the file system offers it, so that a
    // name taken meanwhile is not overwritten.
    int rc = ::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS))
        rc = ::rename(f.constData(), t.constData());
    if (rc == 0) return true;
    if (errno == EEXIST) return refuse("A file or folder named " + leaf + " already exists.");
    if (errno != EXDEV) return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    const FileOpResult r =
        SHFileOperation(nullptr, FO_MOVE, {from}, to, FOF_NOCONFIRMATION | FOF_NOERRORUI);
    if (r.code == 0) return true;
    return refuse(r.aborted ? QString("Cancelled.")
                            : "Cannot move " + QFileInfo(from).fileName() + ".");
}

QStringList splitPathList(const QString& text) {
    QStringList out;
    for (const QString& p : text.split(';', Qt::SkipEmptyParts))
        if (!p.trimmed().isEmpty()) out << p;
    return out;
}

bool ShellCopy(QWidget* owner, const QString& from, const QString& to, bool rename, bool confirm) {
    int flags = FOF_ALLOWUNDO | FOF_FILESONLY;
    if (rename) flags |= FOF_RENAMEONCOLLISION;
    if (!confirm) flags |= FOF_NOCONFIRMATION;
    return SHFileOperation(owner, FO_COPY, splitPathList(from), to, flags).code == 0;
}

bool ShellMove(QWidget* owner, const QString& from, const QString& to, bool rename, bool confirm) {
    int flags = FOF_ALLOWUNDO | FOF_FILESONLY;
    if (rename) flags |= FOF_RENAMEONCOLLISION;
    if (!confirm) flags |= FOF_NOCONFIRMATION;
    return SHFileOperation(owner, FO_MOVE, splitPathList(from), to, flags).code == 0;
}

bool ShellDelete(QWidget* owner, const QString& from, bool undo, bool confirm) {
    int flags = FOF_FILESONLY;
    if (undo) flags |= FOF_ALLOWUNDO;
    if (!confirm) flags |= FOF_NOCONFIRMATION;
    return SHFileOperation(owner, FO_DELETE, splitPathList(from), {}, flags).code == 0;
}

} // namespace desk
