#pragma once
// What every engine reports through: log lines (some rewritten in place, such as
// progress and speed), a beep, a status text and a gauge. Called on the engine's
// worker; the window marshals each call to the UI thread. Questions go through
// the Prompter, never through here.
#include <cstdint>
#include <string>

namespace vn {

class ToolSink {
public:
    virtual ~ToolSink() = default;
    // One line for the window's log box.
    virtual void log(const std::string& line) = 0;
    virtual void beep() {}
    // A log line that a later replaceLine() rewrites in place; the handle stays
    // valid however many older lines the box trims.
    virtual std::uint64_t addReplaceableLine(const std::string& line) {
        log(line);
        return 0;
    }
    virtual void replaceLine(std::uint64_t /*handle*/, const std::string& /*line*/) {}
    // The window's status bar text.
    virtual void status(const std::string& /*text*/) {}
    // The main gauge: done of total (total 0 when unknown).
    virtual void progress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

} // namespace vn
