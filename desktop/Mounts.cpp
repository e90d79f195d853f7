#include "desktop/Mounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include "desktop/MessageBox.h"

namespace desk {

namespace {

QString& tablePath() {
    static QString p = "/proc/self/mounts";
    return p;
}

QString& blockDir() {
    static QString p = "/sys/block";
    return p;
}

// The table escapes blanks, tabs, newlines and backslashes as \ooo.
QString unescapeField(const QString& field) {
    QByteArray in = field.toUtf8(), out;
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() + 0 && in[i + 1] >= '0' && in[i + 1] <= '3' &&
            in[i + 2] >= '0' && in[i + 2] <= '7' && in[i + 3] >= '0' && in[i + 3] <= '7') {
            out.append(char((in[i + 1] - '0') * 64 + (in[i + 2] - '0') * 8 + (in[i + 3] - '0')));
            i += 3;
        } else {
            out.append(in[i]);
        }
    }
    return QString::fromUtf8(out);
}

bool isNetworkType(const QString& fs) {
    static const QSet<QString> net = {
        "nfs",         "nfs4",           "cifs",           "smb",
        "smb3",        "smbfs",          "ncpfs",          "afs",
        "coda",        "ceph",           "glusterfs",      "9p",
        "davfs",       "lustre",         "gfs2",           "ocfs2",
        "fuse.sshfs",  "fuse.glusterfs", "fuse.ceph",      "fuse.s3fs",
        "fuse.rclone", "fuse.davfs",     "fuse.curlftpfs", "fuse.smbnetfs",
        "fuse.afpfs",  "fuse.sshfs-fuse"};
    return net.contains(fs);
}

bool isDiskType(const QString& fs) {
    static const QSet<QString> disk = {
        "ext2", "ext3",    "ext4",    "xfs",      "btrfs",  "zfs",   "jfs",   "reiserfs",
        "f2fs", "vfat",    "fat",     "msdos",    "exfat",  "ntfs",  "ntfs3", "fuseblk",
        "hfs",  "hfsplus", "overlay", "bcachefs", "nilfs2", "minix", "ufs",   "fuse.ntfs-3g"};
    return disk.contains(fs);
}

// Block device name of a source such as /dev/sdb1 or /dev/disk/by-uuid/...
QString blockName(const QString& source) {
    if (!source.startsWith("/dev/")) return {};
    QFileInfo fi(source);
    const QString real = fi.exists() ? fi.canonicalFilePath() : source;
    return QFileInfo(real).fileName();
}

bool readFlag(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(8).trimmed() == "1";
}

bool isRemovable(const QString& source, const QString& sysBlock) {
    if (sysBlock.isEmpty()) return false;
    const QString dev = blockName(source);
    if (dev.isEmpty() || dev.contains('/') || dev == "." || dev == "..") return false;
    const QString whole = sysBlock + '/' + dev + "/removable";
    if (QFileInfo::exists(whole)) return readFlag(whole);
    // A partition: its disk is the longest /sys/block entry that prefixes it
    // (sdb1 -> sdb, mmcblk0p1 -> mmcblk0, nvme0n1p2 -> nvme0n1).
    QString best;
    const QStringList disks =
        QDir(sysBlock).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& d : disks)
        if (dev.startsWith(d) && d.size() > best.size()) best = d;
    if (!best.isEmpty()) return readFlag(sysBlock + '/' + best + "/removable");
    return false;
}

} // namespace

int classifyMount(const QString& source, const QString& fsType, const QString& sysBlockDir) {
    if (fsType == "iso9660" || fsType == "udf") return DRIVE_CDROM;
    if (isNetworkType(fsType)) return DRIVE_REMOTE;
    if (source.startsWith("/dev/") && !source.startsWith("/dev/loop") &&
        !source.startsWith("/dev/ram") && !source.startsWith("/dev/zram"))
        return isRemovable(source, sysBlockDir) ? DRIVE_REMOVABLE : DRIVE_FIXED;
    if (isDiskType(fsType) && !source.startsWith("/dev/loop")) return DRIVE_FIXED;
    return DRIVE_UNKNOWN;
}

QList<MountEntry> parseMounts(const QString& mountsText, const QString& sysBlockDir) {
    QMap<QString, MountEntry> byPoint;
    const QStringList lines = mountsText.split('\n');
    for (const QString& line : lines) {
        const QStringList f = line.split(QRegularExpression("[ \t]+"), Qt::SkipEmptyParts);
        if (f.size() < 3) continue;
        MountEntry m;
        m.source = unescapeField(f[0]);
        m.mountPoint = unescapeField(f[1]);
        m.fsType = f[2];
        if (!m.mountPoint.startsWith('/')) continue;
        m.driveType = classifyMount(m.source, m.fsType, sysBlockDir);
        if (m.driveType == DRIVE_UNKNOWN) {
            // A later pseudo mount hides what was mounted there before.
            byPoint.remove(m.mountPoint);
            continue;
        }
        if (m.driveType == DRIVE_REMOTE) m.remoteName = m.source;
        byPoint.insert(m.mountPoint, m);
    }
    return byPoint.values();
}

QList<MountEntry> systemMounts() {
    QFile f(tablePath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    // The kernel's table has no size; read it whole but bounded.
    const QByteArray text = f.read(4 << 20);
    QList<MountEntry> out;
    for (const MountEntry& m : parseMounts(QString::fromUtf8(text), blockDir()))
        if (QFileInfo(m.mountPoint).isDir()) out.append(m);
    return out;
}

void setMountsTablePath(const QString& path) {
    tablePath() = path.isEmpty() ? QStringLiteral("/proc/self/mounts") : path;
}

void setSysBlockDir(const QString& path) {
    blockDir() = path;
}

QString driveCaption(const MountEntry& m) {
    if (m.driveType == DRIVE_REMOTE && !m.remoteName.isEmpty())
        return m.mountPoint + ' ' + m.remoteName;
    return m.mountPoint;
}

QString mountPointOf(const QString& path) {
    const QString abs = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString best = "/";
    QFile f(tablePath());
    if (!f.open(QIODevice::ReadOnly)) return best;
    const QStringList lines = QString::fromUtf8(f.read(4 << 20)).split('\n');
    for (const QString& line : lines) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() < 3) continue;
        const QString mp = unescapeField(fields[1]);
        const bool under = mp == "/" || abs == mp || abs.startsWith(mp + '/');
        if (under && mp.size() > best.size()) best = mp;
    }
    return best;
}

int GetDriveType(const QString& path) {
    const QString abs = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!QFileInfo(abs).exists()) return DRIVE_NO_ROOT_DIR;
    const QString mp = mountPointOf(abs);
    QFile f(tablePath());
    int type = DRIVE_UNKNOWN;
    if (!f.open(QIODevice::ReadOnly)) return type;
    const QStringList lines = QString::fromUtf8(f.read(4 << 20)).split('\n');
    for (const QString& line : lines) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() < 3 || unescapeField(fields[1]) != mp) continue;
        type = classifyMount(unescapeField(fields[0]), fields[2], blockDir());
        if (type == DRIVE_UNKNOWN && (fields[2] == "tmpfs" || fields[2] == "ramfs"))
            type = DRIVE_RAMDISK;
    }
    return type;
}

namespace {

MountResult runMountTool(const QStringList& arguments) {
    MountResult r;
    const QString tool = mountTool();
    if (tool.isEmpty()) {
        r.message = "No network mount tool (gio) was found.";
        return r;
    }
    QProcess p;
    p.start(tool, arguments);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.message = "The network mount tool did not finish within a minute.";
        return r;
    }
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (r.ok) return r;
    r.message = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (r.message.isEmpty()) r.message = "The network mount tool failed.";
    return r;
}

} // namespace

QString mountTool() {
    return QStandardPaths::findExecutable("gio");
}

MountResult mountNetworkShare(const QString& address) {
    return runMountTool({"mount", address});
}

MountResult unmountNetworkShare(const QString& mountPoint) {
    return runMountTool({"mount", "-u", mountPoint});
}

bool connectNetworkDrive(QWidget* parent) {
    if (mountTool().isEmpty()) {
        showInformation("No network mount tool (gio) was found.", parent);
        return false;
    }
    bool ok = false;
    const QString address = QInputDialog::getText(
        parent, "Connect Network Disk",
        "Address (for example smb://server/share):", QLineEdit::Normal, {}, &ok);
    if (!ok || address.trimmed().isEmpty()) return false;
    const MountResult r = mountNetworkShare(address.trimmed());
    if (!r.ok) showInformation(r.message, parent);
    return r.ok;
}

bool disconnectNetworkDrive(QWidget* parent) {
    if (mountTool().isEmpty()) {
        showInformation("No network mount tool (gio) was found.", parent);
        return false;
    }
    QStringList remote;
    for (const MountEntry& m : systemMounts())
        if (m.driveType == DRIVE_REMOTE) remote << m.mountPoint;
    if (remote.isEmpty()) {
        showInformation("No network disk is connected.", parent);
        return false;
    }
    bool ok = false;
    const QString which = QInputDialog::getItem(parent, "Disconnect Network Disk",
                                                "Network disk:", remote, 0, false, &ok);
    if (!ok) return false;
    return unmountNetworkShare(which).ok;
}

} // namespace desk
