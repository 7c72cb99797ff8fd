#include "ftp/engine/custom/CustomCommand.h"

#include <cctype>

namespace vn {

namespace {

bool digit3(const std::string& s) {
    return s.size() >= 3 && std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::isdigit(static_cast<unsigned char>(s[1])) && std::isdigit(static_cast<unsigned char>(s[2]));
}

} // namespace

bool ParsedCommand::perFile() const {
    for (const auto& p : pieces)
        if (p.kind == CommandPiece::Kind::File) return true;
    return false;
}

ParsedCommand parseCommand(std::string_view text) {
    ParsedCommand out;
    std::string literal;
    auto flush = [&] {
        if (!literal.empty()) out.pieces.push_back({CommandPiece::Kind::Text, std::move(literal)});
        literal.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            literal.push_back(text[i]);
            continue;
        }
        if (i + 1 >= text.size()) return {};
        if (text[i + 1] == 'f') {
            flush();
            out.pieces.push_back({CommandPiece::Kind::File, {}});
            ++i;
        } else if (text[i + 1] == '[') {
            const std::size_t close = text.find(']', i + 2);
            if (close == std::string_view::npos) return {};
            flush();
            out.pieces.push_back({CommandPiece::Kind::Prompt, std::string(text.substr(i + 2, close - i - 2))});
            i = close;
        } else {
            return {};
        }
    }
    flush();
    out.ok = true;
    return out;
}

std::string CustomCommand::shownText(const CommandReply& reply) {
    if (reply.others.empty()) return reply.last;
    std::string s;
    for (const auto& l : reply.others) {
        if (!s.empty()) s += '\r';
        s += l;
    }
    return s;
}

CommandReply CustomCommand::readReply(ControlConnection& c) {
    CommandReply r;
    std::string code; // set once a "xyz-" line opened a multi-line reply
    for (;;) {
        std::string line;
        // Every read waits for the socket: a cancel, a time-out or the end
        // of the connection ends it, never a spin.
        if (!c.LlegirLinia(line)) {
            r.outcome = c.lastOutcome();
            return r;
        }
        bool final = false;
        if (!code.empty()) {
            final = line.compare(0, 3, code) == 0 && (line.size() == 3 || line[3] == ' ');
        } else if (digit3(line) && line.size() >= 4 && line[3] == '-') {
            code = line.substr(0, 3);
        } else {
            final = !line.empty() && line[0] >= '1' && line[0] <= '5' && !(line.size() >= 4 && line[3] == '-');
        }
        if (final) {
            r.last = std::move(line);
            r.complete = true;
            r.outcome = Outcome::Done;
            return r;
        }
        if (r.others.size() < kMaxReplyLines) r.others.push_back(std::move(line));
    }
}

bool CustomCommand::exchange(SessionId id, const std::string& line, CommandReply& reply, Result& result) {
    ControlConnection* c = engine_.connection(id);
    if (!c) {
        result.end = End::NoSession;
        return false;
    }
    // A line break would end the command early and start another one.
    if (hasLineBreak(line)) {
        log(">ERROR: Line breaks are not allowed in a command; nothing was sent.");
        engine_.sink().beep();
        result.end = End::Refused;
        return false;
    }
    // Leftovers of an earlier reply (one an Abort left unread) would be taken for this one's.
    c->drain();
    if (!engine_.sendCommand(id, line)) {
        result.end = End::Failed;
        return false;
    }
    ++result.sent;
    log(">" + line);
    reply = readReply(*c);
    if (!reply.complete) {
        if (reply.outcome == Outcome::Aborted) log("--CANCELED--");
        result.end = End::Failed;
        return false;
    }
    log("--->" + reply.last);
    return true;
}

CustomCommand::Result CustomCommand::run(SessionId id, const std::string& text, const std::vector<std::string>& selected) {
    Result result;
    if (!engine_.connection(id)) {
        result.end = End::NoSession;
        return result;
    }
    // The whole text is checked first: a malformed command asks nothing and sends nothing.
    const ParsedCommand parsed = parseCommand(text);
    if (!parsed.ok) {
        prompter_.message(kFormatError);
        result.end = End::FormatError;
        return result;
    }
    std::vector<const std::string*> files;
    if (parsed.perFile()) {
        for (const auto& name : selected) files.push_back(&name);
        if (files.empty()) {
            // No file to name: nothing goes out.
            engine_.sink().beep();
            result.end = End::Nothing;
            return result;
        }
    } else {
        files.push_back(nullptr);
    }
    CommandReply reply;
    for (const std::string* file : files) {
        std::string line;
        for (const auto& piece : parsed.pieces) {
            switch (piece.kind) {
            case CommandPiece::Kind::Text: line += piece.text; break;
            case CommandPiece::Kind::File: line += *file; break;
            case CommandPiece::Kind::Prompt: {
                auto answer = prompter_.input(kParameterCaption, question(piece.text), "");
                // Abort answers an open question too: then nothing more goes out.
                if (engine_.wait().cancelled()) {
                    log("--CANCELED--");
                    result.end = End::Failed;
                    return result;
                }
                line += answer.value_or("");
                break;
            }
            }
        }
        if (!exchange(id, line, reply, result)) return result;
    }
    result.end = End::Done;
    result.shown = shownText(reply);
    prompter_.message(result.shown);
    return result;
}

CustomCommand::Result CustomCommand::quick(SessionId id, const std::string& line) {
    Result result;
    if (line.empty()) {
        result.end = End::Nothing;
        return result;
    }
    CommandReply reply;
    if (!exchange(id, line, reply, result)) return result;
    result.end = End::Done;
    result.shown = shownText(reply);
    prompter_.message(result.shown);
    return result;
}

} // namespace vn
