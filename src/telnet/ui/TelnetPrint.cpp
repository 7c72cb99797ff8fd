#include "telnet/ui/TelnetPrint.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace vn::telnet {
namespace {

QString& target() {
    static QString file;
    return file;
}

} // namespace

void setTelnetPrintFile(const QString& pdfPath) { target() = pdfPath; }

bool printScreen(const QStringList& rows, QString* error) {
    QPrinter printer(QPrinter::HighResolution);
    if (target().isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            if (error) *error = QString::fromLatin1(kNoPrinter);
            return false;
        }
        printer.setPrinterName(info.printerName());
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target());
    }
    printer.setDocName(QString::fromLatin1(kPrintTitle));
    printer.setCreator(QString::fromLatin1(kPrintTitle));
    QPainter p;
    if (!printer.isValid() || !p.begin(&printer)) {
        if (error) *error = QString::fromLatin1(kNoPrinter);
        return false;
    }
    // The layout is given in units of 1/300 inch, whatever the printer's resolution.
    const double scale = printer.resolution() / 300.0;
    p.scale(scale, scale);
    QFont heading(QStringLiteral("sans-serif"));
    heading.setPixelSize(67); // 16 points at 300 units an inch
    heading.setBold(true);
    heading.setItalic(true);
    heading.setUnderline(true);
    p.setFont(heading);
    p.drawText(QPoint(100, 60 + p.fontMetrics().ascent()), QString::fromLatin1(kPrintHeading));
    QFont body(QStringLiteral("monospace"));
    body.setStyleHint(QFont::TypeWriter);
    body.setPixelSize(50); // 12 points
    p.setFont(body);
    const int ascent = p.fontMetrics().ascent();
    for (int r = 1; r <= rows.size(); ++r) p.drawText(QPoint(100, 260 + 60 * r + ascent), rows.at(r - 1));
    const bool ok = p.end() && printer.printerState() != QPrinter::Error;
    if (!ok && error) *error = QStringLiteral("The printout could not be sent to the printer.");
    return ok;
}

} // namespace vn::telnet
