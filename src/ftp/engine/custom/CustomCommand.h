#pragma once
// Commands the user sends to the current server: a stored custom command,
// whose text may ask for parameters ("%[prompt]") and name each selected file
// ("%f"), and the quick command, sent as typed. Each line is sent on the
// session's control connection and its reply read to the final line; the
// reply's other lines are shown in a message box. Runs on the window's worker.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"

namespace vn {

// A command text split into its pieces.
struct CommandPiece {
    enum class Kind { Text, Prompt, File };
    Kind kind;
    std::string text; // the characters (Text) or the question's name (Prompt)
};

struct ParsedCommand {
    bool ok = false;                 // false: "%" not followed by "f" or "[...]"
    std::vector<CommandPiece> pieces;
    bool perFile() const;            // holds "%f": sent once per selected item
};

// "%[" + prompt + "]" asks, "%f" is a file name, any other "%" is a format error.
ParsedCommand parseCommand(std::string_view text);

// The reply to one command, read to its final line.
struct CommandReply {
    std::vector<std::string> others; // the lines before the final one
    std::string last;                // the final line
    bool complete = false;           // false: cancelled, timed out or the connection ended
    Outcome outcome = Outcome::Failed;
};

class CustomCommand {
public:
    static constexpr const char* kFormatError = "The sentence has an incorrect format";
    static constexpr const char* kParameterCaption = "Custom Command Parameter";
    static constexpr std::size_t kMaxReplyLines = 10000; // lines kept of one reply

    enum class End {
        Done,        // every line sent and answered; the message box was shown
        Nothing,     // an empty quick command, or "%f" with no item selected: nothing sent
        FormatError, // the text is malformed; nothing was asked or sent
        Refused,     // a line held CR or LF; it was not sent, nor anything after it
        NoSession,   // the session is gone
        Failed,      // a send failed or the reply did not come (cancel, time-out, close)
    };
    struct Result {
        End end = End::Failed;
        int sent = 0;     // lines sent
        std::string shown; // the message box's text (Done)
    };

    CustomCommand(FtpEngine& engine, Prompter& prompter) : engine_(engine), prompter_(prompter) {}

    // A stored command on session `id`. With "%f" it runs once per name of
    // `selected` (the selected list items, in list order), asking its
    // questions again for each; without, once.
    Result run(SessionId id, const std::string& text, const std::vector<std::string>& selected);
    // A typed command, sent as it stands (no placeholders).
    Result quick(SessionId id, const std::string& line);

    // The question for a "%[prompt]".
    static std::string question(const std::string& prompt) { return "&Please enter '" + prompt + "':"; }
    // What the message box shows for a reply: the lines before the final one,
    // one per line ("\r" between them); the final line when there are none.
    static std::string shownText(const CommandReply& reply);

    // Reads the reply on a session's control connection: lines up to the
    // final one (first character "1" to "5", fourth not "-"); once a line
    // "xyz-" opened a multi-line reply, only "xyz " (or "xyz" alone) ends it.
    // Ends, incomplete, on a cancel, a time-out or the end of the connection.
    static CommandReply readReply(ControlConnection& c);

private:
    // Sends one line and reads its reply; false when the command must stop.
    bool exchange(SessionId id, const std::string& line, CommandReply& reply, Result& result);
    void log(const std::string& line) { engine_.sink().log(line); }

    FtpEngine& engine_;
    Prompter& prompter_;
};

} // namespace vn
