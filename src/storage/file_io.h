#pragma once

// Whole-file reads and the one way files are written: into a temporary file in the same folder,
// flushed to disk and renamed over the old one, so a failed write leaves the old file whole.

#include <filesystem>
#include <optional>
#include <string_view>

#include "support/text.h"

namespace lumirack {

// The file's bytes (NUL bytes included), or nothing when it cannot be read (missing, a folder).
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file's content by `bytes`. A new file gets 0666 less the umask, a replaced one
// keeps its permission bits. False when anything failed; then the old file is untouched and no
// temporary file is left.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Makes one folder level; false when it was not made (it exists, or its parent is missing).
bool MakeFolder(const std::filesystem::path& path);

}  // namespace lumirack
