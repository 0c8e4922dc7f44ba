#include "platform/linux/xkb_keys.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace mokta::xkb {
namespace {

// Linux input codes of some positions, named by their US key.
constexpr xkb_keycode_t kKeyA = 30 + 8;
constexpr xkb_keycode_t kKeyQ = 16 + 8;
constexpr xkb_keycode_t kKeyM = 50 + 8;
constexpr xkb_keycode_t kKeySemicolon = 39 + 8;
constexpr xkb_keycode_t kKeyGrave = 41 + 8;
constexpr xkb_keycode_t kKeyEqual = 13 + 8;
constexpr xkb_keycode_t kKeyLeftShift = 42 + 8;
constexpr xkb_keycode_t kKeyRightCtrl = 97 + 8;

struct KeymapDeleter {
  void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

Keymap Compile(const char* layout, const char* variant = "") {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names{"evdev", "pc105", layout, variant, ""};
  Keymap keymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  xkb_context_unref(context);
  return keymap;
}

// Every numbered key is found again by its code: no two keys share one.
void ExpectOneKeyPerCode(xkb_keymap* keymap) {
  std::set<std::uint32_t> seen;
  for (xkb_keycode_t k = 9; k < 9 + 128; ++k) {
    const std::uint32_t vk = VirtualKeyForKeycode(keymap, 0, k);
    if (vk == 0) continue;
    EXPECT_TRUE(seen.insert(vk).second) << "code 0x" << std::hex << vk << " twice";
    EXPECT_EQ(KeycodeForVirtualKey(keymap, 0, vk), k) << "code 0x" << std::hex << vk;
  }
}

TEST(XkbKeys, ScanCodesAreTheInputCodesOfTheTablePositions) {
  EXPECT_EQ(ScanCodeForKeycode(kKeyA), 0x1Eu);
  EXPECT_EQ(ScanCodeForKeycode(88 + 8), 0x58u);  // F12
  EXPECT_EQ(ScanCodeForKeycode(kKeyRightCtrl), 0u);
  EXPECT_EQ(ScanCodeForKeycode(0), 0u);
  EXPECT_EQ(ScanCodeForKeycode(8), 0u);
  EXPECT_EQ(KeycodeForScanCode(0x10), kKeyQ);
  EXPECT_EQ(KeycodeForScanCode(0), XKB_KEYCODE_INVALID);
  EXPECT_EQ(KeycodeForScanCode(0x54), XKB_KEYCODE_INVALID);
  EXPECT_EQ(KeycodeForScanCode(0xE01D), XKB_KEYCODE_INVALID);
}

TEST(XkbKeys, UsKeysCarryTheirUsCodes) {
  const Keymap us = Compile("us");
  ASSERT_TRUE(us);
  EXPECT_EQ(VirtualKeyForKeycode(us.get(), 0, kKeyA), 0x41u);
  EXPECT_EQ(VirtualKeyForKeycode(us.get(), 0, kKeySemicolon), 0xBAu);
  EXPECT_EQ(VirtualKeyForKeycode(us.get(), 0, kKeyLeftShift), 0xA0u);
  EXPECT_EQ(VirtualKeyForKeycode(us.get(), 0, kKeyRightCtrl), 0xA3u);
  EXPECT_EQ(VirtualKeyForKeycode(us.get(), 0, 300), 0u);
  EXPECT_EQ(KeycodeForVirtualKey(us.get(), 0, 0x10), XKB_KEYCODE_INVALID);
  EXPECT_EQ(UnmodifiedText(us.get(), 0, kKeyA), "a");
  EXPECT_EQ(UnmodifiedText(us.get(), 0, 28 + 8), "");  // Enter types no shown text
  EXPECT_EQ(UnmodifiedText(us.get(), 0, kKeyLeftShift), "");
  ExpectOneKeyPerCode(us.get());
}

TEST(XkbKeys, LettersFollowTheLayoutAndDisplacedKeysTakeTheCodesLeftBehind) {
  const Keymap fr = Compile("fr");
  ASSERT_TRUE(fr);
  EXPECT_EQ(VirtualKeyForKeycode(fr.get(), 0, kKeyQ), 'A');
  EXPECT_EQ(VirtualKeyForKeycode(fr.get(), 0, kKeyA), 'Q');
  EXPECT_EQ(VirtualKeyForKeycode(fr.get(), 0, kKeySemicolon), 'M');
  EXPECT_EQ(KeycodeForVirtualKey(fr.get(), 0, 'M'), kKeySemicolon);
  // The US M position types ',' and takes the code the 'm' key left behind.
  EXPECT_EQ(VirtualKeyForKeycode(fr.get(), 0, kKeyM), 0xBAu);
  EXPECT_EQ(UnmodifiedText(fr.get(), 0, kKeyM), ",");
  ExpectOneKeyPerCode(fr.get());
}

TEST(XkbKeys, DeadKeysShowTheirSpacingAccent) {
  const Keymap de = Compile("de");
  ASSERT_TRUE(de);
  EXPECT_EQ(UnmodifiedText(de.get(), 0, kKeyGrave), "^");
  EXPECT_EQ(UnmodifiedText(de.get(), 0, kKeyEqual), "\u00B4");
  ExpectOneKeyPerCode(de.get());
}

TEST(XkbKeys, PositionsWithoutLatinLettersKeepTheirUsCodes) {
  const Keymap ru = Compile("ru");
  ASSERT_TRUE(ru);
  EXPECT_EQ(VirtualKeyForKeycode(ru.get(), 0, kKeyA), 0x41u);
  EXPECT_EQ(UnmodifiedText(ru.get(), 0, kKeyA), "\u0444");
  ExpectOneKeyPerCode(ru.get());
}

TEST(XkbKeys, ASecondGroupIsNumberedByItsOwnLetters) {
  const Keymap us_fr = Compile("us,fr");
  ASSERT_TRUE(us_fr);
  EXPECT_EQ(VirtualKeyForKeycode(us_fr.get(), 0, kKeyQ), 'Q');
  EXPECT_EQ(VirtualKeyForKeycode(us_fr.get(), 1, kKeyQ), 'A');
}

TEST(XkbKeys, NoKeymapNumbersNothing) {
  EXPECT_EQ(VirtualKeyForKeycode(nullptr, 0, kKeyA), 0u);
  EXPECT_EQ(KeycodeForVirtualKey(nullptr, 0, 'A'), XKB_KEYCODE_INVALID);
  EXPECT_EQ(UnmodifiedText(nullptr, 0, kKeyA), "");
}

}  // namespace
}  // namespace mokta::xkb
