#pragma once
// Every test runs with VARNELO_HOME pointing at a fresh, empty folder of its own.
#include <filesystem>

namespace vn::test {

// The current test's data folder (created before the test starts, removed after it).
std::filesystem::path testHome();
// A fresh scratch folder below the test's data folder.
std::filesystem::path scratchDir(const char* name);

} // namespace vn::test
