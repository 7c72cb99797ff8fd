#include "query/ui/QueryPrint.h"

#include <QFont>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace vn {
namespace {

QString& target() {
    static QString file;
    return file;
}

} // namespace

void setPrintFile(const QString& pdfPath) { target() = pdfPath; }
QString printFile() { return target(); }

bool printLines(const QString& title, const QStringList& lines, QString* error) {
    QPrinter printer(QPrinter::HighResolution);
    if (target().isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            if (error) *error = QString::fromLatin1(kNoDefaultPrinter);
            return false;
        }
        printer.setPrinterName(info.printerName());
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target());
    }
    printer.setDocName(title);
    printer.setCreator(title);
    if (!printer.isValid()) {
        if (error) *error = QString::fromLatin1(kNoDefaultPrinter);
        return false;
    }

    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextCharFormat heading;
    heading.setFontWeight(QFont::Bold);
    cursor.insertText(title, heading);
    QTextCharFormat body;
    body.setFontFamilies({QStringLiteral("monospace")});
    cursor.insertBlock();
    for (const QString& line : lines) {
        cursor.insertBlock();
        cursor.insertText(line, body);
    }
    doc.print(&printer);
    if (printer.printerState() == QPrinter::Error) {
        if (error) *error = QStringLiteral("The printout could not be sent to the printer.");
        return false;
    }
    return true;
}

} // namespace vn
