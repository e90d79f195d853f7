#include "desktop/PrintDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <algorithm>

namespace desk {

namespace {

constexpr int kNameWidth = 47;
constexpr int kSizeWidth = 15;
constexpr int kSizeColumn = kNameWidth + 3;
constexpr int kTimeColumn = kSizeColumn + kSizeWidth + 3;

// The locale's short date and its time with seconds (no time zone).
QString formatModified(const QDateTime& t) {
    const QLocale l = QLocale::system();
    QString timeFormat = l.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return l.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           l.toString(t.time(), timeFormat.trimmed());
}

} // namespace

QString formatGrouped(std::uint64_t value) {
    QString sep = QLocale::system().groupSeparator();
    if (sep.isEmpty()) sep = QStringLiteral(",");
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, sep);
    return digits;
}

QString TfrmPrintDirectory::FormatLine(const DirectoryItem& item) {
    return item.Name.toUpper().leftJustified(kNameWidth) + QStringLiteral("   ") +
           formatGrouped(item.Size).rightJustified(kSizeWidth) + QStringLiteral("   ") +
           formatModified(item.Modified);
}

void TfrmPrintDirectory::Fill(const QString& folderCaption,
                              const std::vector<DirectoryItem>& items) {
    memFile.clear();
    lblDirectory = folderCaption;
    TotalSize = 0;
    for (const DirectoryItem& item : items) {
        memFile << FormatLine(item);
        TotalSize += item.Size;
    }
    lblTotalFiles = formatGrouped(static_cast<std::uint64_t>(memFile.size()));
    lblTotalSize = formatGrouped(TotalSize);
}

TReport TfrmPrintDirectory::Report() const {
    TReport r;
    r.Title = lblTitle;
    r.Subtitle = lblDirectory;
    r.ColumnHeads = {{QStringLiteral("File"), 0, 0, false},
                     {QStringLiteral("Size"), kSizeColumn, kSizeWidth, true},
                     {QStringLiteral("Modified"), kTimeColumn, 0, false}};
    r.Detail = memFile;
    // The totals stand right-aligned under their columns.
    r.Summary = {{lblTotalFiles, 0, kNameWidth, true},
                 {lblTotalSize, kSizeColumn, kSizeWidth, true}};
    r.FooterCaption = ProgramTitle;
    return r;
}

int TfrmPrintDirectory::Print(QPrinter& printer) const {
    return paintReport(Report(), printer);
}

std::vector<DirectoryItem> folderItems(const QString& folder) {
    std::vector<DirectoryItem> items;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& e : entries)
        items.push_back(
            {e.fileName(), e.isDir() ? 0 : static_cast<std::uint64_t>(e.size()), e.lastModified()});
    return items;
}

void PrintDirectory(QWidget* parent, const QString& folderCaption,
                    const std::vector<DirectoryItem>& items) {
    TfrmPrintDirectory form;
    form.Fill(folderCaption, items);
    QPrinter printer(QPrinter::HighResolution);
    setupReportPrinter(printer);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(QStringLiteral("Print Directory"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&form](QPrinter* p) { form.Print(*p); });
    preview.exec();
}

bool PrintDirectoryToPdf(const QString& pdfPath, const QString& folderCaption,
                         const std::vector<DirectoryItem>& items) {
    TfrmPrintDirectory form;
    form.Fill(folderCaption, items);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    setupReportPrinter(printer);
    return form.Print(printer) > 0;
}

} // namespace desk
