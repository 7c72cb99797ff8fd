#pragma once
// The stored custom commands: section [Commands] of "varnelo.ini", "Total"
// and one key per command ("0" to Total - 1) in the editor's sorted order.
#include <string>
#include <vector>

#include "common/IniFile.h"

namespace vn {

class CommandStore {
public:
    // The five commands offered while nothing is stored, in menu order.
    static std::vector<std::string> defaults();
    // The stored commands as they stand (empty when Total is 0 or missing).
    static std::vector<std::string> read(const IniFile& ini);
    // What the Custom Commands menu lists: the stored commands, else the defaults.
    static std::vector<std::string> menuEntries(const IniFile& ini);
    // The editor's list: the stored commands; when none are stored, the
    // defaults, sorted and stored at once.
    static std::vector<std::string> loadForEditor(IniFile& ini);
    // Replaces the stored commands: "Total" and keys "0".."N-1"; keys left
    // over from a longer list go. False when the file could not be written.
    static bool write(IniFile& ini, const std::vector<std::string>& commands);
    // The editor's order: alphabetical, ignoring case (ASCII), stable.
    static void sort(std::vector<std::string>& commands);

    static constexpr int kMaxCommands = 10000; // a larger Total is taken as this
};

} // namespace vn
