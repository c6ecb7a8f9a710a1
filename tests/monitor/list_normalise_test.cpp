#include "monitor/list_normalise.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/headless.h"

namespace lumirack {
namespace {

Text ManyEntries(int count) {
  Text list;
  for (int i = 0; i < count; ++i) list += std::to_string(1000000 + i) + "\r\n";
  return list;
}

TEST(NormaliseList, EndsTheLastEntryWithCrLfAndChangesNothingElse) {
  struct Case {
    const char* name;
    Text list;
    Text expected;
  };
  const Text longEntry(300, '7');
  const Text longList = ManyEntries(7000);  // over 50,000 bytes
  const Case cases[] = {
      {"empty box", "", ""},
      {"one entry", "222", "222\r\n"},
      {"two entries", "111\r\n222", "111\r\n222\r\n"},
      {"already ends with CR LF", "111\r\n222\r\n", "111\r\n222\r\n"},
      {"ends with a line of spaces", "111\r\n  \xA1\xA1", "111\r\n  \xA1\xA1"},
      {"trailing spaces move to a new last line", "111\r\n222 \xA1\xA1 ",
       "111\r\n222\r\n \xA1\xA1 "},
      {"earlier entry equal to the last", "222\r\n222", "222\r\n222\r\n"},
      {"earlier entry containing the last", "12223\r\n222", "12223\r\n222\r\n"},
      {"earlier entry differing in case", "ABC\r\nabc", "ABC\r\nabc\r\n"},
      {"last line over 255 bytes", "1\r\n" + longEntry, "1\r\n" + longEntry + "\r\n"},
      {"list over 50,000 bytes", longList + "99", longList + "99\r\n"},
      // B0 A1 is one character; the A1 A1 after it is the space, not its trail byte.
      {"two-byte character before a full-width space", "x\r\n\xB0\xA1\xA1\xA1",
       "x\r\n\xB0\xA1\r\n\xA1\xA1"},
      {"two-byte character ending in A1 is no space", "\xB0\xA1", "\xB0\xA1\r\n"},
      {"lone LF is inside the last line", "1\n2", "1\n2\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseList(c.list), c.expected) << c.name;
}

TEST(NormaliseList, BoxIsWrittenOnlyWhenItChanges) {
  HeadlessToolkit ui;
  WindowDef def;
  def.id = "W";
  ControlDef box;
  box.kind = ControlKind::kEdit;
  box.name = "列表";
  box.multiLine = true;
  def.controls = {box};
  Window* w = ui.Load(def, false);

  w->SetText("列表", "1\r\n2");
  NormaliseListBox(*w, "列表");
  EXPECT_EQ(w->GetText("列表"), "1\r\n2\r\n");
  EXPECT_EQ(w->LineCount("列表"), 3);
  NormaliseListBox(*w, "列表");
  EXPECT_EQ(w->GetText("列表"), "1\r\n2\r\n");
}

}  // namespace
}  // namespace lumirack
