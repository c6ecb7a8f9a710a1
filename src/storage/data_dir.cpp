#include "storage/data_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace lumirack {
namespace {

std::optional<std::filesystem::path> overrideFolder;

std::filesystem::path HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

std::filesystem::path FallbackDataDirectory() {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    base = HomeDirectory() / ".local" / "share";
  }
  std::filesystem::path folder = base / "lumirack";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder;
}

std::filesystem::path DataDirectory() {
  if (overrideFolder) return *overrideFolder;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path folder = program.parent_path();
    if (!folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0) return folder;
  }
  return FallbackDataDirectory();
}

void SetDataDirectory(std::optional<std::filesystem::path> folder) {
  overrideFolder = std::move(folder);
}

}  // namespace lumirack
