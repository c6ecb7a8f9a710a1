#pragma once

// Where the pointer file, the profile folders and the run logs live.

#include <filesystem>
#include <optional>

namespace lumirack {

// The program's own folder (of /proc/self/exe) when it can be written, so a copied folder
// travels with its settings; else FallbackDataDirectory(). Computed on each call unless a test
// has set one.
std::filesystem::path DataDirectory();

// $XDG_DATA_HOME/lumirack, or ~/.local/share/lumirack when that variable is unset, empty or
// not an absolute path; created when missing (a failure to create it is left to the writes).
std::filesystem::path FallbackDataDirectory();

// For tests: the folder DataDirectory() gives from now on; nullopt returns to the rule above.
void SetDataDirectory(std::optional<std::filesystem::path> folder);

}  // namespace lumirack
