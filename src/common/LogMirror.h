#pragma once
// Mirrors information-box lines into a log file: the file named by the
// environment variable VARNELO_LOG, else by [Misc] LogFile of "varnelo.ini";
// nothing when neither names one. Each line gets a time stamp and the caption
// of the window it belongs to. Safe to call from any thread.
#include <string>

namespace vn {

class LogMirror {
public:
    static void append(const std::string& windowCaption, const std::string& line);
};

} // namespace vn
