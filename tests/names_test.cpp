// Unique names and the default names of new records.

#include "data/names.h"

#include <gtest/gtest.h>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

namespace mokta {
namespace {

template <typename Record>
std::vector<std::unique_ptr<Record>> ListOf(std::initializer_list<const char16_t*> names) {
  std::vector<std::unique_ptr<Record>> list;
  for (const char16_t* name : names) {
    list.push_back(std::make_unique<Record>());
    list.back()->set_name(QStringView(name));
  }
  return list;
}

TEST(NameExists, IgnoresLetterCase) {
  auto list = ListOf<GunData>({u"Gun", u"Ärger"});
  EXPECT_TRUE(NameExists(list, u"gUN"));
  EXPECT_TRUE(NameExists(list, u"ärger"));
  EXPECT_FALSE(NameExists(list, u"Gun "));
  EXPECT_FALSE(NameExists(GunList{}, u""));
}

TEST(MakeUniqueName, NumbersTakenNames) {
  EXPECT_EQ(MakeUniqueName(ListOf<GunData>({}), u"Gun"), u"Gun");
  EXPECT_EQ(MakeUniqueName(ListOf<GunData>({u"Gun"}), u"Gun"), u"Gun_1");
  EXPECT_EQ(MakeUniqueName(ListOf<GunData>({u"Gun", u"Gun_1"}), u"Gun"), u"Gun_2");
  EXPECT_EQ(MakeUniqueName(ListOf<ProfileData>({u"Profile1", u"profile1_1"}), u"PROFILE1"),
            u"PROFILE1_2");
}

TEST(MakeUniqueName, ResultAlwaysFitsTheNameField) {
  const QString long_base(60, QLatin1Char('m'));
  // Macro names hold 23 units: the base is cut, and when that is taken the suffix stays whole.
  auto macros = ListOf<MacroData>({});
  EXPECT_EQ(MakeUniqueName(macros, long_base), QString(23, QLatin1Char('m')));
  macros.push_back(NewMacro(long_base));
  EXPECT_EQ(MakeUniqueName(macros, long_base), QString(21, QLatin1Char('m')) + "_1");
  for (int n = 1; n < 10; ++n) {
    macros.push_back(NewMacro(MakeUniqueName(macros, long_base)));
  }
  EXPECT_EQ(MakeUniqueName(macros, long_base), QString(20, QLatin1Char('m')) + "_10");

  // Pattern names hold 49 units, profile names 99.
  auto guns = ListOf<GunData>({});
  guns.push_back(NewGun(long_base));
  EXPECT_EQ(MakeUniqueName(guns, long_base), QString(47, QLatin1Char('m')) + "_1");
  auto profiles = ListOf<ProfileData>({});
  profiles.push_back(NewProfile(long_base));
  EXPECT_EQ(MakeUniqueName(profiles, long_base), long_base + "_1");

  // Each made name survives its field unchanged.
  for (const auto& m : macros) EXPECT_LE(m->name().size(), 23);
  EXPECT_EQ(macros.back()->name(), QString(21, QLatin1Char('m')) + "_9");
}

TEST(MakeUniqueName, CutKeepsSurrogatePairsWhole) {
  const QString smile = QString::fromUcs4(U"\U0001F600");
  QString base;
  for (int i = 0; i < 12; ++i) base += smile;  // 24 units
  auto macros = ListOf<MacroData>({});
  const QString first = MakeUniqueName(macros, base);
  EXPECT_EQ(first.size(), 22);  // 11 pairs; the 12th would not fit 23 units whole
  macros.push_back(NewMacro(first));
  const QString second = MakeUniqueName(macros, base);
  EXPECT_EQ(second, first.first(20) + "_1");
}

TEST(DefaultRecordName, LanguageTextThenListLengthPlusOne) {
  MapLanguageTexts language(
      {{"add_macro_text", "Macro"}, {"add_gun_text", "Gun"}, {"add_profile_text", "Profile"}});
  auto macros = ListOf<MacroData>({u"Macro1", u"Macro2", u"macro4"});
  EXPECT_EQ(DefaultRecordName(macros, language, kAddMacroTextKey), u"Macro4_1");
  EXPECT_EQ(DefaultRecordName(GunList{}, language, kAddGunTextKey), u"Gun1");
  EXPECT_EQ(DefaultRecordName(ProfileList{}, language, kAddProfileTextKey), u"Profile1");

  // A missing text shows its key rather than nothing.
  EXPECT_EQ(DefaultRecordName(GunList{}, MapLanguageTexts{}, kAddGunTextKey), u"add_gun_text1");
}

}  // namespace
}  // namespace mokta
