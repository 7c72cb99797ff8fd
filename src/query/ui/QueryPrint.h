#pragma once
// Printing a query window's output: one job on the default printer, the
// title as its heading and the output lines below it. A machine without a
// printer gets a message at once, never a wait.
#include <QString>
#include <QStringList>

namespace vn {

inline constexpr const char* kNoDefaultPrinter = "There is no default printer currently selected";

// Where printouts go: empty (the default) is the default printer; a path
// sends them to that PDF file instead (tests, and printing to a file).
void setPrintFile(const QString& pdfPath);
QString printFile();

// One job titled `title`. False, with the reason in *error, when nothing was printed.
bool printLines(const QString& title, const QStringList& lines, QString* error);

} // namespace vn
