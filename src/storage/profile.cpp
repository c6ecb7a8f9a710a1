#include "storage/profile.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "monitor/monitor_controls.h"
#include "storage/data_dir.h"
#include "storage/file_io.h"
#include "storage/ini_file.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

// The keys after "群号", walked in this order together with their boxes.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kTextKeys = {{
    {texts::kQuestionKey, monitor::kQuestionBox},
    {texts::kAnswerKey, monitor::kAnswerBox},
    {texts::kReasonKey, monitor::kReasonBox},
}};

// A profile folder must be one plain name inside the data directory: the group number box lets
// pasted text through, and the pointer file may have been edited by hand.
bool IsPlainFolderName(std::string_view utf8Name) {
  if (utf8Name.empty() || utf8Name == "." || utf8Name == "..") return false;
  for (const char c : utf8Name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// The file's text up to its first NUL, or the empty text when it cannot be read.
Text ReadListFile(const std::filesystem::path& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return {};
  return bytes->substr(0, bytes->find('\0'));
}

void EmptyBoxes(Window& monitor) {
  for (const std::string_view box :
       {monitor::kGroupBox, monitor::kQuestionBox, monitor::kAnswerBox, monitor::kReasonBox,
        monitor::kBlacklistBox, monitor::kWhitelistBox}) {
    monitor.SetText(box, {});
  }
}

}  // namespace

void LoadProfile(Window& monitor) {
  const std::filesystem::path data = DataDirectory();
  const std::filesystem::path pointer = data / texts::kPointerFile;
  std::error_code error;
  if (!std::filesystem::exists(pointer, error)) return;

  const Text folder =
      UnescapeIniValue(ReadIniValue(pointer, Gbk(texts::kPointerSection), Gbk(texts::kPointerKey)));
  // An empty name joins to the data directory itself, as two separators in a row do.
  std::filesystem::path profile = data;
  if (!folder.empty()) {
    const std::string name = AnsiToUtf8(folder);
    if (!IsPlainFolderName(name)) {
      EmptyBoxes(monitor);
      return;
    }
    profile /= name;
  }

  const IniFile settings = IniFile::Load(profile / texts::kSettingsFile);
  const Text section = Gbk(texts::kSettingsSection);
  monitor.SetText(monitor::kGroupBox,
                  UnescapeIniValue(settings.Get(section, Gbk(texts::kGroupKey))));
  for (const auto& [key, box] : kTextKeys) {
    monitor.SetText(box, UnescapeIniValue(settings.Get(section, Gbk(key))));
  }
  monitor.SetText(monitor::kBlacklistBox, ReadListFile(profile / texts::kBlacklistFile));
  monitor.SetText(monitor::kWhitelistBox, ReadListFile(profile / texts::kWhitelistFile));
}

void SaveProfile(Window& monitor) {
  const Text group = monitor.GetText(monitor::kGroupBox);
  const Text folder = group.empty() ? Gbk(texts::kSharedProfile) : group;
  const std::string name = AnsiToUtf8(folder);
  const bool plain = IsPlainFolderName(name);
  const std::filesystem::path data = DataDirectory();
  const std::filesystem::path profile = data / name;

  if (plain) MakeFolder(profile);
  // The pointer names even a folder that cannot be made, so the next start empties the boxes
  // instead of loading an older profile.
  WriteIniValue(data / texts::kPointerFile, Gbk(texts::kPointerSection), Gbk(texts::kPointerKey),
                EscapeIniValue(folder));
  if (!plain) return;

  const std::filesystem::path settingsPath = profile / texts::kSettingsFile;
  IniFile settings = IniFile::Load(settingsPath);
  const Text section = Gbk(texts::kSettingsSection);
  settings.Set(section, Gbk(texts::kGroupKey), EscapeIniValue(group));
  for (const auto& [key, box] : kTextKeys) {
    settings.Set(section, Gbk(key), EscapeIniValue(monitor.GetText(box)));
  }
  // One write for the four keys: they land together or not at all.
  if (settings.Changed()) settings.Save(settingsPath);

  WriteWholeFile(profile / texts::kBlacklistFile, monitor.GetText(monitor::kBlacklistBox));
  WriteWholeFile(profile / texts::kWhitelistFile, monitor.GetText(monitor::kWhitelistBox));
}

}  // namespace lumirack
