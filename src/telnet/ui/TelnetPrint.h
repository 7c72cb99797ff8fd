#pragma once
// Print Screen: one job on the default printer titled "Varnelo FTP Suite -
// Telnet": the heading in 16-point bold, italic, underlined type, then the 24
// rows in 12-point type. A machine without a printer gets a message at once.
#include <QString>
#include <QStringList>

namespace vn::telnet {

inline constexpr const char* kPrintTitle = "Varnelo FTP Suite - Telnet";
inline constexpr const char* kPrintHeading = "Varnelo FTP Suite - Telnet :   Telnet Screen";
inline constexpr const char* kNoPrinter = "There is no default printer currently selected";

// Empty (the default): the default printer; a path: that PDF file (tests).
void setTelnetPrintFile(const QString& pdfPath);

// False, with the reason in *error, when nothing was printed.
bool printScreen(const QStringList& rows, QString* error);

} // namespace vn::telnet
