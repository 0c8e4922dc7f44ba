#include "platform/linux/xkb_keyboard_layout.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "data/key_tables.h"
#include "platform/system_services.h"

namespace mokta {
namespace {

// Named keys show their language key, so a mix-up between a named and a typed key shows.
class KeyLanguage final : public LanguageTexts {
 public:
  QString Text(const QString& key) const override { return "<" + key + ">"; }
};

std::uint32_t Usage(std::uint32_t vk, const KeyboardLayout& layout) {
  return VirtualKeyToUsage(vk, layout).usage;
}

QString Text(std::uint32_t usage, const KeyboardLayout& layout) {
  static const KeyLanguage language;
  return UsageToKeyText(usage, layout, language);
}

// US usages of some positions.
constexpr std::uint32_t kUsageA = 0x04;
constexpr std::uint32_t kUsageM = 0x10;
constexpr std::uint32_t kUsageQ = 0x14;
constexpr std::uint32_t kUsageY = 0x1C;
constexpr std::uint32_t kUsageZ = 0x1D;
constexpr std::uint32_t kUsageMinus = 0x2D;
constexpr std::uint32_t kUsageEqual = 0x2E;
constexpr std::uint32_t kUsageSemicolon = 0x33;
constexpr std::uint32_t kUsageGrave = 0x35;

TEST(XkbKeyboardLayout, FrenchMovesAQAndM) {
  const XkbKeyboardLayout fr(QStringLiteral("fr"));
  ASSERT_TRUE(fr.valid());
  EXPECT_EQ(Usage('A', fr), kUsageQ);
  EXPECT_EQ(Usage('Q', fr), kUsageA);
  EXPECT_EQ(Usage('M', fr), kUsageSemicolon);
  EXPECT_EQ(Text(kUsageA, fr), "Q");
  EXPECT_EQ(Text(kUsageQ, fr), "A");
  EXPECT_EQ(Text(kUsageSemicolon, fr), "M");
  // The US M position types ','; its key is found again by the code it posts.
  EXPECT_EQ(Text(kUsageM, fr), ",");
  EXPECT_EQ(Usage(fr.KeycodeToVirtualKey(50 + 8), fr), kUsageM);
  EXPECT_EQ(fr.KeycodeToVirtualKey(16 + 8), std::uint32_t{'A'});
}

TEST(XkbKeyboardLayout, GermanSwapsZAndYAndKeepsSharpSAndDeadKeysOneCharacter) {
  const XkbKeyboardLayout de(QStringLiteral("de"));
  ASSERT_TRUE(de.valid());
  EXPECT_EQ(Usage('Z', de), kUsageY);
  EXPECT_EQ(Usage('Y', de), kUsageZ);
  EXPECT_EQ(Text(kUsageY, de), "Z");
  EXPECT_EQ(Text(kUsageMinus, de), QString::fromUtf8("ß"));
  EXPECT_EQ(Text(kUsageGrave, de), "^");
  EXPECT_EQ(Text(kUsageEqual, de), QString::fromUtf8("´"));
}

TEST(XkbKeyboardLayout, RussianKeepsTheUsCodesAndShowsCyrillic) {
  const XkbKeyboardLayout ru(QStringLiteral("ru"));
  ASSERT_TRUE(ru.valid());
  for (std::uint32_t vk = 'A'; vk <= 'Z'; ++vk) {
    EXPECT_EQ(Usage(vk, ru), vk - 'A' + kUsageA) << char(vk);
  }
  EXPECT_EQ(Text(kUsageA, ru), QString::fromUtf8("Ф"));
  EXPECT_EQ(Text(kUsageQ, ru), QString::fromUtf8("Й"));
}

// On US the service answers what the key table's own columns say.
TEST(XkbKeyboardLayout, UsEqualsTheKeyTable) {
  const XkbKeyboardLayout us(QStringLiteral("us"));
  ASSERT_TRUE(us.valid());
  const FixedUsLayout table;
  for (const KeyCodeRow& row : KeyCodeTable) {
    EXPECT_EQ(Usage(row.vk, us), Usage(row.vk, table)) << std::hex << row.vk;
    if (row.scan_code == 0 || row.vk == 0xDF) continue;  // 0xDF: no key posts it
    EXPECT_EQ(us.VirtualKeyToScanCode(row.vk), row.scan_code) << std::hex << row.vk;
    EXPECT_EQ(us.ScanCodeToVirtualKey(row.scan_code), row.vk) << std::hex << row.vk;
    EXPECT_EQ(us.KeycodeToVirtualKey(row.scan_code + 8), row.vk) << std::hex << row.vk;
    // Space types " ", which the table leaves out: it is shown by name anyway.
    if (row.vk == 0x20) continue;
    EXPECT_EQ(us.UnmodifiedText(row.vk, row.scan_code), table.UnmodifiedText(row.vk, 0))
        << std::hex << row.vk;
  }
  for (std::uint32_t usage = 0; usage <= 0xFF; ++usage) {
    EXPECT_EQ(Text(usage, us), Text(usage, table)) << std::hex << usage;
  }
  // Left and right modifiers are told apart by position.
  EXPECT_EQ(us.ScanCodeToVirtualKey(0x2A), 0xA0u);
  EXPECT_EQ(us.ScanCodeToVirtualKey(0x36), 0xA1u);
  EXPECT_EQ(us.ScanCodeToVirtualKey(0), 0u);
}

TEST(XkbKeyboardLayout, KeysOutsideTheLayoutRangeIgnoreTheLayout) {
  for (const char* name : {"us", "fr", "de", "ru"}) {
    const XkbKeyboardLayout layout(QString::fromLatin1(name));
    ASSERT_TRUE(layout.valid()) << name;
    EXPECT_EQ(Usage(0x70, layout), 0x3Au) << name;  // F1
    EXPECT_EQ(Usage(0x2C, layout), 0x46u) << name;  // Print Screen
    EXPECT_EQ(Usage(0xA1, layout), 0xE5u) << name;  // Right Shift
    EXPECT_FALSE(VirtualKeyToUsage(0x10, layout).found) << name;
    EXPECT_EQ(Usage(0xDF, layout), 0x38u) << name;  // no key has it: the row's own usage
    EXPECT_EQ(Text(0x2A, layout), "<key_BackSpace>") << name;
    EXPECT_EQ(Text(0x63, layout), "<key_Num_.>") << name;
  }
}

TEST(XkbKeyboardLayout, AGroupOtherThanTheFirstAnswersWithItsOwnKeys) {
  const XkbKeyboardLayout us_fr(QStringLiteral("us,fr"), {}, 1);
  ASSERT_TRUE(us_fr.valid());
  EXPECT_EQ(us_fr.group(), 1u);
  EXPECT_EQ(Usage('A', us_fr), kUsageQ);
}

TEST(XkbKeyboardLayout, AnUnknownLayoutIsInvalidAndAnswersNothing) {
  const XkbKeyboardLayout none(QStringLiteral("no-such-layout"));
  EXPECT_FALSE(none.valid());
  EXPECT_EQ(none.VirtualKeyToScanCode('A'), 0u);
  EXPECT_EQ(none.ScanCodeToVirtualKey(0x1E), 0u);
  EXPECT_EQ(none.UnmodifiedText('A', 0x1E), "");
  EXPECT_EQ(Usage('A', none), kUsageA);  // the key table's own usage
}

TEST(KeyboardSettingsFile, NamesComeFromTheAssignments) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("keyboard");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "# KEYBOARD CONFIGURATION FILE\n"
      "XKBMODEL=\"pc105\"\n"
      "XKBLAYOUT=\"de,us\"\n"
      "XKBVARIANT='nodeadkeys,'\n"
      "XKBOPTIONS=grp:alt_shift_toggle\n"
      "BACKSPACE=\"guess\"\n");
  file.close();
  const XkbNames names = ReadKeyboardSettingsFile(path);
  EXPECT_EQ(names.model, "pc105");
  EXPECT_EQ(names.layout, "de,us");
  EXPECT_EQ(names.variant, "nodeadkeys,");
  EXPECT_EQ(names.options, "grp:alt_shift_toggle");
  EXPECT_TRUE(ReadKeyboardSettingsFile(dir.filePath("none")).empty());
}

// Without a window system to follow, the layout the environment names is the active one.
TEST(SystemKeyboardLayout, FollowsTheEnvironmentWithoutADisplay) {
  const QByteArray display = qgetenv("DISPLAY");
  qunsetenv("DISPLAY");
  qputenv("XKB_DEFAULT_LAYOUT", "de");
  const std::unique_ptr<KeyboardLayout> layout = MakeSystemKeyboardLayout();
  qunsetenv("XKB_DEFAULT_LAYOUT");
  if (!display.isNull()) qputenv("DISPLAY", display);
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(Usage('Z', *layout), kUsageY);
}

}  // namespace
}  // namespace mokta
