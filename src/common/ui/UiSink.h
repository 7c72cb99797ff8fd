#pragma once
// The UI-thread forwarder of vn::ToolSink: an engine reports on its worker,
// each report reaches the window's log box, status bar, gauge and sound on the
// UI thread, in order. The window joins its workers before it goes, so no
// report outlives it.
//
//   class MySink : public vn::UiSink<FtpSink> { ... engine-specific extras ... };
//   vn::UiSink<> for an engine that reports through the plain ToolSink.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "common/ToolSink.h"

namespace vn {

class ToolWindow;

// The Qt side of the forwarding (one per sink; thread-safe).
class SinkForwarder {
public:
    explicit SinkForwarder(ToolWindow* window);
    void log(const std::string& line);
    std::uint64_t addReplaceableLine(const std::string& line);
    void replaceLine(std::uint64_t handle, const std::string& line);
    void status(const std::string& text);
    void progress(std::uint64_t done, std::uint64_t total);
    void beep();
    // Runs f on the UI thread with the window.
    void post(std::function<void(ToolWindow&)> f);
    ToolWindow* window() const { return window_; }

private:
    ToolWindow* window_;
    std::atomic<std::uint64_t> next_{1};
};

template <class Base = ToolSink>
class UiSink : public Base {
public:
    explicit UiSink(ToolWindow* window) : fwd_(window) {}
    void log(const std::string& line) override { fwd_.log(line); }
    void beep() override { fwd_.beep(); }
    std::uint64_t addReplaceableLine(const std::string& line) override { return fwd_.addReplaceableLine(line); }
    void replaceLine(std::uint64_t handle, const std::string& line) override { fwd_.replaceLine(handle, line); }
    void status(const std::string& text) override { fwd_.status(text); }
    void progress(std::uint64_t done, std::uint64_t total) override { fwd_.progress(done, total); }

protected:
    SinkForwarder& forwarder() { return fwd_; }

private:
    SinkForwarder fwd_;
};

} // namespace vn
