#pragma once
// The folder that holds every file the suite keeps ("varnelo.ini", "siteman.dat",
// "rest.ini", "copy.dat", "TEMP", ...): $VARNELO_HOME, else
// $XDG_CONFIG_HOME/varnelo, else ~/.config/varnelo. Created (0700) on first use.
#include <filesystem>
#include <string_view>

namespace vn {

std::filesystem::path dataFolder();
// dataFolder() / name
std::filesystem::path dataFile(std::string_view name);
// dataFile("varnelo.ini")
std::filesystem::path configFile();

} // namespace vn
