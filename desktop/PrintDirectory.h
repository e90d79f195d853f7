// The directory report behind Print Directory: one line per item of a
// folder window's file list (upper-cased name, size right-aligned in 15
// columns, modification time), the number of items and their total size,
// shown in a print preview from which the user prints, or written to PDF.
// Sizes and the total are 64-bit.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "desktop/Report.h"

class QPrinter;
class QWidget;

namespace desk {

struct DirectoryItem {
    QString Name;
    std::uint64_t Size = 0;
    QDateTime Modified;
};

class TfrmPrintDirectory {
public:
    QString lblTitle = QStringLiteral("Contents of Directory:");
    QString lblDirectory;
    QStringList memFile;
    QString lblTotalFiles;
    QString lblTotalSize;
    std::uint64_t TotalSize = 0;
    QString ProgramTitle = QStringLiteral("OLMEK 95");

    // Empties the text box and fills it from the items, in their order.
    void Fill(const QString& folderCaption, const std::vector<DirectoryItem>& items);
    TReport Report() const;
    // The pages printed (none when there is no item).
    int Print(QPrinter& printer) const;

    // One line of the text box.
    static QString FormatLine(const DirectoryItem& item);
};

// Digits in groups of three with the locale's separator; 0 is "0".
QString formatGrouped(std::uint64_t value);

// The entries of a folder as a file list shows them: folders first, then
// files, each group by name.
std::vector<DirectoryItem> folderItems(const QString& folder);

// Print Directory: the report of the items in a print preview.
void PrintDirectory(QWidget* parent, const QString& folderCaption,
                    const std::vector<DirectoryItem>& items);
// The same report written to a PDF file; false when nothing was written
// (no item, or the file could not be made).
bool PrintDirectoryToPdf(const QString& pdfPath, const QString& folderCaption,
                         const std::vector<DirectoryItem>& items);

} // namespace desk
