#pragma once

// The monitor window's boxes with their load and save hooks, on the headless toolkit, over a
// fresh data directory: opening runs LoadProfile, closing runs SaveProfile and SaveRunLog, as
// the real window's handlers do.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/monitor_controls.h"
#include "storage/data_dir.h"
#include "storage/profile.h"
#include "storage/run_log.h"
#include "common/temp_dir.h"
#include "ui/headless.h"

namespace lumirack::testing {

inline WindowDef MonitorBoxes(bool saveOnClose = true) {
  WindowDef def;
  def.id = "MonitorWindow";
  auto edit = [&](std::string_view name, bool multiLine, bool integerOnly = false) {
    ControlDef c;
    c.kind = ControlKind::kEdit;
    c.name = name;
    c.multiLine = multiLine;
    c.integerOnly = integerOnly;
    def.controls.push_back(c);
  };
  edit(monitor::kBlacklistBox, true);
  edit(monitor::kWhitelistBox, true);
  edit(monitor::kGroupBox, false, true);
  edit(monitor::kQuestionBox, false);
  edit(monitor::kAnswerBox, false);
  edit(monitor::kReasonBox, true);
  edit(monitor::kResultsBox, true);
  def.handlers[{"", Event::kCreated}] = [](Window& w) { LoadProfile(w); };
  if (saveOnClose) {
    def.handlers[{"", Event::kClosing}] = [](Window& w) {
      SaveProfile(w);
      SaveRunLog(w);
    };
  }
  return def;
}

// Box name (UTF-8) to its GBK text.
using Boxes = std::map<std::string_view, Text>;

class MonitorFixture : public ::testing::Test {
 public:
  static constexpr std::string_view kProfileBoxes[] = {
      monitor::kGroupBox,  monitor::kQuestionBox,  monitor::kAnswerBox,
      monitor::kReasonBox, monitor::kBlacklistBox, monitor::kWhitelistBox,
  };

 protected:
  MonitorFixture() : data_(sandbox_.path() / "data") {
    std::filesystem::create_directories(data_);
    SetDataDirectory(data_);
  }
  ~MonitorFixture() override { SetDataDirectory(std::nullopt); }

  HeadlessWindow& Open(bool saveOnClose = true) {
    toolkit_.Load(MonitorBoxes(saveOnClose), false);
    return *toolkit_.Find("MonitorWindow");
  }

  // Opens a window, fills the boxes given, closes it.
  void SaveWith(const Boxes& boxes) {
    HeadlessWindow& w = Open();
    for (const std::string_view box : kProfileBoxes) w.SetText(box, {});
    for (const auto& [box, text] : boxes) w.SetText(box, text);
    toolkit_.Escape(w);
  }

  // What a fresh window shows after loading; closing it saves nothing.
  Boxes Reload() {
    HeadlessWindow& w = Open(false);
    Boxes shown;
    for (const std::string_view box : kProfileBoxes) shown[box] = w.GetText(box);
    toolkit_.Escape(w);
    return shown;
  }

  std::filesystem::path Path(std::string_view utf8) const { return data_ / utf8; }
  std::optional<std::string> Read(std::string_view utf8) const { return ReadBytes(Path(utf8)); }

  TempDir sandbox_;
  std::filesystem::path data_;
  HeadlessToolkit toolkit_;
};

}  // namespace lumirack::testing
