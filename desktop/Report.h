// A small banded report engine on Qt Print Support.  A report has a page
// header (a title and a second line, centred), a column header with a rule
// under it, one multi-line text box in the detail band whose lines flow over
// as many pages as they need, a summary band after the last line, and a page
// footer with the page number and a caption.  Pages are letter size,
// portrait, with half-inch margins; the header and footer bands print on
// every page, the first and the last included.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QPrinter;

namespace desk {

// A text placed by character columns of the detail band's fixed-pitch font,
// so that heads and totals line up with the lines below them.
struct ReportField {
    QString Text;
    int Column = 0;     // first column of the field
    int Width = 0;      // columns the field spans (0: as wide as its text)
    bool Right = false; // right-aligned in its span
};

struct TReport {
    QString Title;
    QString Subtitle;
    std::vector<ReportField> ColumnHeads;
    QStringList Detail;               // the text box: one entry a line
    std::vector<ReportField> Summary; // under a rule after the last line
    QString FooterCaption;            // beside the page number
    bool PrintIfEmpty = false;        // an empty text box prints nothing
};

// Letter paper, portrait, half-inch margins.
void setupReportPrinter(QPrinter& printer);

// Paints the report on the printer, page by page; returns the pages printed
// (0 for an empty report, which leaves the printer untouched).
int paintReport(const TReport& report, QPrinter& printer);

} // namespace desk
