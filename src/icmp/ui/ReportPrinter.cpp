#include "icmp/ui/ReportPrinter.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"

namespace vn::icmp {

std::vector<PrintItem> printLayout(const PrintReport& report) {
    std::vector<PrintItem> out;
    out.push_back({100, 60, 16, true, true, true, report.heading});
    const int n = static_cast<int>(report.rows.size());
    for (int i = 0; i < n; ++i) out.push_back({100, 260 + 60 * i, 12, false, false, false, report.rows[i]});
    for (int k = 0; k < static_cast<int>(report.statistics.size()); ++k)
        out.push_back({100, 360 + 60 * n + 60 * k, 14, true, false, false, report.statistics[k]});
    return out;
}

bool paintReport(const PrintReport& report, QPrinter& printer) {
    printer.setDocName(fromWire(report.title));
    printer.setFullPage(true);
    QPainter p;
    if (!p.begin(&printer)) return false;
    const double scale = double(printer.resolution()) / kPrintUnitsPerInch;
    const int pageHeight = printer.height();
    double offset = 0;  // rows that run past a page go on the next ones
    for (const PrintItem& item : printLayout(report)) {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(item.points);
        f.setBold(item.bold);
        f.setItalic(item.italic);
        f.setUnderline(item.underline);
        p.setFont(f);
        double y = item.y * scale - offset;
        const int lineHeight = p.fontMetrics().height();
        if (y + lineHeight > pageHeight && y > 60 * scale) {
            printer.newPage();
            offset += y - 60 * scale;
            y = 60 * scale;
        }
        p.drawText(QPointF(item.x * scale, y + p.fontMetrics().ascent()), fromWire(item.text));
    }
    return p.end();
}

bool printToDefaultPrinter(const PrintReport& report) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || info.printerName().isEmpty()) {
        uiPrompter().message(kNoPrinterText);
        return false;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid() || !paintReport(report, printer)) {
        uiPrompter().message(kPrintFailedText);
        return false;
    }
    return true;
}

} // namespace vn::icmp
