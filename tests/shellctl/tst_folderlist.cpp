#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QObject>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>

#include "desktop/MessageBox.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/FolderModel.h"
#include "tests/desktop/QtTestEnv.h"

class FolderListTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& n) const { return dir_.path() + '/' + n; }

    static void make(const QString& file, qint64 size, int ageDays) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(size, 'x'));
        f.flush();
        f.setFileTime(QDateTime::currentDateTime().addDays(-ageDays),
                      QFileDevice::FileModificationTime);
    }

    static QStringList names(const TFolderEnumerator& fe) {
        QStringList out;
        for (int i = 0; i < fe.ItemCount(); ++i) out << fe.ItemRecord(i).DisplayName;
        return out;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        make(path("alpha.txt"), 3000, 5);
        make(path("Beta.zip"), 10, 1);
        make(path("gamma.ZIP"), 2000, 3);
        make(path("README"), 100, 10);
        make(path("delta.tar.gz"), 5000, 2);
        make(path(".hidden"), 1, 1);
        QDir().mkpath(path("sub"));
        QDir().mkpath(path("Zeta"));
        QDir().mkpath(path(".secret"));
    }

    void defaults() {
        TFolderEnumerator fe;
        QCOMPARE(fe.Folder(), QString());
        QCOMPARE(fe.FileMask(), QString("*.*"));
        QCOMPARE(fe.ViewStyle(), vsIcon);
        QVERIFY(!fe.MultiSelect());
        QVERIFY(fe.ShowFolders());
        QVERIFY(fe.ShowVirtualFolders());
        QVERIFY(!fe.ShowHidden());
        QCOMPARE(fe.SortColumn(), cnName);
        QCOMPARE(fe.SortOrder(), soAscending);
        QVERIFY(fe.ColumnClick());
        QVERIFY(fe.AutoRefresh());
        QVERIFY(fe.ShellContextMenu && fe.AllowRename && fe.AllowOLEDrag && fe.AllowOLEDrop);
        QCOMPARE(fe.ItemCount(), 0);
        const TFolderColumn& c = fe.FolderColumns();
        QCOMPARE(c[cnName].Caption, QString("Name"));
        QCOMPARE(c[cnSize].Alignment, int(taRightJustify));
        QCOMPARE(c[cnExtension].Visible, false);
        QCOMPARE(c[cnModified].Width, 200);
    }

    void listsFoldersFirstThenFilesByName() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dir_.path() + "/"));
        QCOMPARE(fe.Folder(), dir_.path());
        QCOMPARE(names(fe), QStringList({"sub", "Zeta", "alpha.txt", "Beta.zip", "delta.tar.gz",
                                         "gamma.ZIP", "README"}));
    }

    void hiddenFiles() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetShowHidden(true);
        QVERIFY(fe.SetFolder(dir_.path()));
        QVERIFY(names(fe).contains(".hidden"));
        QVERIFY(names(fe).contains(".secret"));
        fe.SetShowHidden(false);
        QVERIFY(!names(fe).contains(".hidden"));
        QVERIFY(!names(fe).contains(".secret"));
    }

    void fileMaskFiltersFilesOnly() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dir_.path()));
        fe.SetFileMask("  *.zip ");
        QCOMPARE(fe.FileMask(), QString("*.zip"));
        QCOMPARE(names(fe), QStringList({"sub", "Zeta", "Beta.zip", "gamma.ZIP"}));
        fe.SetFileMask("*.txt;*.gz");
        QCOMPARE(names(fe), QStringList({"sub", "Zeta", "alpha.txt", "delta.tar.gz"}));
        fe.SetShowFolders(false);
        QCOMPARE(names(fe), QStringList({"alpha.txt", "delta.tar.gz"}));
        fe.SetFileMask("   ");
        QCOMPARE(fe.FileMask(), QString("*.*"));
        QCOMPARE(fe.ItemCount(), 5);
        fe.SetFileMask("*.");
        QCOMPARE(names(fe), QStringList({"README"}));
    }

    void maskMatching_data() {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("all") << "*.*"
                             << "README" << true;
        QTest::newRow("star") << "*"
                              << "a.b" << true;
        QTest::newRow("case") << "*.ZIP"
                              << "a.zip" << true;
        QTest::newRow("ext") << "*.zip"
                             << "a.zipx" << false;
        QTest::newRow("question") << "a?c.txt"
                                  << "abc.txt" << true;
        QTest::newRow("question short") << "a?c.txt"
                                        << "ac.txt" << false;
        QTest::newRow("no ext") << "*."
                                << "README" << true;
        QTest::newRow("no ext 2") << "*."
                                  << "a.b" << false;
        QTest::newRow("name.*") << "readme.*"
                                << "README" << true;
        QTest::newRow("name.* ext") << "readme.*"
                                    << "readme.md" << true;
        QTest::newRow("list") << "*.arj; *.lzh"
                              << "x.LZH" << true;
        QTest::newRow("list miss") << "*.arj;*.lzh"
                                   << "x.zip" << false;
        QTest::newRow("multi star") << "*a*b*"
                                    << "xxaYYbzz" << true;
        QTest::newRow("backtrack") << "*ab"
                                   << "aab" << true;
        QTest::newRow("empty") << ""
                               << "x" << true;
        QTest::newRow("unicode") << QString::fromUtf8("*.ÄRJ") << QString::fromUtf8("x.ärj")
                                 << true;
    }
    void maskMatching() {
        QFETCH(QString, mask);
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(matchFileMask(mask, name), match);
    }

    void sorting() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetShowFolders(false);
        QVERIFY(fe.SetFolder(dir_.path()));
        fe.SetSortColumn(cnSize);
        QCOMPARE(names(fe),
                 QStringList({"Beta.zip", "README", "gamma.ZIP", "alpha.txt", "delta.tar.gz"}));
        fe.SetSortOrder(soDescending);
        QCOMPARE(names(fe),
                 QStringList({"delta.tar.gz", "alpha.txt", "gamma.ZIP", "README", "Beta.zip"}));
        fe.SetSortColumn(cnModified);
        QCOMPARE(names(fe),
                 QStringList({"Beta.zip", "delta.tar.gz", "gamma.ZIP", "alpha.txt", "README"}));
        fe.SetSortOrder(soAscending);
        fe.SetSortColumn(cnExtension);
        QCOMPARE(names(fe),
                 QStringList({"README", "delta.tar.gz", "alpha.txt", "Beta.zip", "gamma.ZIP"}));
        // Sorting survives a re-read.
        fe.Refresh();
        QCOMPARE(names(fe).first(), QString("README"));
        fe.SetSortOrder(soUnSorted);
        QCOMPARE(fe.ItemCount(), 5);
    }

    void foldersStayFirstWhenDescending() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dir_.path()));
        fe.SetSortOrder(soDescending);
        QCOMPARE(names(fe).mid(0, 3), QStringList({"Zeta", "sub", "README"}));
    }

    void headerClickSorts() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetViewStyle(vsReport);
        QVERIFY(fe.SetFolder(dir_.path()));
        auto* report = qobject_cast<QTreeView*>(fe.view());
        QVERIFY(report);
        emit report->header()->sectionClicked(cnSize);
        QCOMPARE(fe.SortColumn(), cnSize);
        QCOMPARE(fe.SortOrder(), soAscending);
        emit report->header()->sectionClicked(cnSize);
        QCOMPARE(fe.SortOrder(), soDescending);
        fe.SetColumnClick(false);
        emit report->header()->sectionClicked(cnName);
        QCOMPARE(fe.SortColumn(), cnSize);
    }

    void headerIsClickableAndShowsTheArrow() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetViewStyle(vsReport);
        fe.resize(800, 300);
        fe.show();
        QVERIFY(fe.SetFolder(dir_.path()));
        auto* report = qobject_cast<QTreeView*>(fe.view());
        QHeaderView* header = report->header();
        QVERIFY(header->sectionsClickable());
        QVERIFY(header->isSortIndicatorShown());
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(cnModified) + 5, header->height() / 2));
        QCOMPARE(fe.SortColumn(), cnModified);
        QCOMPARE(header->sortIndicatorSection(), int(cnModified));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void columnsFollowFolderColumns() {
        TFolderEnumerator fe;
        fe.SetViewStyle(vsReport);
        TFolderColumn cols;
        cols[cnExtension].Visible = true;
        cols[cnType].Visible = false;
        cols[cnName].Width = 123;
        cols[cnName].Caption = "File";
        fe.SetFolderColumns(cols);
        auto* report = qobject_cast<QTreeView*>(fe.view());
        QVERIFY(!report->isColumnHidden(cnExtension));
        QVERIFY(report->isColumnHidden(cnType));
        QCOMPARE(report->columnWidth(cnName), 123);
        QCOMPARE(report->model()->headerData(cnName, Qt::Horizontal).toString(), QString("File"));
    }

    void unreadableFolderLeavesTheListAlone() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dir_.path()));
        const int count = fe.ItemCount();
        QVERIFY(!fe.SetFolder(path("no-such-folder")));
        QVERIFY(!fe.SetFolder(path("alpha.txt")));
        QVERIFY(!fe.SetFolder(QString()));
        QCOMPARE(fe.Folder(), dir_.path());
        QCOMPARE(fe.ItemCount(), count);
    }

    void itemRecordsAndPaths() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dir_.path()));
        const int i = fe.IndexOfName("alpha.txt");
        QVERIFY(i >= 0);
        const TFolderItemRecord r = fe.ItemRecord(i);
        QCOMPARE(r.DisplayName, QString("alpha.txt"));
        QCOMPARE(r.Size, 3000u);
        QVERIFY(qAbs(r.Modified.daysTo(QDateTime::currentDateTime()) - 5) <= 1);
        QCOMPARE(fe.ItemPath(i), path("alpha.txt"));
        QCOMPARE(fe.ItemRecord(-1).DisplayName, QString());
        QCOMPARE(fe.ItemRecord(999).Size, 0u);
        QVERIFY(fe.ItemPath(999).isEmpty());
    }

    void sizesAbove4GiBKeepTheLow32Bits() {
        QTemporaryDir big;
        QFile f(big.path() + "/huge.bin");
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize((qint64(1) << 32) + 7)) QSKIP("no sparse files here");
        f.close();
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(big.path()));
        QCOMPARE(fe.ItemRecord(0).Size, 7u);
    }

    void selectionInListOrder() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetMultiSelect(true);
        QVERIFY(fe.SetFolder(dir_.path()));
        int changes = 0;
        fe.OnSelectionChange = [&](TFolderEnumerator* s) {
            QCOMPARE(s, &fe);
            ++changes;
        };
        fe.SelectItem(fe.IndexOfName("README"));
        fe.SelectItem(fe.IndexOfName("alpha.txt"));
        QVERIFY(changes >= 2);
        QCOMPARE(fe.SelectedCount(), 2);
        QCOMPARE(fe.SelectedItemPath(1), path("alpha.txt"));
        QCOMPARE(fe.SelectedItemPath(2), path("README"));
        QCOMPARE(fe.SelectedItemPath(3), QString());
        QCOMPARE(fe.SelectedItemPath(0), QString());
        fe.SetMultiSelect(false);
        QCOMPARE(fe.SelectedCount(), 1);
        fe.SelectItem(fe.IndexOfName("Beta.zip"));
        QCOMPARE(fe.SelectedCount(), 1);
        QCOMPARE(fe.SelectedItemPath(1), path("Beta.zip"));
    }

    void refreshKeepsTheFocusedItem() {
        QTemporaryDir d;
        for (const char* n : {"a", "b", "c"}) make(d.path() + '/' + n, 1, 0);
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(d.path()));
        fe.SelectItem(fe.IndexOfName("b"));
        make(d.path() + "/0", 1, 0);
        fe.Refresh();
        QCOMPARE(fe.ItemCount(), 4);
        QCOMPARE(fe.SelectedCount(), 1);
        QCOMPARE(fe.SelectedItemPath(1), d.path() + "/b");
        // The focused item went away: the first item is selected.
        QFile::remove(d.path() + "/b");
        fe.Refresh();
        QCOMPARE(fe.SelectedCount(), 1);
        QCOMPARE(fe.SelectedItemPath(1), d.path() + "/0");
    }

    void doubleClickAsksBeforeActing() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetViewStyle(vsReport);
        QVERIFY(fe.SetFolder(dir_.path()));
        int asked = 0;
        fe.OnDoubleClick = [&](TFolderEnumerator*, bool& bExecute) {
            ++asked;
            bExecute = false;
        };
        const QModelIndex sub = fe.view()->model()->index(fe.IndexOfName("sub"), 0);
        emit fe.view()->doubleClicked(sub);
        QCOMPARE(asked, 1);
        QCOMPARE(fe.Folder(), dir_.path());
        // Left true, the folder opens in the list.
        fe.OnDoubleClick = [&](TFolderEnumerator*, bool&) { ++asked; };
        emit fe.view()->doubleClicked(sub);
        QCOMPARE(asked, 2);
        QCOMPARE(fe.Folder(), path("sub"));
    }

    void viewStylesSwitchTheView() {
        TFolderEnumerator fe;
        QVERIFY(!qobject_cast<QTreeView*>(fe.view()));
        fe.SetViewStyle(vsReport);
        QVERIFY(qobject_cast<QTreeView*>(fe.view()));
        fe.SetViewStyle(vsList);
        QVERIFY(!qobject_cast<QTreeView*>(fe.view()));
        QCOMPARE(fe.ViewStyle(), vsList);
    }

    void renameInPlace() {
        QTemporaryDir d;
        make(d.path() + "/old.txt", 1, 0);
        make(d.path() + "/taken.txt", 1, 0);
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(d.path()));
        desk::ScriptedMessageService boxes;
        desk::setMessageService(&boxes);
        QAbstractItemModel* m = fe.view()->model();
        QVERIFY(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);
        QVERIFY(!m->setData(m->index(fe.IndexOfName("old.txt"), 0), "taken.txt"));
        QVERIFY(!m->setData(m->index(fe.IndexOfName("old.txt"), 0), "../escape.txt"));
        desk::setMessageService(nullptr);
        QCOMPARE(boxes.texts(),
                 QStringList({"Cannot rename old.txt.\r\rA file or folder named taken.txt already "
                              "exists.",
                              "Cannot rename old.txt.\r\rThe name is not valid."}));
        QVERIFY(QFile::exists(d.path() + "/old.txt"));
        QVERIFY(m->setData(m->index(fe.IndexOfName("old.txt"), 0), "new.txt"));
        QVERIFY(QFile::exists(d.path() + "/new.txt"));
        QCOMPARE(fe.ItemPath(fe.IndexOfName("new.txt")), d.path() + "/new.txt");
    }

    void switchesKeysAndDragData() {
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        fe.SetViewStyle(vsReport);
        QVERIFY(fe.SetFolder(dir_.path()));
        QAbstractItemModel* m = fe.view()->model();
        const int i = fe.IndexOfName("alpha.txt");
        QVERIFY(m->flags(m->index(i, 0)) & Qt::ItemIsEditable);
        QVERIFY(!(m->flags(m->index(i, cnSize)) & Qt::ItemIsEditable));
        fe.AllowRename = false;
        QVERIFY(!(m->flags(m->index(i, 0)) & Qt::ItemIsEditable));

        int asked = 0;
        fe.OnDoubleClick = [&](TFolderEnumerator*, bool& bExecute) {
            ++asked;
            bExecute = false;
        };
        fe.SelectItem(i);
        QTest::keyClick(fe.view(), Qt::Key_Return);
        QCOMPARE(asked, 1);

        std::unique_ptr<QMimeData> data(m->mimeData({m->index(i, 0)}));
        QCOMPARE(data->urls(), QList<QUrl>({QUrl::fromLocalFile(path("alpha.txt"))}));
    }

    void dropsCopyOrMoveIntoTheFolder() {
        QTemporaryDir src, dst;
        make(src.path() + "/a.txt", 1, 0);
        make(src.path() + "/b.txt", 2, 0);
        QDir().mkpath(dst.path() + "/inner");
        desk::ScriptedMessageService boxes;
        desk::setMessageService(&boxes);
        TFolderEnumerator fe;
        fe.SetAutoRefresh(false);
        QVERIFY(fe.SetFolder(dst.path()));
        QAbstractItemModel* m = fe.view()->model();
        QVERIFY(m->flags({}) & Qt::ItemIsDropEnabled);

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(src.path() + "/a.txt")});
        QVERIFY(m->canDropMimeData(&data, Qt::CopyAction, -1, -1, {}));
        QVERIFY(m->dropMimeData(&data, Qt::CopyAction, -1, -1, {}));
        QVERIFY(QFile::exists(dst.path() + "/a.txt"));
        QVERIFY(QFile::exists(src.path() + "/a.txt"));
        QVERIFY(fe.IndexOfName("a.txt") >= 0);

        // Onto a folder item, moving.
        data.setUrls({QUrl::fromLocalFile(src.path() + "/b.txt")});
        const QModelIndex inner = m->index(fe.IndexOfName("inner"), 0);
        QVERIFY(m->flags(inner) & Qt::ItemIsDropEnabled);
        QVERIFY(!(m->flags(m->index(fe.IndexOfName("a.txt"), 0)) & Qt::ItemIsDropEnabled));
        QVERIFY(m->dropMimeData(&data, Qt::MoveAction, -1, -1, inner));
        QVERIFY(QFile::exists(dst.path() + "/inner/b.txt"));
        QVERIFY(!QFile::exists(src.path() + "/b.txt"));

        // Into the folder it already is in: nothing happens.
        data.setUrls({QUrl::fromLocalFile(dst.path() + "/a.txt")});
        QVERIFY(!m->dropMimeData(&data, Qt::CopyAction, -1, -1, {}));
        QVERIFY(!QFile::exists(dst.path() + "/a (2).txt"));

        data.setUrls({QUrl("https://example.com/x")});
        QVERIFY(!m->canDropMimeData(&data, Qt::CopyAction, -1, -1, {}));
        data.setUrls({QUrl::fromLocalFile(src.path() + "/a.txt")});
        QVERIFY(!m->canDropMimeData(&data, Qt::LinkAction, -1, -1, {}));
        fe.AllowOLEDrop = false;
        QVERIFY(!m->canDropMimeData(&data, Qt::CopyAction, -1, -1, {}));
        QVERIFY(!(m->flags({}) & Qt::ItemIsDropEnabled));
        desk::setMessageService(nullptr);
        QVERIFY(boxes.records.isEmpty());
    }

    void checkList() {
        TCheckList list;
        QCOMPARE(list.AddItem("C:\\", true), 0);
        QCOMPARE(list.AddItem("D:\\out"), 1);
        QVERIFY(list.Checked(0));
        QVERIFY(!list.Checked(1));
        list.SetChecked(1, true);
        list.SetChecked(0, false);
        QVERIFY(!list.Checked(0));
        QVERIFY(list.Checked(1));
        list.SetChecked(5, true);
        QVERIFY(!list.Checked(5));
        QVERIFY(!list.Checked(-1));
        QCOMPARE(list.ItemText(1), QString("D:\\out"));
        QCOMPARE(list.ItemCount(), 2);
        QVERIFY(!(list.item(0)->flags() & Qt::ItemIsUserTristate));
        QCOMPARE(list.item(0)->sizeHint().height(), TCheckList::ItemHeight);
        list.Clear();
        QCOMPARE(list.ItemCount(), 0);
    }
};

OLMEK_QTEST_MAIN(FolderListTest)
#include "tst_folderlist.moc"
