#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"
#include "tests/desktop/QtTestEnv.h"

class FolderTreeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& n) const { return dir_.path() + '/' + n; }

    static QStringList childTexts(QTreeWidgetItem* item) {
        QStringList out;
        for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->text(0);
        return out;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        for (const char* d : {"a/deep/er", "b", "c", ".hidden/inner"}) QDir().mkpath(path(d));
        QFile f(path("a/file.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    void defaults() {
        TNameSpaceEnumerator tree;
        QCOMPARE(tree.RootedAt(), raDesktop);
        QCOMPARE(tree.RootFolder(), QString());
        QCOMPARE(tree.FolderEnumerator(), nullptr);
        QVERIFY(tree.AutoRefresh());
        QVERIFY(tree.ShowVirtualFolders());
        QVERIFY(!tree.ExpandAll());
        QVERIFY(tree.ShellContextMenu && tree.AllowRename && tree.AllowOLEDrag &&
                tree.AllowOLEDrop);
    }

    void desktopShowsHomeRootAndDrives() {
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        QCOMPARE(tree.topLevelItemCount(), 1);
        QTreeWidgetItem* desktop = tree.topLevelItem(0);
        QCOMPARE(desktop->text(0), QString("Desktop"));
        QVERIFY(TNameSpaceEnumerator::itemPath(desktop).isEmpty());
        QVERIFY(desktop->childCount() >= 2);
        QCOMPARE(desktop->child(0)->text(0), QString("Home"));
        QCOMPARE(TNameSpaceEnumerator::itemPath(desktop->child(0)), QDir::homePath());
        QCOMPARE(TNameSpaceEnumerator::itemPath(desktop->child(1)), QString("/"));

        // A virtual selection has no path; a linked list shows its children.
        TFolderEnumerator list;
        list.SetAutoRefresh(false);
        tree.SetFolderEnumerator(&list);
        tree.setCurrentItem(desktop);
        QVERIFY(tree.SelectedPath().isEmpty());
        QCOMPARE(list.Folder(), QString());
        QCOMPARE(list.ItemCount(), desktop->childCount());
        QCOMPARE(list.ItemPath(list.IndexOfName("Home")), QDir::homePath());

        // Without virtual folders the real ones are at the top.
        tree.SetShowVirtualFolders(false);
        QCOMPARE(TNameSpaceEnumerator::itemPath(tree.topLevelItem(0)), QDir::homePath());
    }

    void selectPathExpandsAndLinksTheList() {
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(dir_.path());
        TFolderEnumerator list;
        list.SetAutoRefresh(false);
        tree.SetFolderEnumerator(&list);
        QCOMPARE(list.LinkedTree(), &tree);

        QStringList events;
        tree.OnSelectionChange = [&](TNameSpaceEnumerator* s) {
            // The list has already followed when the event comes.
            events << s->SelectedPath() + "|" + list.Folder();
        };
        QVERIFY(tree.SelectPath(path("a/deep/er")));
        QCOMPARE(tree.SelectedPath(), path("a/deep/er"));
        QCOMPARE(list.Folder(), path("a/deep/er"));
        QCOMPARE(events, QStringList({path("a/deep/er") + "|" + path("a/deep/er")}));

        // Selecting the same folder again changes nothing.
        QVERIFY(tree.SelectPath(path("a/deep/er/")));
        QCOMPARE(events.size(), 1);

        QVERIFY(!tree.SelectPath(path("missing")));
        QVERIFY(!tree.SelectPath("/")); // outside the root folder
        QVERIFY(!tree.SelectPath(path("a/file.txt")));
        QCOMPARE(tree.SelectedPath(), path("a/deep/er"));
        QCOMPARE(events.size(), 1);
    }

    void settingTheListFolderSelectsTheTreeNode() {
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(dir_.path());
        TFolderEnumerator list;
        list.SetAutoRefresh(false);
        tree.SetFolderEnumerator(&list);
        int events = 0;
        tree.OnSelectionChange = [&](TNameSpaceEnumerator*) { ++events; };
        QVERIFY(list.SetFolder(path("b")));
        QCOMPARE(tree.SelectedPath(), path("b"));
        QCOMPARE(list.Folder(), path("b"));
        QCOMPARE(events, 1);
        // Folders outside the tree's root still show in the list.
        QVERIFY(list.SetFolder(QDir::homePath()));
        QCOMPARE(list.Folder(), QDir::homePath());
        QCOMPARE(tree.SelectedPath(), path("b"));

        // Unlinking: the list no longer drives the tree.
        tree.SetFolderEnumerator(nullptr);
        QCOMPARE(list.LinkedTree(), nullptr);
        QVERIFY(list.SetFolder(path("c")));
        QCOMPARE(tree.SelectedPath(), path("b"));
    }

    void hiddenFoldersOnlyOnRequest() {
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(dir_.path());
        QTreeWidgetItem* root = tree.topLevelItem(0);
        QCOMPARE(childTexts(root), QStringList({"a", "b", "c"}));
        tree.SetShowHidden(true);
        root = tree.topLevelItem(0);
        QCOMPARE(childTexts(root), QStringList({".hidden", "a", "b", "c"}));
        tree.SetShowHidden(false);
        // Asked for by path, a hidden folder is still reachable.
        QVERIFY(tree.SelectPath(path(".hidden/inner")));
        QCOMPARE(tree.SelectedPath(), path(".hidden/inner"));
    }

    void refreshReadsNewFoldersAndKeepsTheSelection() {
        QTemporaryDir d;
        QDir().mkpath(d.path() + "/one/two");
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(d.path());
        QVERIFY(tree.SelectPath(d.path() + "/one/two"));
        QDir().mkpath(d.path() + "/three");
        QDir().mkpath(d.path() + "/one/four");
        int events = 0;
        tree.OnSelectionChange = [&](TNameSpaceEnumerator*) { ++events; };
        tree.Refresh();
        QCOMPARE(tree.SelectedPath(), d.path() + "/one/two");
        QCOMPARE(events, 0);
        QCOMPARE(childTexts(tree.topLevelItem(0)), QStringList({"one", "three"}));
        QCOMPARE(childTexts(tree.topLevelItem(0)->child(0)), QStringList({"four", "two"}));

        // The selected folder disappears: its parent is selected and announced.
        QVERIFY(QDir(d.path() + "/one/two").removeRecursively());
        tree.Refresh();
        QCOMPARE(tree.SelectedPath(), d.path() + "/one");
        QCOMPARE(events, 1);
    }

    void autoRefreshSeesNewSubfolders() {
        QTemporaryDir d;
        QDir().mkpath(d.path() + "/x");
        TNameSpaceEnumerator tree;
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(d.path());
        QVERIFY(tree.SelectPath(d.path() + "/x"));
        QCOMPARE(tree.topLevelItem(0)->childCount(), 1);
        QTest::qWait(100); // let the watch thread arm
        QDir().mkpath(d.path() + "/y");
        QTRY_COMPARE_WITH_TIMEOUT(tree.topLevelItem(0)->childCount(), 2, 10000);
        QCOMPARE(tree.SelectedPath(), d.path() + "/x");
    }

    void autoRefreshMovesOffADeletedSelection() {
        QTemporaryDir d;
        QDir().mkpath(d.path() + "/p/q");
        TNameSpaceEnumerator tree;
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(d.path());
        TFolderEnumerator list;
        list.SetAutoRefresh(false);
        tree.SetFolderEnumerator(&list);
        QVERIFY(tree.SelectPath(d.path() + "/p/q"));
        QCOMPARE(list.Folder(), d.path() + "/p/q");
        QStringList events;
        tree.OnSelectionChange = [&](TNameSpaceEnumerator* s) { events << s->SelectedPath(); };
        QTest::qWait(100);
        QVERIFY(QDir(d.path() + "/p/q").removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(tree.SelectedPath(), d.path() + "/p", 10000);
        QCOMPARE(events, QStringList({d.path() + "/p"}));
        QCOMPARE(list.Folder(), d.path() + "/p");
    }

    void rootsOfTheOtherKinds() {
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raMyComputer);
        QCOMPARE(tree.topLevelItem(0)->text(0), QString("Computer"));
        QCOMPARE(TNameSpaceEnumerator::itemPath(tree.topLevelItem(0)->child(0)), QString("/"));
        tree.SetRootedAt(raNetworkNeighbourhood);
        QCOMPARE(tree.topLevelItem(0)->text(0), QString("Network"));
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(path("no-such"));
        QCOMPARE(TNameSpaceEnumerator::itemPath(tree.topLevelItem(0)), QString("/"));
        tree.SetRootedAt(raStartMenu);
        QVERIFY(TNameSpaceEnumerator::itemPath(tree.topLevelItem(0)).endsWith("/applications"));
    }

    void linkedControlsDieInEitherOrder() {
        for (int order = 0; order < 2; ++order) {
            auto* tree = new TNameSpaceEnumerator;
            auto* list = new TFolderEnumerator;
            tree->SetRootedAt(raFileSystem);
            tree->SetRootFolder(dir_.path());
            tree->SetFolderEnumerator(list);
            int events = 0;
            tree->OnSelectionChange = [&](TNameSpaceEnumerator*) { ++events; };
            list->OnSelectionChange = [&](TFolderEnumerator*) { ++events; };
            QVERIFY(tree->SelectPath(path("a")));
            list->SelectItem(0);
            const int before = events;
            if (order == 0) {
                delete tree;
                QCOMPARE(list->LinkedTree(), nullptr);
                QVERIFY(list->SetFolder(path("b")));
                delete list;
            } else {
                delete list;
                QCOMPARE(tree->FolderEnumerator(), nullptr);
                QVERIFY(tree->SelectPath(path("c")));
                delete tree;
            }
            QVERIFY(events >= before);
        }
    }

    void dropsOnANodeGoIntoItsFolder() {
        QTemporaryDir d;
        QDir().mkpath(d.path() + "/target");
        QDir().mkpath(d.path() + "/src/sub");
        QFile f(d.path() + "/src/file.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(d.path());
        TFolderEnumerator list;
        list.SetAutoRefresh(false);
        tree.SetFolderEnumerator(&list);
        QVERIFY(tree.SelectPath(d.path() + "/target"));
        tree.resize(300, 300);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QTreeWidgetItem* target = tree.currentItem();
        QTreeWidgetItem* src = tree.topLevelItem(0)->child(0);
        QCOMPARE(src->text(0), QString("src"));

        auto drop = [&](QTreeWidgetItem* onto, const QString& file, Qt::DropAction action) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(file)});
            const QPoint at = tree.visualItemRect(onto).center();
            QDragEnterEvent enter(at, action, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tree.viewport(), &enter);
            QDragMoveEvent move(at, action, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tree.viewport(), &move);
            QDropEvent ev(at, action, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tree.viewport(), &ev);
            return ev.isAccepted();
        };
        QVERIFY(drop(target, d.path() + "/src/file.txt", Qt::CopyAction));
        QVERIFY(QFile::exists(d.path() + "/target/file.txt"));
        QCOMPARE(list.ItemCount(), 1);
        QVERIFY(drop(target, d.path() + "/src/sub", Qt::MoveAction));
        QVERIFY(QFileInfo(d.path() + "/target/sub").isDir());
        QVERIFY(!QFileInfo::exists(d.path() + "/src/sub"));
        QCOMPARE(list.ItemCount(), 2);
        // A folder never goes into itself.
        QVERIFY(!drop(target, d.path() + "/target", Qt::MoveAction));
        QVERIFY(QFileInfo(d.path() + "/target").isDir());
        tree.AllowOLEDrop = false;
        QVERIFY(!drop(target, d.path() + "/src/file.txt", Qt::CopyAction));
    }

    void renameANode() {
        QTemporaryDir d;
        QDir().mkpath(d.path() + "/before");
        TNameSpaceEnumerator tree;
        tree.SetAutoRefresh(false);
        tree.SetRootedAt(raFileSystem);
        tree.SetRootFolder(d.path());
        QVERIFY(tree.SelectPath(d.path() + "/before"));
        QTreeWidgetItem* node = tree.currentItem();
        QVERIFY(node->flags() & Qt::ItemIsEditable);
        QVERIFY(!(tree.topLevelItem(0)->flags() & Qt::ItemIsEditable));
        node->setText(0, "after");
        QVERIFY(QFileInfo(d.path() + "/after").isDir());
        QCOMPARE(tree.SelectedPath(), d.path() + "/after");
    }
};

OLMEK_QTEST_MAIN(FolderTreeTest)
#include "tst_foldertree.moc"
