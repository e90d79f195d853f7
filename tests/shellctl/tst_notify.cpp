#include <QDir>
#include <QFile>
#include <QObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "shellctl/ChangeNotifyThread.h"
#include "shellctl/FolderEnumerator.h"
#include "tests/desktop/QtTestEnv.h"

class NotifyTest : public QObject {
    Q_OBJECT

    static void touch(const QString& file) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void threadReportsChangesOncePerAcknowledge() {
        QTemporaryDir a, b;
        TChangeNotifyThread t({a.path(), b.path()});
        QSignalSpy armed(&t, &TChangeNotifyThread::watching);
        QSignalSpy changed(&t, &TChangeNotifyThread::changed);
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(armed.size(), 1, 10000);
        QCOMPARE(t.watchCount(), 2);
        touch(a.path() + "/1");
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 10000);
        QCOMPARE(changed[0][0].toString(), a.path());
        // Not acknowledged yet: more changes there are folded into the first.
        touch(a.path() + "/2");
        touch(b.path() + "/1");
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 10000);
        QCOMPARE(changed[1][0].toString(), b.path());
        QTest::qWait(200);
        QCOMPARE(changed.size(), 2);
        t.acknowledge(a.path());
        QFile::remove(a.path() + "/1");
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, 10000);
        QCOMPARE(changed[2][0].toString(), a.path());
        t.stop();
        QVERIFY(t.isFinished());
        t.stop(); // twice is fine
    }

    void stopEndsAnIdleWait() {
        QTemporaryDir a;
        auto* t = new TChangeNotifyThread({a.path()});
        QSignalSpy armed(t, &TChangeNotifyThread::watching);
        t->start();
        QTRY_COMPARE_WITH_TIMEOUT(armed.size(), 1, 10000);
        delete t; // joins; hangs here if the stop message were lost
    }

    void missingFoldersGetNoWatch() {
        TChangeNotifyThread t({"/no/such/folder/olmek"});
        QSignalSpy armed(&t, &TChangeNotifyThread::watching);
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(armed.size(), 1, 10000);
        QCOMPARE(t.watchCount(), 0);
    }

    void autoRefreshSeesANewFile() {
        QTemporaryDir d;
        touch(d.path() + "/first.txt");
        TFolderEnumerator fe;
        QVERIFY(fe.AutoRefresh());
        QVERIFY(fe.SetFolder(d.path()));
        QCOMPARE(fe.ItemCount(), 1);
        QTest::qWait(100); // let the watch thread arm
        touch(d.path() + "/second.txt");
        QTRY_COMPARE_WITH_TIMEOUT(fe.ItemCount(), 2, 10000);
        QVERIFY(fe.IndexOfName("second.txt") >= 0);
        QFile::remove(d.path() + "/first.txt");
        QTRY_COMPARE_WITH_TIMEOUT(fe.ItemCount(), 1, 10000);
    }

    void withoutAutoRefreshTheListWaitsForRefresh() {
        QTemporaryDir d;
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(d.path()));
        touch(d.path() + "/new.txt");
        QTest::qWait(300);
        QCOMPARE(fe.ItemCount(), 0);
        fe.Refresh();
        QCOMPARE(fe.ItemCount(), 1);
    }

    void watchFollowsTheFolder() {
        QTemporaryDir a, b;
        TFolderEnumerator fe;
        QVERIFY(fe.SetFolder(a.path()));
        QVERIFY(fe.SetFolder(b.path()));
        QTest::qWait(100);
        touch(a.path() + "/ignored");
        touch(b.path() + "/seen");
        QTRY_COMPARE_WITH_TIMEOUT(fe.ItemCount(), 1, 10000);
        QCOMPARE(fe.ItemRecord(0).DisplayName, QString("seen"));
    }

    void removedFolderEmptiesTheList() {
        QTemporaryDir parent;
        const QString d = parent.path() + "/gone";
        QDir().mkpath(d);
        touch(d + "/x");
        TFolderEnumerator fe;
        QVERIFY(fe.SetFolder(d));
        QTest::qWait(100);
        QVERIFY(QDir(d).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(fe.ItemCount(), 0, 10000);
    }
};

OLMEK_QTEST_MAIN(NotifyTest)
#include "tst_notify.moc"
