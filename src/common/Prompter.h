#pragma once
// The one seam for questions, messages and input boxes. Engines ask through it
// from their worker thread (the call blocks until the user answers); windows
// ask through it on the UI thread. Tests install a scripted implementation.
#include <optional>
#include <string>
#include <vector>

namespace vn {

inline constexpr const char* kAppTitle = "Varnelo FTP Suite";

class Prompter {
public:
    virtual ~Prompter() = default;
    // Yes/No message box titled kAppTitle; true for Yes. Texts may hold "\r" line breaks.
    virtual bool askYesNo(const std::string& text) = 0;
    // Plain-text message box (server texts are never interpreted as markup).
    virtual void message(const std::string& text) = 0;
    // Input box; nullopt when cancelled.
    virtual std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial) = 0;
    // A question with answers of its own (buttons, the first the default);
    // the index of the one chosen, nullopt when cancelled. By default a
    // Yes/No box whose Yes takes the first answer.
    virtual std::optional<int> choose(const std::string& text, const std::vector<std::string>& answers) {
        if (answers.empty() || !askYesNo(text)) return std::nullopt;
        return 0;
    }
};

} // namespace vn
