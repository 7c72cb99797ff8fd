#pragma once
// Visited-host history: one section of "varnelo.ini" per tool, "1" the newest
// of at most five shown entries, "Total" their count, "6" the entry last pushed
// out. Read from and written to the file at every call, so every window sees
// every other window's additions.
#include <string>
#include <vector>

#include "common/IniFile.h"

namespace vn {

class History {
public:
    History(IniFile& ini, std::string section);

    void AfegirComAVisitat(const std::string& host);
    // Entries "1" .. "Total", newest first (what the submenu shows).
    std::vector<std::string> entries() const;

private:
    // "Total" clamped into 0 .. 5.
    long long total() const;

    IniFile& ini_;
    std::string section_;
};

} // namespace vn
