#include "monitor/frequency_dialog.h"

#include <climits>
#include <cstdint>

#include "app/session_state.h"
#include "monitor/control_table.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr const char* kFrequencyBox = "编辑框频率";
constexpr const char* kOkButton = "按钮1";

// Full-width forms as their one-byte forms; every other character stays as it is.
Text NarrowFullWidth(const Text& text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLeadByte(text[i]) || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    ++i;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out += static_cast<char>(trail & 0x7F);
    } else if (lead == 0xA1 && trail == 0xA1) {
      out += ' ';
    } else if (lead == 0xA1 && trail == 0xAB) {
      out += '~';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out += '*';
    } else {
      out += static_cast<char>(lead);
      out += static_cast<char>(trail);
    }
  }
  return out;
}

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void Ok(Window& dialog) {
  const Text t = dialog.GetText(kFrequencyBox);
  if (t.empty()) {
    Ui().ShowMessage(Gbk(texts::kFillInFrequency));
    return;
  }
  Session().pollIntervalMs = IntegerValue(t);
  dialog.Destroy();
}

}  // namespace

int IntegerValue(const Text& text) {
  const Text t = NarrowFullWidth(text);
  std::size_t i = 0;
  while (i < t.size() && IsWhiteSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  // Counted in the magnitude of INT_MIN, so the clamp needs no wider type than 64 bits.
  constexpr std::int64_t kLimit = -static_cast<std::int64_t>(INT_MIN);
  std::int64_t magnitude = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (t[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

WindowDef FrequencyDialogDefinition() {
  WindowDef def;
  def.id = "FrequencyDialog";
  def.title = std::string(texts::kFrequencyTitle);
  def.width = 262;
  def.height = 68;
  def.closeBox = false;
  def.minimizeBox = false;

  using enum ControlKind;
  ControlDef box = ControlRow(kEdit, kFrequencyBox, 72, 8, 104, 24);
  box.integerOnly = true;
  def.controls = {
      ControlRow(kLabel, "透明标签1", 8, 8, 56, 24, texts::kFrequencyLabel),
      box,
      ControlRow(kLabel, "透明标签2", 176, 8, 24, 24, texts::kMilliseconds),
      ControlRow(kButton, kOkButton, 208, 8, 40, 24, texts::kOk),
  };
  def.handlers[{kOkButton, Event::kClicked}] = Ok;
  return def;
}

}  // namespace lumirack
