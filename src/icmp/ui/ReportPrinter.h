#pragma once
// Printing a Ping or Traceroute report: one job on the default printer. The
// layout is in printer units of a 600 dpi page (x 100; heading at y 60; row i
// at 260 + 60 i; the statistics below the rows), scaled to the real printer.
#include <QString>

#include <string>
#include <vector>

#include "icmp/PingSession.h"

class QPrinter;

namespace vn::icmp {

struct PrintItem {
    int x = 100;
    int y = 0;  // top of the line, in 600 dpi units
    int points = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::string text;
};

inline constexpr int kPrintUnitsPerInch = 600;

// Heading, rows and statistics lines where the report puts them.
std::vector<PrintItem> printLayout(const PrintReport& report);

// Paints the report on a printer set up by the caller (a PDF file in tests).
// False when the printer could not be started.
bool paintReport(const PrintReport& report, QPrinter& printer);

// One job on the default printer. Without one, or when it refuses the job,
// the user is told so in a message box; nothing waits for a printer.
bool printToDefaultPrinter(const PrintReport& report);

// The texts of those boxes.
inline constexpr const char* kNoPrinterText =
    "There is no default printer. Add a printer (or choose a default one) in the system's printer settings, then print again.";
inline constexpr const char* kPrintFailedText = "The report could not be sent to the printer.";

} // namespace vn::icmp
