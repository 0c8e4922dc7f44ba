// The settings page's rules: typed DPI to stage codes, the lighting rows, label texts, and
// the colour dialog's typed components.

#include "ui/page_rules.h"

#include <gtest/gtest.h>

#include "data/profile_data.h"

namespace mokta {
namespace {

TEST(DpiTextToCode, ClampsAndRoundsDownToAStage) {
  struct Case {
    const char* typed;
    int code;
    int shown;
  };
  for (const Case& c : {Case{"12345", 223, 12300}, Case{"75", 1, 50}, Case{"10050", 200, 10000},
                        Case{"30000", 320, 22000}, Case{"", 1, 50}, Case{"22000", 320, 22000},
                        Case{"10000", 200, 10000}, Case{"800abc", 16, 800},
                        Case{"99999999999999999999", 320, 22000}}) {
    const std::int32_t code = DpiTextToCode(QString::fromLatin1(c.typed));
    EXPECT_EQ(code, c.code) << c.typed;
    EXPECT_EQ(DpiCodeToValue(code), c.shown) << c.typed;
  }
}

TEST(LightingRows, FollowTheEffect) {
  EXPECT_EQ(LightingRowsFor(1), (LightingRows{true, false, true}));
  EXPECT_EQ(LightingRowsFor(2), (LightingRows{false, true, true}));
  EXPECT_EQ(LightingRowsFor(3), (LightingRows{false, true, false}));
  EXPECT_EQ(LightingRowsFor(11), (LightingRows{false, true, false}));
  for (int effect : {0, 12, -1, 9999}) EXPECT_EQ(LightingRowsFor(effect), LightingRows{});
}

TEST(PageLabels, TimersAndDebounce) {
  const MapLanguageTexts language({{"sleep_timer_1_text", "Lights off after "},
                                   {"sleep_timer_2_text", "min"},
                                   {"sleep_timer_3_text", "Sleep after "}});
  EXPECT_EQ(SleepTimerText(10, language), "Sleep after 10 min");
  EXPECT_EQ(LightOffText(3, language), "Lights off after 1.5 min");
  EXPECT_EQ(KeyDebounceText(4), "8 MS");
}

TEST(ColorComponentFromText, ReadsDecimalAndPutsOutOfRangeTextRight) {
  struct Case {
    const char* typed;
    int value;
    const char* replacement;  // null: the text stays
  };
  for (const Case& c : {Case{"0", 0, nullptr}, Case{"255", 255, nullptr}, Case{"007", 7, nullptr},
                        Case{"256", 255, "255"}, Case{"300", 255, "255"}, Case{"-1", 0, "0"},
                        Case{"-0", 0, nullptr}, Case{"", 0, nullptr}, Case{"-", 0, nullptr},
                        Case{"99999999999999999999", 255, "255"},
                        Case{"-99999999999999999999", 0, "0"}, Case{"1x", 0, nullptr}}) {
    const ColorComponentInput input = ColorComponentFromText(QString::fromLatin1(c.typed));
    EXPECT_EQ(input.value, c.value) << c.typed;
    EXPECT_EQ(input.replacement.has_value(), c.replacement != nullptr) << c.typed;
    if (input.replacement && c.replacement) {
      EXPECT_EQ(*input.replacement, c.replacement);
    }
  }
  EXPECT_EQ(WithColorComponent(0x00123456u, 0, 0xAB), 0xFFAB3456u);
  EXPECT_EQ(WithColorComponent(0xFF123456u, 1, 300), 0xFF12FF56u);
  EXPECT_EQ(WithColorComponent(0xFF123456u, 2, 0), 0xFF123400u);
}

}  // namespace
}  // namespace mokta
