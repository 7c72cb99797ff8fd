#pragma once
// The four query tools are one client configured four ways: what it sends
// (the query line, or nothing), what it reads (everything until the peer
// closes, or the 4-byte time value), its default port and the files and
// sections it keeps its settings in.
#include <filesystem>
#include <string>
#include <string_view>

namespace vn {

enum class QueryKind { Finger, Whois, DayTime, Time };

enum class QueryExchange {
    SendLine,    // the query + CR LF, then read until the peer closes
    ReadAll,     // send nothing, read until the peer closes
    ReadTime     // send nothing, read the 4-byte time value
};

struct QueryProfile {
    QueryKind kind;
    // Section of "varnelo.ini" for DisableThinking and the visited-host
    // history, and the section of the tool's own port file.
    std::string_view section;
    std::string_view portFile; // in the data folder
    int defaultPort;
    QueryExchange exchange;
    // Daytime and Time end their socket error message with ". Service not available."
    bool serviceSuffix;
};

const QueryProfile& queryProfile(QueryKind kind);

// Status texts, in the order a query shows them.
inline constexpr const char* kStatusNotConnected = "Not Connected.";
inline constexpr const char* kStatusCreatingSocket = "Creating socket...";
inline constexpr const char* kStatusLookingForHost = "Looking for the host...";
inline constexpr const char* kStatusConnecting = "Connecting...";
inline constexpr const char* kStatusConnected = "Connected...";

// The Time window's server result text until a query has succeeded.
inline constexpr const char* kTimeNotConnected = "Not Connected...";
inline constexpr const char* kClockSynchronised = "System Time has been synchronized successfully.";
inline constexpr const char* kClockNotSet = "Error setting system time...";

// The port of a tool: key "Port" in its own file. Read at window creation,
// written when the port box is left.
std::filesystem::path queryPortFile(const QueryProfile& p);
// A missing, unreadable or out-of-range (not 1..65535) value gives the default.
int loadQueryPort(const QueryProfile& p, const std::filesystem::path& file);
// The port box's rule: a value below 1 (or above 65535) becomes the default.
// Returns the value applied; it is written to the file.
int storeQueryPort(const QueryProfile& p, const std::filesystem::path& file, long long typed);

// "ERROR 111 while reading." (+ ". Service not available." for Daytime and Time)
std::string socketErrorText(const QueryProfile& p, int code, std::string_view eventText);

} // namespace vn
