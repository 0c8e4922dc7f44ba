#include "data/key_tables.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QStringList>
#include <ostream>
#include <set>

namespace mokta {

void PrintTo(const KeyCodeRow& row, std::ostream* os) {
  *os << std::hex << "{0x" << row.vk << ", 0x" << row.usage << ", 0x" << row.scan_code << "}";
}

namespace {

// A US layout with some keys moved: each placed key answers for its vk and its position.
class MovedKeysLayout final : public KeyboardLayout {
 public:
  void Place(std::uint32_t vk, std::uint32_t scan_code, const QString& text) {
    scan_of_[vk] = scan_code;
    if (scan_code != 0) vk_at_[scan_code] = vk;
    text_of_[vk] = text;
  }

  std::uint32_t VirtualKeyToScanCode(std::uint32_t vk) const override {
    ++scan_queries;
    return scan_of_.value(vk, us_.VirtualKeyToScanCode(vk));
  }
  std::uint32_t ScanCodeToVirtualKey(std::uint32_t scan_code) const override {
    return vk_at_.value(scan_code, us_.ScanCodeToVirtualKey(scan_code));
  }
  QString UnmodifiedText(std::uint32_t vk, std::uint32_t scan_code) const override {
    return text_of_.contains(vk) ? text_of_.value(vk) : us_.UnmodifiedText(vk, scan_code);
  }
  std::uint32_t KeycodeToVirtualKey(std::uint32_t keycode) const override {
    return keycode > 8 ? ScanCodeToVirtualKey(keycode - 8) : 0;
  }

  mutable int scan_queries = 0;

 private:
  FixedUsLayout us_;
  QHash<std::uint32_t, std::uint32_t> scan_of_;
  QHash<std::uint32_t, std::uint32_t> vk_at_;
  QHash<std::uint32_t, QString> text_of_;
};

// A French-like layout: A and Q swap places, the second slash code 0xDF sits on the grave
// accent position, '2' types é, and two keys sit where the table has no row or no key.
MovedKeysLayout FrenchLike() {
  MovedKeysLayout layout;
  layout.Place(0x41, 0x10, "a");
  layout.Place(0x51, 0x1E, "q");
  layout.Place(0xDF, 0x29, "!");
  layout.Place(0x32, 0x03, QString::fromUtf8("é"));
  layout.Place(0xBA, 0x56, "$");  // the extra key of ISO keyboards
  layout.Place(0xDE, 0, "");      // no key produces this code
  return layout;
}

class CountingLanguage final : public LanguageTexts {
 public:
  QString Text(const QString& key) const override {
    ++lookups;
    return "<" + key + ">";
  }
  mutable int lookups = 0;
};

TEST(KeyCodeTable, HoldsTheRowsInLookupOrder) {
  ASSERT_EQ(KeyCodeTable.size(), 112u);
  EXPECT_EQ(KeyCodeTable[0], (KeyCodeRow{0x41, 0x04, 0x1E}));
  EXPECT_EQ(KeyCodeTable[51], (KeyCodeRow{0xBF, 0x38, 0x35}));
  EXPECT_EQ(KeyCodeTable[52], (KeyCodeRow{0xDF, 0x38, 0x35}));
  EXPECT_EQ(KeyCodeTable[65], (KeyCodeRow{0x7B, 0x45, 0x58}));
  EXPECT_EQ(KeyCodeTable[66], (KeyCodeRow{0x2C, 0x46, 0}));
  EXPECT_EQ(KeyCodeTable[90], (KeyCodeRow{0x67, 0x5F, 0}));
  EXPECT_EQ(KeyCodeTable[91], (KeyCodeRow{0x66, 0x5E, 0}));
  const std::uint32_t program_codes[] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF7, 0xF8};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(KeyCodeTable[105 + i], (KeyCodeRow{program_codes[i], program_codes[i], 0}));
  }
}

// Catches a mistyped or duplicated row: vks are unique, and usages and scan codes are too except
// for the shared slash key; exactly the rows before 66 have a scan code.
TEST(KeyCodeTable, RowsAreDistinctExceptTheSecondSlash) {
  std::set<std::uint32_t> vks, usages, scan_codes;
  for (std::size_t i = 0; i < KeyCodeTable.size(); ++i) {
    const KeyCodeRow& row = KeyCodeTable[i];
    EXPECT_TRUE(vks.insert(row.vk).second) << "row " << i;
    EXPECT_EQ(usages.insert(row.usage).second, i != 52) << "row " << i;
    EXPECT_EQ(row.scan_code != 0, i < 66) << "row " << i;
    if (row.scan_code != 0) {
      EXPECT_EQ(scan_codes.insert(row.scan_code).second, i != 52) << "row " << i;
    }
  }
  for (std::uint32_t absent : {0x32u, 0x64u, 0x66u, 0x67u, 0x68u, 0xF5u}) {
    EXPECT_FALSE(usages.contains(absent)) << absent;
  }
  for (std::uint32_t generic : {0x10u, 0x11u, 0x12u}) EXPECT_FALSE(vks.contains(generic));
}

TEST(VirtualKeyToUsage, UsesTheTableOnAUsLayout) {
  const FixedUsLayout us;
  EXPECT_FALSE(VirtualKeyToUsage(0x10, us).found);
  EXPECT_EQ(VirtualKeyToUsage(0x10, us).usage, 0u);
  EXPECT_EQ(VirtualKeyToUsage(0xA1, us).usage, 0xE5u);
  EXPECT_EQ(VirtualKeyToUsage(0x41, us).usage, 0x04u);
  EXPECT_EQ(VirtualKeyToUsage(0xDF, us).usage, 0x38u);
  EXPECT_EQ(VirtualKeyToUsage(0x66, us).usage, 0x5Eu);
  EXPECT_EQ(VirtualKeyToUsage(0x67, us).usage, 0x5Fu);
  EXPECT_TRUE(VirtualKeyToUsage(0xF1, us).found);
  EXPECT_EQ(VirtualKeyToUsage(0xF1, us).usage, 0xF1u);
  EXPECT_FALSE(VirtualKeyToUsage(0xF5, us).found);
}

TEST(VirtualKeyToUsage, StoresThePhysicalPositionOnOtherLayouts) {
  const MovedKeysLayout layout = FrenchLike();
  EXPECT_EQ(VirtualKeyToUsage(0x41, layout).usage, 0x14u);  // A on the Q position
  EXPECT_EQ(VirtualKeyToUsage(0x51, layout).usage, 0x04u);
  EXPECT_EQ(VirtualKeyToUsage(0xDF, layout).usage, 0x35u);
  EXPECT_EQ(VirtualKeyToUsage(0x70, layout).usage, 0x3Au);
  // A position without a row, or no position at all, keeps the table's usage; scan code 0
  // must not match the rows without a scan code.
  EXPECT_EQ(VirtualKeyToUsage(0xBA, layout).usage, 0x33u);
  EXPECT_EQ(VirtualKeyToUsage(0xDE, layout).usage, 0x34u);

  layout.scan_queries = 0;
  EXPECT_EQ(VirtualKeyToUsage(0x2C, layout).usage, 0x46u);
  EXPECT_EQ(VirtualKeyToUsage(0xA2, layout).usage, 0xE0u);
  EXPECT_EQ(layout.scan_queries, 0);
}

TEST(VirtualKeyToKeyText, NamesKeysOrUpperCasesWhatTheyType) {
  const MovedKeysLayout layout = FrenchLike();
  const CountingLanguage language;
  EXPECT_EQ(VirtualKeyToKeyText(0x10, layout, language), "<key_LShift>");
  EXPECT_EQ(VirtualKeyToKeyText(0x7B, layout, language), "<key_F12>");
  EXPECT_EQ(VirtualKeyToKeyText(0xF0, layout, language), "<key_Caplk>");
  EXPECT_EQ(VirtualKeyToKeyText(0x41, layout, language), "A");
  EXPECT_EQ(VirtualKeyToKeyText(0x32, layout, language), QString::fromUtf8("É"));
  EXPECT_EQ(VirtualKeyToKeyText(0xBF, layout, language), "/");
  EXPECT_EQ(VirtualKeyToKeyText(0xE9, layout, language), "");
}

TEST(UsageToKeyText, ShowsWhatTheLayoutTypesAtThePosition) {
  const CountingLanguage language;
  const FixedUsLayout us;
  EXPECT_EQ(UsageToKeyText(0x04, us, language), "A");
  EXPECT_EQ(UsageToKeyText(0x27, us, language), "0");
  EXPECT_EQ(UsageToKeyText(0x38, us, language), "/");
  EXPECT_EQ(UsageToKeyText(0x35, us, language), "`");
  EXPECT_EQ(language.lookups, 0);

  const MovedKeysLayout layout = FrenchLike();
  EXPECT_EQ(UsageToKeyText(0x04, layout, language), "Q");
  EXPECT_EQ(UsageToKeyText(0x14, layout, language), "A");
  EXPECT_EQ(UsageToKeyText(0x35, layout, language), "!");
}

TEST(UsageToKeyText, ShowsLanguageTextsForNamedKeys) {
  const FixedUsLayout us;
  MapLanguageTexts language;
  language.Set("key_BackSpace", "Backspace");
  language.Set("key_Num_.", "Num .");
  EXPECT_EQ(UsageToKeyText(0x2A, us, language), "Backspace");  // through vk 0x08
  EXPECT_EQ(UsageToKeyText(0x63, us, language), "Num .");
  EXPECT_EQ(UsageToKeyText(0x39, us, language), "key_Caplk");
  EXPECT_EQ(UsageToKeyText(0x3A, us, language), "key_F1");
  EXPECT_EQ(UsageToKeyText(0x5E, us, language), "key_Num_6");
  EXPECT_EQ(UsageToKeyText(0x5F, us, language), "key_Num_7");
  EXPECT_EQ(UsageToKeyText(0x64, us, language), "key_\\");
  EXPECT_EQ(UsageToKeyText(0xE7, us, language), "key_RWin");
  EXPECT_EQ(UsageToKeyText(0xF5, us, language), "Forward_Button");
}

TEST(UsageToKeyText, CodesWithoutATextAreEmptyWithoutALookup) {
  const FixedUsLayout us;
  const CountingLanguage language;
  for (std::uint32_t code :
       {0x00u, 0x03u, 0x32u, 0x66u, 0x67u, 0x68u, 0xE8u, 0xEFu, 0xF0u, 0xF6u, 0xF8u, 0x104u}) {
    EXPECT_EQ(UsageToKeyText(code, us, language), "") << code;
  }
  EXPECT_EQ(language.lookups, 0);
}

QStringList trace_lines;

TEST(UsageToKeyText, TracesEveryResult) {
  QLoggingCategory::setFilterRules("mokta.keys.debug=true");
  trace_lines.clear();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& m) {
        if (QByteArray(context.category) == "mokta.keys") trace_lines.append(m);
      });
  const FixedUsLayout us;
  const MapLanguageTexts language;
  UsageToKeyText(0x05, us, language);
  UsageToKeyText(0x00, us, language);
  qInstallMessageHandler(previous);
  EXPECT_EQ(trace_lines, QStringList({"m_key = B", "m_key = "}));
}

}  // namespace
}  // namespace mokta
