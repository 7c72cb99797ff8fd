#pragma once
// "Delete Temporal Files": the resume store "rest.ini", the explorer
// clipboard "copy.dat" and the ".tmp" files (the extension exactly, case
// matters) in the data folder's "TEMP" and in the windows' folders one level
// below it. Only what was really removed is counted.
#include <filesystem>

namespace vn {

int deleteTemporalFiles(const std::filesystem::path& dataFolder);

} // namespace vn
