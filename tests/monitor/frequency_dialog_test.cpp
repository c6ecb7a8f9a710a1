#include "monitor/frequency_dialog.h"

#include <gtest/gtest.h>

#include <climits>

#include "app/session_state.h"
#include "support/charset.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

TEST(IntegerValue, ReadsTheLeadingIntegerAsTheDialogTakesIt) {
  struct Case {
    const char* name;
    Text text;
    int value;
  };
  const Case cases[] = {
      {"zero", "0", 0},
      {"plain", "1000", 1000},
      {"full-width digits", "\xA3\xB1\xA3\xB0\xA3\xB0\xA3\xB0", 1000},
      {"full-width minus and digit", "\xA3\xAD\xA3\xB5", -5},
      {"full-width space skipped",
       "\xA1\xA1"
       "42",
       42},
      {"leading white space", " \t\r\n7", 7},
      {"digits then letters", "12abc", 12},
      {"lone minus", "-", 0},
      {"negative", "-100", -100},
      {"plus sign", "+8", 8},
      {"no digits", "abc", 0},
      {"empty", "", 0},
      {"space between sign and digits", "- 5", 0},
      {"other two-byte character stops",
       "3\xB0\xA1"
       "4",
       3},
      {"largest", "2147483647", INT_MAX},
      {"smallest", "-2147483648", INT_MIN},
      {"just beyond the top clamps", "2147483648", INT_MAX},
      {"far beyond the top clamps", "99999999999999999999999", INT_MAX},
      {"far beyond the bottom clamps", "-99999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(IntegerValue(c.text), c.value) << c.name;
}

class FrequencyDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session() = SessionState{};
    SetUi(&ui);
    dialog = static_cast<HeadlessWindow*>(ui.Load(FrequencyDialogDefinition(), false));
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unknownControls().empty());
    SetUi(nullptr);
  }

  HeadlessToolkit ui;
  HeadlessWindow* dialog = nullptr;
};

TEST_F(FrequencyDialogTest, EmptyBoxIsRefusedAndTheDialogStays) {
  Session().pollIntervalMs = 5000;
  ui.Click(*dialog, "按钮1");
  EXPECT_EQ(ui.messages(), std::vector<Text>{Gbk(texts::kFillInFrequency)});
  EXPECT_EQ(ui.Find("FrequencyDialog"), dialog);
  EXPECT_EQ(Session().pollIntervalMs, 5000);
}

TEST_F(FrequencyDialogTest, OkStoresTheValueAndCloses) {
  ui.Type(*dialog, "编辑框频率", "1a0-0");
  ui.Click(*dialog, "按钮1");
  EXPECT_EQ(Session().pollIntervalMs, 10);
  EXPECT_EQ(ui.Find("FrequencyDialog"), nullptr);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(FrequencyDialogTest, EscStoresNothing) {
  Session().pollIntervalMs = 5000;
  ui.Type(*dialog, "编辑框频率", "20");
  ui.Escape(*dialog);
  EXPECT_EQ(Session().pollIntervalMs, 5000);
  EXPECT_EQ(ui.Find("FrequencyDialog"), nullptr);
}

}  // namespace
}  // namespace lumirack
