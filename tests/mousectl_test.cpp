// mokta-mousectl: which files it takes for what, how it refuses bad ones, what its dumps hold,
// and the exact messages of an apply dry run.

#include "cli/mousectl.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/record_file.h"
#include "data/import_export.h"
#include "data/store_files.h"
#include "platform/linux/xkb_keyboard_layout.h"
#include "test_support.h"

namespace mokta {
namespace {

using test::ToByteArray;
using test::WriteFileBytes;

constexpr qint64 kHeader = 208184;
constexpr qint64 kProfile = 41636;

struct RunResult {
  int code = -1;
  QString out;
  QString err;
};

class MousectlTest : public ::testing::Test {
 protected:
  // `apply` takes the link locks: in a runtime folder of the test's own, never beside a program
  // the user is running.
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
  }
  void TearDown() override {
    if (runtime_.isNull()) {
      qunsetenv("XDG_RUNTIME_DIR");
    } else {
      qputenv("XDG_RUNTIME_DIR", runtime_);
    }
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  RunResult Run(const QStringList& args) const {
    RunResult result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.code = RunMousectl(args, out, err, layout_);
    out.flush();
    err.flush();
    return result;
  }

  QString WriteProfile(const ProfileData& profile, const QString& name) const {
    EXPECT_EQ(ExportProfile(profile, Path(name)), FileStatus::kOk);
    return Path(name);
  }

  QJsonObject ShowJson(const QString& path) const {
    const RunResult r = Run({"show", path, "--json"});
    EXPECT_EQ(r.code, kExitOk) << r.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    return document.object();
  }

  QTemporaryDir dir_;
  FixedUsLayout us_;
  const KeyboardLayout* layout_ = &us_;  // key names independent of the machine's layout
  QByteArray runtime_ = qgetenv("XDG_RUNTIME_DIR");
};

// Expects a refusal: exit code 2, nothing on stdout, one line on stderr holding every part.
void ExpectFailure(const RunResult& r, const QStringList& parts) {
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
  for (const QString& part : parts) EXPECT_TRUE(r.err.contains(part)) << r.err.toStdString();
}

void SetMacroButton(ButtonData& b, const QString& name, std::uint16_t stored_steps) {
  b.set_function(kFunctionMacro);
  b.set_bind_name(name);
  b.set_macro_index(0);
  b.set_step_count(stored_steps);
  for (std::size_t i = 0; i < MacroData::kMaxActions; ++i) {
    // Press and release A, then B, ...: 10 ms after each.
    const MacroAction action{static_cast<std::uint8_t>(0x04 + i / 2),
                             static_cast<std::uint8_t>(i % 2 ? 2 : 1), 10};
    action.Encode(b.macro_steps().data() + 4 * i);
  }
}

TEST(RecordKindTest, NameDecidesFirstAndSizeOnlyWhenUnambiguous) {
  EXPECT_EQ(KindFromName("/a/b/Game.pro"), RecordFileKind::kProfile);
  EXPECT_EQ(KindFromName("GAME.PRO"), RecordFileKind::kProfile);
  EXPECT_EQ(KindFromName("jump.macro"), RecordFileKind::kMacro);
  EXPECT_EQ(KindFromName("ak.Gun"), RecordFileKind::kGun);
  EXPECT_EQ(KindFromName("/home/u/Data/ms_1/pro.data"), RecordFileKind::kProfileStore);
  EXPECT_EQ(KindFromName("macro.data"), RecordFileKind::kMacroStore);
  EXPECT_EQ(KindFromName("gun.data"), RecordFileKind::kGunStore);
  for (const char* other :
       {"backup-pro.data", "pro.data.damaged", "Pro.Data", "x.pro.bak", "pro"}) {
    EXPECT_EQ(KindFromName(other), std::nullopt) << other;
  }

  EXPECT_EQ(KindFromSize(kProfile), RecordFileKind::kProfile);
  EXPECT_EQ(KindFromSize(476), RecordFileKind::kGun);
  EXPECT_EQ(KindFromSize(240), RecordFileKind::kMacro);
  EXPECT_EQ(KindFromSize(kHeader + 3 * kProfile), RecordFileKind::kProfileStore);
  EXPECT_EQ(KindFromSize(5 * 240), RecordFileKind::kMacroStore);
  EXPECT_EQ(KindFromSize(2 * 476), RecordFileKind::kGunStore);
  // 119 macros or 60 patterns; a header without profiles; nothing at all; nothing that fits.
  for (const qint64 size : {qint64{28560}, kHeader, qint64{0}, kProfile + 1, qint64{1000}}) {
    EXPECT_EQ(KindFromSize(size), std::nullopt) << size;
  }
}

TEST_F(MousectlTest, NameWinsOverSizeAndSizeServesUnnamedFiles) {
  const QString profile = WriteProfile(*NewProfile(u"P"), "exported-profile");
  const RunResult by_size = Run({"show", profile});
  EXPECT_EQ(by_size.code, kExitOk) << by_size.err.toStdString();
  EXPECT_TRUE(by_size.out.contains("Profile \"P\""));

  // A macro's 240 bytes under a pattern's name are a damaged pattern, not a macro.
  WriteFileBytes(Path("a.gun"), ToByteArray(NewMacro(u"M")->bytes()));
  ExpectFailure(Run({"show", Path("a.gun")}),
                {Path("a.gun"), "recoil pattern", "expected 476 bytes", "found 240"});
}

TEST_F(MousectlTest, WrongSizeProfileNamesExpectedAndFoundSizes) {
  QByteArray image = ToByteArray(NewProfile(u"P")->bytes());
  image.chop(1);
  WriteFileBytes(Path("short.pro"), image);
  for (const QStringList& args :
       {QStringList{"show", Path("short.pro")}, QStringList{"show", "--json", Path("short.pro")},
        QStringList{"apply", Path("short.pro"), "--dry-run"}}) {
    ExpectFailure(Run(args), {Path("short.pro"), "expected 41636 bytes", "found 41635"});
  }
}

TEST_F(MousectlTest, StoreEndingInPartialRecordIsReported) {
  QByteArray profiles = ToByteArray(ProfileStoreHeader().bytes());
  profiles += ToByteArray(NewProfile(u"P")->bytes());
  profiles += QByteArray(100, '\0');
  WriteFileBytes(Path("pro.data"), profiles);
  ExpectFailure(Run({"show", Path("pro.data")}),
                {Path("pro.data"), "partial profile", QString::number(kHeader + kProfile + 100),
                 "1 whole profile and 100 bytes more"});

  WriteFileBytes(Path("macro.data"), QByteArray(2 * 240 + 7, '\0'));
  ExpectFailure(Run({"show", Path("macro.data")}),
                {"partial macro", "a multiple of 240 bytes", "found 487"});

  // A profile store must hold a profile; an empty macro store is an empty list.
  WriteFileBytes(Path("pro.data"), ToByteArray(ProfileStoreHeader().bytes()));
  ExpectFailure(Run({"show", Path("pro.data")}), {"too short", "at least 249820 bytes"});
  WriteFileBytes(Path("gun.data"), QByteArray());
  EXPECT_EQ(Run({"show", Path("gun.data")}).code, kExitOk);
}

TEST_F(MousectlTest, MissingFoldersAndUnknownSizesFail) {
  ExpectFailure(Run({"show", Path("none.pro")}), {Path("none.pro"), "cannot open"});
  ExpectFailure(Run({"show", dir_.path()}), {dir_.path(), "folder"});
  WriteFileBytes(Path("blob"), QByteArray(1000, 'x'));
  ExpectFailure(Run({"show", Path("blob")}), {"cannot tell", "1000 bytes"});
}

TEST_F(MousectlTest, UsageErrorsPrintUsageAndExitTwo) {
  for (const QStringList& args :
       {QStringList{}, QStringList{"frobnicate"}, QStringList{"show"},
        QStringList{"show", "a.pro", "b.pro"}, QStringList{"show", "a.pro", "--yaml"},
        QStringList{"probe", "--yaml"}}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.code, kExitFailure) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(MousectlUsage())) << args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  EXPECT_EQ(Run({"help"}).out, MousectlUsage());
  EXPECT_TRUE(MousectlUsage().contains("mokta-mousectl probe [--json]"));
}

TEST_F(MousectlTest, ProfileJsonHoldsSettingsAndButtonData) {
  auto profile = NewProfile(u"Game");
  profile->set_light_color(0x00332211);
  profile->button(3).set_function(kFunctionKeyCombo);
  profile->button(3).set_modifiers(1 | 2);
  profile->button(3).set_key(0x06);
  SetMacroButton(profile->button(4), "Jump", 3);
  SetMacroButton(profile->button(5), "Broken", 0xFFFF);
  const QJsonObject root = ShowJson(WriteProfile(*profile, "game.pro"));
  EXPECT_EQ(root["kind"].toString(), "profile");
  EXPECT_EQ(root["size"].toInteger(), kProfile);
  const QJsonObject p = root["profile"].toObject();
  EXPECT_EQ(p["name"].toString(), "Game");
  EXPECT_EQ(p["dpi_step"].toInt(), 1);
  EXPECT_EQ(p["prate"].toInt(), 3);
  EXPECT_EQ(p["light_color"].toString(), "#112233");
  const QJsonObject stage5 = p["dpi_stages"].toArray()[5].toObject();
  EXPECT_EQ(stage5["dpi_x"].toInt(), 320);
  EXPECT_EQ(stage5["dpi_x_value"].toInteger(), 22000);
  EXPECT_EQ(stage5["dpi_enabled"].toInt(), 1);
  EXPECT_EQ(stage5["dpi_color"].toString(), "#FF00FF");

  const QJsonArray buttons = p["buttons"].toArray();
  ASSERT_EQ(buttons.size(), 18);
  EXPECT_EQ(buttons[0].toObject()["function"].toInt(), 1);
  const QJsonObject combo = buttons[3].toObject();
  EXPECT_EQ(combo["modifier_names"].toArray(), QJsonArray({"Ctrl", "Shift"}));
  EXPECT_EQ(combo["key_name"].toString(), "C");
  const QJsonObject macro = buttons[4].toObject();
  EXPECT_EQ(macro["function"].toInt(), kFunctionMacro);
  EXPECT_EQ(macro["bind_name"].toString(), "Jump");
  EXPECT_EQ(macro["step_count"].toInt(), 3);
  const QJsonArray steps = macro["steps"].toArray();
  ASSERT_EQ(steps.size(), 3);
  EXPECT_EQ(steps[1].toObject(), QJsonObject({{"code", 4},
                                              {"key_name", "A"},
                                              {"state", 2},
                                              {"state_name", "release"},
                                              {"delay_ms", 10}}));
  // A damaged count is shown as stored, with only the steps the record holds.
  EXPECT_EQ(buttons[5].toObject()["step_count"].toInt(), 0xFFFF);
  EXPECT_EQ(buttons[5].toObject()["steps"].toArray().size(), 46);
}

TEST_F(MousectlTest, ShowNamesKeysAsTheLayoutTypesThem) {
  const XkbKeyboardLayout fr(QStringLiteral("fr"));
  ASSERT_TRUE(fr.valid());
  layout_ = &fr;
  auto macro = NewMacro(u"Fr");
  macro->set_action(0, {0x14, MacroAction::kPress, 5});  // the US Q position types 'a'
  macro->set_action_count(1);
  ASSERT_EQ(ExportMacro(*macro, Path("fr.macro")), FileStatus::kOk);
  EXPECT_EQ(ShowJson(Path("fr.macro"))["macro"].toObject()["actions"][0]["key_name"].toString(),
            "A");
  EXPECT_TRUE(Run({"show", Path("fr.macro")}).out.contains("0x14 A")) << "text dump";

  auto profile = NewProfile(u"Fr");
  profile->button(3).set_function(kFunctionKeyCombo);
  profile->button(3).set_modifiers(1);
  profile->button(3).set_key(0x04);  // the US A position types 'q'
  const QString path = WriteProfile(*profile, "fr.pro");
  const QJsonArray buttons = ShowJson(path)["profile"].toObject()["buttons"].toArray();
  EXPECT_EQ(buttons[3].toObject()["key_name"].toString(), "Q");
  EXPECT_TRUE(Run({"show", path}).out.contains("key combination Ctrl+Q")) << "text dump";
}

TEST_F(MousectlTest, DamagedCountsShowStoredValueAndOnlyRecordEntries) {
  auto macro = NewMacro(u"M %2");  // a name is never taken for a placeholder
  macro->set_action_count(0xFFFFFFFF);
  ASSERT_EQ(ExportMacro(*macro, Path("m.macro")), FileStatus::kOk);
  const QJsonObject m = ShowJson(Path("m.macro"))["macro"].toObject();
  EXPECT_EQ(m["action_count"].toInteger(), 0xFFFFFFFF);
  EXPECT_EQ(m["actions"].toArray().size(), 46);
  EXPECT_TRUE(Run({"show", Path("m.macro")})
                  .out.contains("Macro \"M %2\", 46 actions shown (stored count 4294967295"));

  GunList guns;
  guns.push_back(NewGun(u"Zero"));
  guns.push_back(NewGun(u"Many"));
  guns[0]->set_count(0);
  guns[1]->set_count(200);
  ASSERT_TRUE(StoreFiles(dir_.path()).WriteGunStore(guns));
  const QJsonArray listed = ShowJson(dir_.filePath("ms_1/gun.data"))["guns"].toArray();
  ASSERT_EQ(listed.size(), 2);
  EXPECT_EQ(listed[0].toObject()["steps"].toArray().size(), 1);
  EXPECT_EQ(listed[1].toObject()["count"].toInt(), 200);
  EXPECT_EQ(listed[1].toObject()["steps"].toArray().size(), 30);
}

TEST_F(MousectlTest, StoreTextShowsSelectionEveryProfileAndEscapedNames) {
  ProfileList profiles;
  profiles.push_back(NewProfile(u"Office"));
  profiles.push_back(NewProfile(u"Evil\x1b[2J"));
  ProfileStoreHeader header;
  header.set_selected(1);
  const StoreFiles stores(dir_.path());
  ASSERT_TRUE(stores.WriteProfileStore(profiles, header));

  const RunResult r = Run({"show", stores.ProfileStorePath()});
  ASSERT_EQ(r.code, kExitOk) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("Selected profile: 1\n"));
  EXPECT_TRUE(r.out.contains("Profile 0 of 2 \"Office\""));
  EXPECT_TRUE(r.out.contains("Profile 1 of 2 \"Evil\\u001b[2J\""));
  EXPECT_FALSE(r.out.contains(QChar(0x1b)));
  EXPECT_TRUE(r.out.contains("0: on   x 16 (800 DPI)"));
  EXPECT_TRUE(r.out.contains("Light colour: #00FF00"));
}

// The messages of a send-all pass for the default profile.
const QStringList kDefaultProfileDryRun = {
    "0C 0A 01 FE 01 FE 00 00 00 00",  // open, twice for a send-all pass
    "0C 0A 01 FE 01 FE 00 00 00 00",
    // sensor: DPI stages, colours, active stage, angle snap, ripple control
    "04 38 01 01 01 3F 05 00 20 40 60 80 A0 F0 00 00 03 06 09 0C 0F 55 00 00 02 FF 00 00 00 FF "
    "00 00 00 FF FF FF 00 00 FF FF FF 00 FF FF 40 00 FF FF FF 01 10 CE 00 00 00 00",
    "05 0F 01 00 03 A8 00 FF 00 01 04 01 AF 00 00",  // lighting
    "06 09 01 44 BB 00 00 00 00",                    // polling rate
    // button map: buttons 0..17 as three bytes each, then the sum
    "08 3B 01 02 00 00 03 00 00 04 00 00 0D 00 00 0D 00 00 3C 00 00 05 00 00 06 00 00 "
    "01 00 00 01 00 00 01 00 00 01 00 00 01 00 00 01 00 00 01 00 00 01 00 00 "
    "0A 00 00 09 00 00 00 85",
};

TEST_F(MousectlTest, DryRunOfDefaultProfileMatchesGoldenMessages) {
  const RunResult r = Run({"apply", WriteProfile(*NewProfile(u"x"), "x.pro"), "--dry-run"});
  ASSERT_EQ(r.code, kExitOk) << r.err.toStdString();
  EXPECT_EQ(r.out, kDefaultProfileDryRun.join('\n') + '\n');
}

TEST_F(MousectlTest, DryRunPrintsSlotMessagesAtTheirOwnLength) {
  auto profile = NewProfile(u"x");
  SetMacroButton(profile->button(4), "Jump", 4);
  const RunResult r = Run({"apply", "--dry-run", WriteProfile(*profile, "m.pro")});
  ASSERT_EQ(r.code, kExitOk) << r.err.toStdString();
  const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 7);
  EXPECT_TRUE(lines[5].startsWith("09 6F ")) << lines[5].toStdString();
  EXPECT_EQ(lines[5].split(' ').size(), 111);
  EXPECT_TRUE(lines[6].startsWith("08 3B "));
}

TEST_F(MousectlTest, ApplyWithoutDriversReportsNoMouseAndNeedsAProfile) {
  const QString pro = WriteProfile(*NewProfile(u"x"), "x.pro");
  const RunResult sent = Run({"apply", pro, "--driver-dir", Path("no-drivers")});
  EXPECT_EQ(sent.code, 1);
  EXPECT_TRUE(sent.err.contains("cable driver not loaded")) << sent.err.toStdString();
  EXPECT_TRUE(sent.err.contains("no mouse found")) << sent.err.toStdString();
  const RunResult usage = Run({"apply", pro, "--driver-dir"});
  EXPECT_EQ(usage.code, kExitFailure);
  EXPECT_TRUE(usage.err.contains("--driver-dir needs a value")) << usage.err.toStdString();
  ASSERT_EQ(ExportMacro(*NewMacro(u"M"), Path("m.macro")), FileStatus::kOk);
  ExpectFailure(Run({"apply", Path("m.macro"), "--dry-run"}),
                {Path("m.macro"), "macro file", "apply takes a profile"});
  WriteFileBytes(Path("blob"), ToByteArray(NewMacro(u"M")->bytes()));
  ExpectFailure(Run({"apply", Path("blob"), "--dry-run"}), {"expected 41636 bytes", "found 240"});
}

}  // namespace
}  // namespace mokta
