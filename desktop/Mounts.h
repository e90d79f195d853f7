// Mounted file systems as the program's "drives": mount points from
// /proc/self/mounts with the drive types the program knows; network drives
// connected and disconnected with the desktop's mount tool (gio mount).
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace desk {

// The values of the platform's drive-type query.
enum TDriveType {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6
};

struct MountEntry {
    QString mountPoint; // "/media/usb"
    QString source;     // "/dev/sdb1", "//server/share", "host:/export"
    QString fsType;     // "vfat", "cifs", ...
    int driveType = DRIVE_UNKNOWN;
    QString remoteName; // source of a remote mount, else empty
};

// Parses a mounts table (the text of /proc/self/mounts).  Pseudo and RAM
// file systems are left out; the entries come sorted by mount point, one per
// mount point (the last mount wins).  sysBlockDir is where the removable
// flags live ("/sys/block"); an empty one treats every block device as fixed.
QList<MountEntry> parseMounts(const QString& mountsText, const QString& sysBlockDir = "/sys/block");

// The drive type a mount of fsType from source gets, or DRIVE_UNKNOWN when
// it gets no entry.
int classifyMount(const QString& source, const QString& fsType, const QString& sysBlockDir);

// The machine's drives.  The table comes from the file set with
// setMountsTablePath (default /proc/self/mounts); mount points that are not
// folders (bind-mounted files) are left out.
QList<MountEntry> systemMounts();
void setMountsTablePath(const QString& path);
void setSysBlockDir(const QString& path);

// The drive menu caption: the mount point, plus " " and the remote name for
// a remote drive.
QString driveCaption(const MountEntry& m);

// The mount point holding path (the drive root of a path), and its type.
QString mountPointOf(const QString& path);
int GetDriveType(const QString& path);

// The mount tool ("gio" on PATH); empty when none is installed.
QString mountTool();

// What a run of the mount tool gave: success, or its error text.
struct MountResult {
    bool ok = false;
    QString message;
};

// Mounts a share given by address ("smb://server/share", "sftp://host/path")
// or unmounts a network drive by its mount point, waiting at most a minute.
// The tool gets no input: a share that needs a password it cannot ask for
// fails instead of waiting.
MountResult mountNetworkShare(const QString& address);
MountResult unmountNetworkShare(const QString& mountPoint);

// The Connect and Disconnect Network Disk dialogs: ask for the address, or
// for one of the network drives, and run the mount tool.  True when a drive
// was connected or disconnected, so that the drive menu needs rebuilding.
// Without the tool, an information box says so.
bool connectNetworkDrive(QWidget* parent);
bool disconnectNetworkDrive(QWidget* parent);

} // namespace desk
