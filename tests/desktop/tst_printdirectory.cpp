#include <QDir>
#include <QFile>
#include <QObject>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <map>

#include "desktop/PrintDirectory.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class PrintDirectoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static QString pdfText(const QString& pdf) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private slots:
    void lineLayout() {
        const DirectoryItem item{QStringLiteral("Setup.exe"), 1234567,
                                 QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))};
        const QString line = TfrmPrintDirectory::FormatLine(item);
        QCOMPARE(line.left(47), QStringLiteral("SETUP.EXE").leftJustified(47));
        QCOMPARE(line.mid(47, 3 + 15 + 3), QStringLiteral("         1,234,567   "));
        QVERIFY(line.mid(68).contains(QStringLiteral("14:07:09")));
        // A long name is not cut; the size follows it.
        const QString longName(60, QLatin1Char('n'));
        QVERIFY(TfrmPrintDirectory::FormatLine({longName, 5, item.Modified})
                    .startsWith(longName.toUpper() + QStringLiteral("                 5   ")));
    }

    void totalsAreSixtyFourBit() {
        const QDateTime t(QDate(2020, 1, 1), QTime(0, 0));
        TfrmPrintDirectory form;
        form.Fill(QStringLiteral("/big"), {{QStringLiteral("a"), 3ull << 30, t},
                                           {QStringLiteral("b"), 3ull << 30, t},
                                           {QStringLiteral("c"), 0, t}});
        QCOMPARE(form.memFile.size(), 3);
        QCOMPARE(form.lblTotalFiles, QStringLiteral("3"));
        QCOMPARE(form.lblTotalSize, QStringLiteral("6,442,450,944"));
        QVERIFY(form.memFile[2].mid(47, 18).endsWith(QStringLiteral("0")));
        // Filling again starts from an empty text box.
        form.Fill(QStringLiteral("/small"), {{QStringLiteral("x"), 1000, t}});
        QCOMPARE(form.memFile.size(), 1);
        QCOMPARE(form.lblTotalSize, QStringLiteral("1,000"));
    }

    void pdfOfTwoHundredFiles() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString folder = dir_.path() + QStringLiteral("/listing");
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 200; ++i) {
            QFile f(folder + QStringLiteral("/file%1.dat").arg(i, 3, 10, QLatin1Char('0')));
            QVERIFY(f.open(QIODevice::WriteOnly));
            // Sizes from 0 to a few megabytes, one of them 1,234,567 bytes.
            f.resize(i == 7 ? 1234567 : static_cast<qint64>(i) * i * 97);
        }
        {
            // A sparse 5 GiB file takes the total past 32 bits.
            QFile big(folder + QStringLiteral("/huge.img"));
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(5ll << 30));
        }
        const auto items = folderItems(folder);
        QCOMPARE(items.size(), std::size_t{201});
        std::uint64_t total = 0;
        for (const auto& i : items) total += i.Size;

        const QString pdf = dir_.path() + QStringLiteral("/listing.pdf");
        QVERIFY(PrintDirectoryToPdf(pdf, folder, items));
        const QString text = pdfText(pdf);
        QVERIFY2(!text.isEmpty(), "pdftotext read nothing");

        QVERIFY(text.contains(QStringLiteral("Contents of Directory:")));
        QVERIFY(text.contains(folder));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("File\\s+Size\\s+Modified"))));
        const int pages = static_cast<int>(text.count(QLatin1Char('\f')));
        QVERIFY2(pages >= 2, qPrintable(QStringLiteral("%1 pages").arg(pages)));
        for (int p = 1; p <= pages; ++p)
            QVERIFY2(
                text.contains(QRegularExpression(QStringLiteral("Page %1\\s+OLMEK 95").arg(p))),
                qPrintable(QStringLiteral("footer of page %1").arg(p)));

        // Every file has its line, the size right-aligned: on each page all
        // sizes end in the same column (pdftotext lays out each page on its
        // own grid), and each has its grouped digits.
        std::map<qsizetype, qsizetype> sizeEnd; // by page
        for (const auto& item : items) {
            const QRegularExpression re(QStringLiteral("^(%1\\s+)([0-9,]+)\\s+\\S")
                                            .arg(QRegularExpression::escape(item.Name.toUpper())),
                                        QRegularExpression::MultilineOption);
            const auto m = re.match(text);
            QVERIFY2(m.hasMatch(), qPrintable(item.Name));
            QCOMPARE(m.captured(2), formatGrouped(item.Size));
            const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), m.capturedStart()) + 1;
            const qsizetype end = m.capturedEnd(2) - lineStart;
            const qsizetype page = text.left(m.capturedStart()).count(QLatin1Char('\f'));
            auto [at, added] = sizeEnd.emplace(page, end);
            QCOMPARE(end, at->second);
        }
        QVERIFY(sizeEnd.size() >= 2);
        QVERIFY(text.contains(QStringLiteral("1,234,567")));
        // The totals: the number of lines and the 64-bit sum.
        QVERIFY(total > (4ull << 30));
        QVERIFY2(text.contains(QRegularExpression(
                     QStringLiteral("\\b201\\s+%1\\s*\\n").arg(formatGrouped(total)))),
                 qPrintable(formatGrouped(total)));
    }

    void previewShowsThePages() {
        const QDateTime t(QDate(2021, 6, 1), QTime(9, 30));
        std::vector<DirectoryItem> items;
        for (int i = 0; i < 150; ++i)
            items.push_back({QStringLiteral("f%1.txt").arg(i), static_cast<std::uint64_t>(i), t});
        int pages = -1;
        // Closes the preview once it is up, after counting its pages.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&pages] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QPrintPreviewDialog*>(w);
                if (!dialog || !dialog->isVisible()) continue;
                if (auto* view = dialog->findChild<QPrintPreviewWidget*>()) {
                    view->updatePreview();
                    pages = view->pageCount();
                }
                dialog->reject();
            }
        });
        poll.start(50);
        PrintDirectory(nullptr, QStringLiteral("/preview"), items);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    }

    void emptyFolderPrintsNothing() {
        const QString pdf = dir_.path() + QStringLiteral("/empty.pdf");
        QVERIFY(!PrintDirectoryToPdf(pdf, QStringLiteral("/nothing"), {}));
        QVERIFY(!QFile::exists(pdf));
    }
};

OLMEK_QTEST_MAIN(PrintDirectoryTest)
#include "tst_printdirectory.moc"
