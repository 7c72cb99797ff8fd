#pragma once
// Mirrors information-box lines into a log file: the file named by the
// environment variable VARNELO_LOG, else by [Misc] LogFile of "varnelo.ini";
// nothing when neither names one. Each line gets a time stamp and the caption
// of the window it belongs to. Safe to call from any thread.
#include <cstdint>
#include <string>
#include <vector>

namespace vn {

class LogMirror {
public:
    static void append(const std::string& windowCaption, const std::string& line);
};

// The mirror of one window's log. Ordinary lines go to the file as they are
// added. A line added as replaceable (a progress or speed line the window
// rewrites in place) is held back until its final form is known: when an
// ordinary line follows, at flush() or when the mirror goes; meanwhile
// replace() keeps its latest form. So the file gets what the window finally
// showed, in the window's order, once.
class WindowLogMirror {
public:
    explicit WindowLogMirror(std::string caption = {}) : caption_(std::move(caption)) {}
    ~WindowLogMirror() { flush(); }
    WindowLogMirror(const WindowLogMirror&) = delete;
    WindowLogMirror& operator=(const WindowLogMirror&) = delete;

    // Held lines keep the caption they were added under.
    void setCaption(std::string caption);
    void add(std::uint64_t id, const std::string& line);
    void addReplaceable(std::uint64_t id, const std::string& line);
    // Only a held line changes; one already written stays as written.
    void replace(std::uint64_t id, const std::string& line);
    void flush();

private:
    struct Held {
        std::uint64_t id;
        std::string line;
    };
    std::string caption_;
    std::vector<Held> held_;
};

} // namespace vn
