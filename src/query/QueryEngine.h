#pragma once
// The one client behind the Finger, Whois, Daytime and Time windows: one
// connection to host and port, at most one query line out, everything the
// server sends in until it closes (or the 4-byte time value), then close.
//
// A window owns one engine, its EventWait and a worker thread. On the UI
// thread it calls begin() when the user confirms a query, then runs run() on
// the worker; Cancel and closing the window call abort() from any thread,
// which ends a look-up, a connect or a silent server at once. There is no
// time-out: a query waits until the peer answers, fails or the user aborts.
//
// What the user sees comes out in this order: status texts through the sink
// ("Creating socket...", "Looking for the host..." for a name, "Connecting...",
// "Connected...", and "Not Connected." at the end of every query), each piece
// of the reply as it arrives, message boxes through the Prompter (socket
// errors, the clock's outcome) and the end-of-operation beep.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Prompter.h"
#include "common/ToolSink.h"
#include "platform/EventWait.h"
#include "platform/Outcome.h"
#include "query/ClockSetter.h"
#include "query/QueryProfile.h"
#include "query/TimeProtocol.h"

namespace vn {

class History;
class Socket;

class QuerySink : public ToolSink {
public:
    // One piece of the reply, exactly the bytes one receive gave (zero bytes
    // included). The window appends it as a new line (see replyLines()).
    virtual void reply(const std::string& piece) { log(piece); }
    // Time: the server's value has arrived; the window shows reading.text()
    // (or its own formatting of reading.local + reading.zoneText).
    virtual void serverTime(const TimeReading& /*reading*/) {}
};

struct QueryRequest {
    std::string host;         // as typed: a dotted address when it starts with a digit, else a name
    std::string query;        // Finger: the user; Whois: the command line; unused by Daytime and Time
    int port = 0;             // 0: the tool's default
    bool synchronise = false; // Time: set the system clock from the answer
};

struct QueryResult {
    // Done: the exchange ran to its end (the peer closed after its reply, or
    // the time value was read). Aborted: the user's Cancel. Failed: refused,
    // a socket error, or a short time value; `error` holds the message shown.
    Outcome outcome = Outcome::Failed;
    bool refused = false;   // nothing was done: the host was empty
    bool connected = false; // a connection stood and the host went into the history
    std::string error;
    std::uint64_t received = 0;      // reply bytes handed to the sink
    std::optional<TimeReading> time; // Time: the value read
    bool clockSet = false;           // the system accepted the new time
    int clockError = 0;              // the setter's error number when it did not
};

class QueryEngine {
public:
    QueryEngine(QueryKind kind, EventWait& wait, QuerySink& sink, Prompter& prompter);

    const QueryProfile& profile() const { return profile_; }

    // The tool's visited-host history: a host goes in once it is connected.
    void setHistory(History* history) { history_ = history; }
    // Time: what sets the clock when a query synchronises (none: the clock
    // is reported as not set).
    void setClockSetter(ClockSetter* setter) { clock_ = setter; }
    // The local zone at a moment; systemZoneBias unless replaced (tests).
    void setZoneSource(std::function<ZoneBias(std::time_t)> source);

    // A host a query can start with: not empty, not only blanks. The window
    // keeps its OK button off otherwise; run() refuses it too.
    static bool hostAcceptable(std::string_view host);

    // UI thread, when the user confirms: a fresh cancel token for the query.
    CancelTokenPtr begin() { return wait_.beginOperation(); }
    // Worker: the whole query, connect sequence, exchange and end steps, under
    // the token of the last begin().
    QueryResult run(const QueryRequest& request);
    // Any thread: ends the running query at once (Cancel, closing the window).
    void abort() { wait_.abort(); }

private:
    bool connect(const QueryRequest& request, Socket& socket, QueryResult& result);
    void sendLine(Socket& socket, const std::string& query, QueryResult& result);
    // Waits until the socket can be read: false with `result` set when the
    // wait ended otherwise; a socket error it saw is kept in `pending`.
    bool waitToRead(Socket& socket, QueryResult& result, int& pending);
    void readAll(Socket& socket, QueryResult& result);
    void readTime(Socket& socket, bool synchronise, QueryResult& result);
    void synchronise(const TimeReading& reading, std::int64_t elapsedMs, QueryResult& result);
    // The message box, remembered in the result.
    void fail(QueryResult& result, const std::string& message);
    // A failed step of the connect sequence: close, "Not Connected.", beep.
    bool connectFailed(Socket& socket, QueryResult& result, Outcome outcome);

    const QueryProfile& profile_;
    EventWait& wait_;
    QuerySink& sink_;
    Prompter& prompter_;
    History* history_ = nullptr;
    ClockSetter* clock_ = nullptr;
    std::function<ZoneBias(std::time_t)> zone_;
    // A socket error that arrived with the connect, reported after the reading.
    int carried_ = 0;
};

// The lines a reply piece shows as: split at CR LF, LF or a lone CR; a line
// break at the very end starts no further line. Zero bytes stay in the text.
std::vector<std::string> replyLines(std::string_view piece);

} // namespace vn
