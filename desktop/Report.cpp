#include "desktop/Report.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

namespace desk {

namespace {

QFont detailFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setFamilies({QStringLiteral("DejaVu Sans Mono"), f.family()});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPointSizeF(9);
    return f;
}

QFont textFont(double points, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Lines wider than the page continue on the next line rather than running
// off the paper.
QStringList wrapLines(const QStringList& lines, int columns) {
    QStringList out;
    for (const QString& line : lines) {
        if (columns <= 0 || line.size() <= columns) {
            out << line;
            continue;
        }
        for (qsizetype at = 0; at < line.size(); at += columns) out << line.mid(at, columns);
    }
    return out;
}

class Painter {
public:
    Painter(const TReport& r, QPrinter& printer)
        : r_(r), printer_(printer), mono_(detailFont()), title_(textFont(14, true)),
          sub_(textFont(11, false)), foot_(textFont(8, false)), monoM_(mono_, &printer),
          titleM_(title_, &printer), subM_(sub_, &printer), footM_(foot_, &printer) {
        const QRect paint = printer.pageLayout().paintRectPixels(printer.resolution());
        width_ = paint.width();
        height_ = paint.height();
        charW_ = monoM_.horizontalAdvance(QLatin1Char('0'));
        lineH_ = monoM_.lineSpacing();
        gap_ = lineH_ / 2;
        footerH_ = footM_.lineSpacing() + gap_;
        summaryH_ = r_.Summary.empty() ? 0 : gap_ + lineH_;
    }

    int run() {
        const QStringList lines =
            wrapLines(r_.Detail, static_cast<int>(std::floor(width_ / charW_)));
        if (lines.isEmpty() && !r_.PrintIfEmpty) return 0;
        QPainter p;
        if (!p.begin(&printer_)) return 0;
        p_ = &p;
        int page = 0;
        qsizetype next = 0;
        bool summaryDone = r_.Summary.empty();
        do {
            if (page > 0) printer_.newPage();
            ++page;
            double y = startPage(page);
            const double bottom = height_ - footerH_;
            while (next < lines.size() && y + lineH_ <= bottom) {
                drawMono(y, {{lines[next++], 0, 0, false}});
                y += lineH_;
            }
            if (next == lines.size() && !summaryDone && (y + summaryH_ <= bottom || y == top_)) {
                drawSummary(y);
                summaryDone = true;
            }
        } while (next < lines.size() || !summaryDone);
        p.end();
        return page;
    }

private:
    // Header and column heads on top, the footer at the bottom; returns
    // where the detail lines start.
    double startPage(int page) {
        QPainter& p = *p_;
        p.setPen(Qt::black);
        double y = 0;
        p.setFont(title_);
        p.drawText(QRectF(0, y, width_, titleM_.lineSpacing()), Qt::AlignHCenter | Qt::AlignTop,
                   r_.Title);
        y += titleM_.lineSpacing();
        p.setFont(sub_);
        p.drawText(QRectF(0, y, width_, subM_.lineSpacing()), Qt::AlignHCenter | Qt::AlignTop,
                   r_.Subtitle);
        y += subM_.lineSpacing() + gap_;
        if (!r_.ColumnHeads.empty()) {
            drawMono(y, r_.ColumnHeads);
            y += lineH_;
            rule(y + gap_ / 2);
            y += gap_;
        }
        const double fy = height_ - footM_.lineSpacing();
        p.setFont(foot_);
        rule(fy - gap_ / 2);
        p.drawText(QRectF(0, fy, width_, footM_.lineSpacing()), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("Page %1").arg(page));
        p.drawText(QRectF(0, fy, width_, footM_.lineSpacing()), Qt::AlignRight | Qt::AlignTop,
                   r_.FooterCaption);
        top_ = y;
        return y;
    }

    void drawSummary(double y) {
        rule(y + gap_ / 2);
        drawMono(y + gap_, r_.Summary);
    }

    void drawMono(double y, const std::vector<ReportField>& fields) {
        QPainter& p = *p_;
        p.setFont(mono_);
        const double baseline = y + monoM_.ascent();
        for (const ReportField& f : fields) {
            double x = f.Column * charW_;
            if (f.Right) x += std::max(0.0, f.Width * charW_ - monoM_.horizontalAdvance(f.Text));
            p.drawText(QPointF(x, baseline), f.Text);
        }
    }

    void rule(double y) {
        QPen pen(Qt::black);
        pen.setWidthF(std::max(1.0, printer_.resolution() / 144.0));
        p_->setPen(pen);
        p_->drawLine(QPointF(0, y), QPointF(width_, y));
    }

    const TReport& r_;
    QPrinter& printer_;
    QPainter* p_ = nullptr;
    QFont mono_, title_, sub_, foot_;
    QFontMetricsF monoM_, titleM_, subM_, footM_;
    double width_ = 0, height_ = 0, charW_ = 1, lineH_ = 1, gap_ = 0;
    double footerH_ = 0, summaryH_ = 0, top_ = 0;
};

} // namespace

void setupReportPrinter(QPrinter& printer) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                      QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch));
}

int paintReport(const TReport& report, QPrinter& printer) {
    return Painter(report, printer).run();
}

} // namespace desk
