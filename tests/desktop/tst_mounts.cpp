#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "desktop/MessageBox.h"
#include "desktop/Mounts.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class MountsTest : public QObject {
    Q_OBJECT

    QTemporaryDir sys_;

    void makeBlock(const QString& dev, bool removable) {
        QDir().mkpath(sys_.path() + '/' + dev);
        QFile f(sys_.path() + '/' + dev + "/removable");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(removable ? "1\n" : "0\n");
    }

    static const MountEntry* find(const QList<MountEntry>& list, const QString& point) {
        for (const MountEntry& m : list)
            if (m.mountPoint == point) return &m;
        return nullptr;
    }

    // A stand-in for gio on its own PATH: it logs its arguments, drains its
    // input and fails with a message while a "fail" file exists.
    QTemporaryDir bin_;
    QByteArray savedPath_;

    QString toolLog() const {
        QFile f(bin_.path() + "/log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void resetTool(bool failing) {
        QFile::remove(bin_.path() + "/log");
        QFile::remove(bin_.path() + "/fail");
        if (failing) {
            QFile f(bin_.path() + "/fail");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }

    // Runs act on the next input dialog that opens (cancelling it when act is
    // empty); gives up after a few seconds so that a missing dialog fails.
    static void answerNextInput(std::function<void(QInputDialog*)> act, int tries = 500) {
        QTimer::singleShot(10, [=] {
            if (auto* d = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                if (act)
                    act(d);
                else
                    d->reject();
                return;
            }
            if (tries > 0) answerNextInput(act, tries - 1);
        });
    }

    static QString table() {
        return "sysfs /sys sysfs rw,nosuid 0 0\n"
               "proc /proc proc rw 0 0\n"
               "udev /dev devtmpfs rw 0 0\n"
               "devpts /dev/pts devpts rw 0 0\n"
               "tmpfs /run tmpfs rw 0 0\n"
               "/dev/sda2 / ext4 rw,relatime 0 0\n"
               "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
               "/dev/sda1 /boot/efi vfat rw 0 0\n"
               "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
               "/dev/mmcblk0p1 /media/card exfat rw 0 0\n"
               "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
               "/dev/sr1 /media/dvd udf ro 0 0\n"
               "server:/export/home /mnt/nfs nfs4 rw,addr=10.0.0.1 0 0\n"
               "//fileserver/share /mnt/share cifs rw 0 0\n"
               "me@host:/srv /mnt/ssh fuse.sshfs rw 0 0\n"
               "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
               "tmpfs /tmp tmpfs rw 0 0\n"
               "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
               "garbage\n"
               "\n"
               "only two\n";
    }

private slots:
    void initTestCase() {
        QVERIFY(sys_.isValid());
        makeBlock("sda", false);
        makeBlock("sdb", true);
        makeBlock("mmcblk0", true);
        makeBlock("sr0", true);

        QVERIFY(bin_.isValid());
        QFile gio(bin_.path() + "/gio");
        QVERIFY(gio.open(QIODevice::WriteOnly));
        const QString script = QString("#!/bin/sh\n"
                                       "echo \"$*\" >> '%1/log'\n"
                                       "while read -r line; do :; done\n"
                                       "if [ -e '%1/fail' ]; then\n"
                                       "  echo 'gio: smb://nowhere/x: Failed to mount' >&2\n"
                                       "  exit 2\n"
                                       "fi\n")
                                   .arg(bin_.path());
        gio.write(script.toUtf8());
        gio.close();
        gio.setPermissions(gio.permissions() | QFile::ExeOwner);
        savedPath_ = qgetenv("PATH");
        qputenv("PATH", bin_.path().toLocal8Bit());
    }

    void cleanupTestCase() { qputenv("PATH", savedPath_); }

    void cleanup() {
        desk::setMessageService(nullptr);
        setMountsTablePath(QString());
        setSysBlockDir("/sys/block");
        qputenv("PATH", bin_.path().toLocal8Bit());
    }

    void drivesGetTheirTypes() {
        const QList<MountEntry> list = parseMounts(table(), sys_.path());
        QStringList points;
        for (const MountEntry& m : list) points << m.mountPoint;
        // Sorted by mount point; pseudo, RAM and loop-backed file systems left out.
        QCOMPARE(points, QStringList({"/", "/boot/efi", "/media/card", "/media/cdrom", "/media/dvd",
                                      "/media/usb stick", "/mnt/nfs", "/mnt/share", "/mnt/ssh"}));
        QCOMPARE(find(list, "/")->driveType, int(DRIVE_FIXED));
        QCOMPARE(find(list, "/boot/efi")->driveType, int(DRIVE_FIXED));
        QCOMPARE(find(list, "/media/usb stick")->driveType, int(DRIVE_REMOVABLE));
        QCOMPARE(find(list, "/media/card")->driveType, int(DRIVE_REMOVABLE));
        QCOMPARE(find(list, "/media/cdrom")->driveType, int(DRIVE_CDROM));
        QCOMPARE(find(list, "/media/dvd")->driveType, int(DRIVE_CDROM));
        QCOMPARE(find(list, "/mnt/nfs")->driveType, int(DRIVE_REMOTE));
        QCOMPARE(find(list, "/mnt/share")->driveType, int(DRIVE_REMOTE));
        QCOMPARE(find(list, "/mnt/ssh")->driveType, int(DRIVE_REMOTE));
    }

    void remoteDrivesCarryTheirSource() {
        const QList<MountEntry> list = parseMounts(table(), sys_.path());
        QCOMPARE(find(list, "/mnt/nfs")->remoteName, QString("server:/export/home"));
        QCOMPARE(find(list, "/mnt/share")->remoteName, QString("//fileserver/share"));
        QCOMPARE(find(list, "/mnt/ssh")->remoteName, QString("me@host:/srv"));
        QCOMPARE(find(list, "/")->remoteName, QString());
        QCOMPARE(driveCaption(*find(list, "/mnt/share")), QString("/mnt/share //fileserver/share"));
        QCOMPARE(driveCaption(*find(list, "/media/usb stick")), QString("/media/usb stick"));
    }

    void laterMountsHideEarlierOnes() {
        const QString t = "/dev/sda2 /data ext4 rw 0 0\n"
                          "//srv/x /data cifs rw 0 0\n"
                          "/dev/sda3 /scratch ext4 rw 0 0\n"
                          "tmpfs /scratch tmpfs rw 0 0\n";
        const QList<MountEntry> list = parseMounts(t, sys_.path());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].mountPoint, QString("/data"));
        QCOMPARE(list[0].driveType, int(DRIVE_REMOTE));
    }

    void withoutSysfsEveryDiskIsFixed() {
        const QList<MountEntry> list = parseMounts("/dev/sdb1 /media/usb vfat rw 0 0\n", QString());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].driveType, int(DRIVE_FIXED));
    }

    void escapesAreDecoded() {
        const QList<MountEntry> list =
            parseMounts("/dev/sda1 /a\\011tab\\134back\\012nl ext4 rw 0 0\n", QString());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].mountPoint, QString("/a\ttab\\back\nnl"));
    }

    void hostileTablesAreHarmless() {
        QString big;
        for (int i = 0; i < 2000; ++i)
            big += "/dev/sda1 /m" + QString::number(i) + " ext4 rw 0 0\n";
        big += QString(100000, 'x') + "\n";
        big += "/dev/../../etc/passwd /evil ext4 rw 0 0\n";
        big += "relative path ext4 rw 0 0\n";
        big += "/dev/sda1 /trailing\\ ext4 rw 0 0\n";
        big += "/dev/sda1 /short\\04 ext4 rw 0 0\n";
        const QList<MountEntry> list = parseMounts(big, sys_.path());
        QCOMPARE(list.size(), 2003);
        QVERIFY(find(list, "/evil"));
        QVERIFY(find(list, "/trailing\\"));
        QVERIFY(find(list, "/short\\04"));
    }

    void systemTableIsInjectable() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/mounts";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Only folders that exist count on the running system.
        f.write(("/dev/sda1 " + dir.path() +
                 " ext4 rw 0 0\n"
                 "/dev/sda1 /etc/hostname ext4 rw 0 0\n"
                 "//srv/share " +
                 dir.path() + "/missing cifs rw 0 0\n")
                    .toUtf8());
        f.close();
        setMountsTablePath(path);
        setSysBlockDir(sys_.path());
        const QList<MountEntry> list = systemMounts();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].mountPoint, dir.path());
        QCOMPARE(mountPointOf(dir.path() + "/some/file"), dir.path());
        QCOMPARE(GetDriveType(dir.path()), int(DRIVE_FIXED));
        QCOMPARE(GetDriveType(dir.path() + "/nothing-here"), int(DRIVE_NO_ROOT_DIR));
        setMountsTablePath(QString());
        setSysBlockDir("/sys/block");
        QVERIFY(!systemMounts().isEmpty() || !QFile::exists("/proc/self/mounts"));
    }

    void sharesAreMountedAndUnmountedWithTheTool() {
        QCOMPARE(mountTool(), bin_.path() + "/gio");
        resetTool(false);
        QVERIFY(mountNetworkShare("smb://server/share").ok);
        QVERIFY(unmountNetworkShare("/run/user/1000/gvfs/share").ok);
        QCOMPARE(toolLog(),
                 QString("mount smb://server/share\nmount -u /run/user/1000/gvfs/share\n"));

        resetTool(true);
        const MountResult r = mountNetworkShare("smb://nowhere/x");
        QVERIFY(!r.ok);
        QCOMPARE(r.message, QString("gio: smb://nowhere/x: Failed to mount"));
        QVERIFY(!unmountNetworkShare("/mnt/x").ok);

        qputenv("PATH", QByteArray("/nonexistent"));
        QVERIFY(mountTool().isEmpty());
        QCOMPARE(mountNetworkShare("smb://server/share").message,
                 QString("No network mount tool (gio) was found."));
    }

    void connectDialogMountsTheTypedAddress() {
        ScriptedMessageService boxes;
        desk::setMessageService(&boxes);
        resetTool(false);
        answerNextInput([](QInputDialog* d) {
            d->setTextValue("  sftp://host/path  ");
            d->accept();
        });
        QVERIFY(connectNetworkDrive(nullptr));
        QCOMPARE(toolLog(), QString("mount sftp://host/path\n"));

        // Cancelled, or left empty: nothing runs.
        resetTool(false);
        answerNextInput({});
        QVERIFY(!connectNetworkDrive(nullptr));
        answerNextInput([](QInputDialog* d) {
            d->setTextValue("   ");
            d->accept();
        });
        QVERIFY(!connectNetworkDrive(nullptr));
        QCOMPARE(toolLog(), QString());
        QVERIFY(boxes.records.isEmpty());

        // A failure shows the tool's own words.
        resetTool(true);
        answerNextInput([](QInputDialog* d) {
            d->setTextValue("smb://nowhere/x");
            d->accept();
        });
        QVERIFY(!connectNetworkDrive(nullptr));
        QCOMPARE(boxes.texts(), QStringList({"gio: smb://nowhere/x: Failed to mount"}));
    }

    void disconnectDialogOffersTheNetworkDrives() {
        ScriptedMessageService boxes;
        desk::setMessageService(&boxes);
        QTemporaryDir dir;
        QDir().mkpath(dir.path() + "/share");
        QDir().mkpath(dir.path() + "/nfs");
        const QString path = dir.path() + "/mounts";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("/dev/sda1 " + dir.path() + " ext4 rw 0 0\n//srv/share " + dir.path() +
                 "/share cifs rw 0 0\nsrv:/x " + dir.path() + "/nfs nfs4 rw 0 0\n")
                    .toUtf8());
        f.close();
        setMountsTablePath(path);

        resetTool(false);
        QStringList offered;
        answerNextInput([&offered](QInputDialog* d) {
            offered = d->comboBoxItems();
            d->setTextValue(offered.value(1));
            d->accept();
        });
        QVERIFY(disconnectNetworkDrive(nullptr));
        QCOMPARE(offered, QStringList({dir.path() + "/nfs", dir.path() + "/share"}));
        QCOMPARE(toolLog(), "mount -u " + dir.path() + "/share\n");

        resetTool(false);
        answerNextInput({});
        QVERIFY(!disconnectNetworkDrive(nullptr));
        resetTool(true);
        answerNextInput([](QInputDialog* d) { d->accept(); });
        QVERIFY(!disconnectNetworkDrive(nullptr));
        QVERIFY(boxes.records.isEmpty());

        // Only local drives: nothing to offer.
        f.setFileName(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("/dev/sda1 " + dir.path() + " ext4 rw 0 0\n").toUtf8());
        f.close();
        QVERIFY(!disconnectNetworkDrive(nullptr));
        QCOMPARE(boxes.texts(), QStringList({"No network disk is connected."}));
    }

    void withoutTheToolTheDialogsSaySo() {
        ScriptedMessageService boxes;
        desk::setMessageService(&boxes);
        qputenv("PATH", QByteArray("/nonexistent"));
        QVERIFY(!connectNetworkDrive(nullptr));
        QVERIFY(!disconnectNetworkDrive(nullptr));
        QCOMPARE(boxes.texts(), QStringList({"No network mount tool (gio) was found.",
                                             "No network mount tool (gio) was found."}));
        QCOMPARE(boxes.records[0].type, mtInformation);
    }
};

OLMEK_QTEST_MAIN(MountsTest)
#include "tst_mounts.moc"
