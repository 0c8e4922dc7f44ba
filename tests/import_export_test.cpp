// Exchange files: exact images out, unique names and rebuilt macros in, wrong sizes refused.

#include "data/import_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "test_support.h"

namespace mokta {
namespace {

using test::ReadFileBytes;
using test::ToByteArray;
using test::WriteFileBytes;

class ImportExportTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  StoreFiles stores_{dir_.path() + "/Data/"};
  ProfileList profiles_;
  MacroList macros_;
  GunList guns_;
};

void AssignMacro(ButtonData& button, const QString& name, std::uint16_t steps) {
  button.set_function(kFunctionMacro);
  button.set_bind_name(name);
  button.set_repeat_count(3);
  button.set_step_count(steps);
  button.set_macro_index(0);
  for (std::size_t i = 0; i < 46; ++i) {
    MacroAction{.code = static_cast<std::uint8_t>(4 + i), .state = 1, .delay_ms = 10}.Encode(
        button.macro_steps().data() + 4 * i);
  }
}

TEST_F(ImportExportTest, ProfileExportsExactlyAndImportsUnderNumberedNames) {
  profiles_.push_back(NewProfile(u"Work"));
  ProfileData& work = *profiles_[0];
  work.button(22).bytes()[100] = 0x42;  // an unused slot travels too
  work.set_brightness(3);
  ASSERT_EQ(ExportProfile(work, Path("work.pro")), FileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(Path("work.pro")), ToByteArray(work.bytes()));

  auto first = ImportProfile(Path("work.pro"), profiles_, macros_, stores_);
  auto second = ImportProfile(Path("work.pro"), profiles_, macros_, stores_);
  ASSERT_EQ(first.status, FileStatus::kOk);
  ASSERT_EQ(second.status, FileStatus::kOk);
  EXPECT_EQ(first.index, 1);
  EXPECT_EQ(second.index, 2);
  EXPECT_EQ(profiles_[1]->name(), u"Work_1");
  EXPECT_EQ(profiles_[2]->name(), u"Work_2");

  // Apart from the name, the imported profile is the exported one, byte for byte.
  ProfileData copy = *profiles_[1];
  copy.set_name(u"Work");
  EXPECT_TRUE(copy == work);
  // No macros were carried, so the macro store is not touched.
  EXPECT_EQ(first.macros_added, 0);
  EXPECT_FALSE(QFileInfo::exists(stores_.MacroStorePath()));
}

TEST_F(ImportExportTest, ProfileImportRebuildsButtonMacrosWithUniqueNames) {
  macros_.push_back(NewMacro(u"M"));
  auto source = NewProfile(u"Game");
  AssignMacro(source->button(3), "M", 5);
  AssignMacro(source->button(4), "M", 0xFFFF);  // a damaged count travels as it is
  source->button(6).set_function(kFunctionGun);
  source->button(6).set_bind_name(u"Recoil");
  source->button(6).set_gun_index(7);  // points past the pattern list
  source->button(6).set_step_count(30);
  source->button(6).gun_steps()[5] = 0x99;
  AssignMacro(source->button(20), "Unused", 1);  // not a mouse button: no macro is made
  ASSERT_EQ(ExportProfile(*source, Path("game.pro")), FileStatus::kOk);

  auto result = ImportProfile(Path("game.pro"), profiles_, macros_, stores_);
  ASSERT_EQ(result.status, FileStatus::kOk);
  EXPECT_EQ(result.macros_added, 2);
  EXPECT_TRUE(result.store_written);
  ASSERT_EQ(macros_.size(), 3u);
  EXPECT_EQ(macros_[1]->name(), u"M_1");
  EXPECT_EQ(macros_[2]->name(), u"M_2");

  const ProfileData& imported = *profiles_.back();
  EXPECT_EQ(imported.button(3).bind_name(), u"M_1");
  EXPECT_EQ(imported.button(3).macro_index(), 1);
  EXPECT_EQ(imported.button(4).bind_name(), u"M_2");
  EXPECT_EQ(imported.button(4).macro_index(), 2);

  // The new macro: repeat count in `reserved`, the step count widened, all 184 action bytes.
  const MacroData& m1 = *macros_[1];
  EXPECT_EQ(m1.reserved(), 3u);
  EXPECT_EQ(m1.action_count(), 5u);
  EXPECT_TRUE(std::equal(m1.actions_bytes().begin(), m1.actions_bytes().end(),
                         source->button(3).macro_steps().begin()));
  EXPECT_EQ(macros_[2]->action_count(), 0xFFFFu);
  EXPECT_EQ(macros_[2]->used_action_count(), 46u);

  // The pattern button is kept as read.
  EXPECT_TRUE(imported.button(6) == source->button(6));
  EXPECT_EQ(imported.button(20).bind_name(), u"Unused");

  // "macro.data" now holds all three macros.
  auto stored = stores_.ReadMacroStore();
  ASSERT_EQ(stored.records.size(), 3u);
  EXPECT_TRUE(*stored.records[2] == *macros_[2]);
}

TEST_F(ImportExportTest, GunAndMacroImportsNumberNamesAndWriteTheirStores) {
  auto gun = NewGun(u"AK");
  gun->set_count(0);         // out of range: kept as read, bounded when used
  gun->bytes()[105] = 0x11;  // a reserved byte
  gun->bytes()[60] = 0x33;   // a byte after the name's terminator
  ASSERT_EQ(ExportGun(*gun, Path("ak.gun")), FileStatus::kOk);

  auto a = ImportGun(Path("ak.gun"), guns_, stores_);
  auto b = ImportGun(Path("ak.gun"), guns_, stores_);
  ASSERT_EQ(a.status, FileStatus::kOk);
  ASSERT_EQ(b.status, FileStatus::kOk);
  EXPECT_TRUE(*guns_[0] == *gun);  // a free name leaves every byte as read
  EXPECT_EQ(guns_[1]->name(), u"AK_1");
  EXPECT_EQ(guns_[1]->bytes()[105], 0x11);
  EXPECT_EQ(guns_[1]->used_count(), 1u);
  EXPECT_EQ(QFileInfo(stores_.GunStorePath()).size(), 2 * 476);

  auto macro = NewMacro(u"Burst");
  macro->set_reserved(77);
  ASSERT_EQ(ExportMacro(*macro, Path("burst.macro")), FileStatus::kOk);
  EXPECT_EQ(ReadFileBytes(Path("burst.macro")), ToByteArray(macro->bytes()));
  macros_.push_back(NewMacro(u"burst"));
  auto c = ImportMacro(Path("burst.macro"), macros_, stores_);
  ASSERT_EQ(c.status, FileStatus::kOk);
  EXPECT_EQ(c.index, 1);
  EXPECT_EQ(macros_[1]->name(), u"Burst_1");
  EXPECT_EQ(macros_[1]->reserved(), 77u);
  EXPECT_EQ(QFileInfo(stores_.MacroStorePath()).size(), 2 * 240);
}

TEST_F(ImportExportTest, UnterminatedImportedNameIsCutToItsField) {
  auto macro = NewMacro(u"");
  for (std::size_t i = 0; i < 48; i += 2) macro->bytes()[i] = 'Z';  // 24 units, no terminator
  ASSERT_EQ(ExportMacro(*macro, Path("long.macro")), FileStatus::kOk);
  ASSERT_EQ(ImportMacro(Path("long.macro"), macros_, stores_).status, FileStatus::kOk);
  EXPECT_EQ(macros_[0]->name(), QString(23, QLatin1Char('Z')));
  EXPECT_TRUE(macros_[0]->name_terminated());
}

TEST_F(ImportExportTest, WrongSizeOrMissingFilesAddNothing) {
  auto profile = NewProfile(u"P");
  const QByteArray image = ToByteArray(profile->bytes());
  WriteFileBytes(Path("short.pro"), image.first(41635));
  WriteFileBytes(Path("long.pro"), image + 'x');
  WriteFileBytes(Path("empty.gun"), {});
  WriteFileBytes(Path("profile.macro"), image);

  auto short_result = ImportProfile(Path("short.pro"), profiles_, macros_, stores_);
  EXPECT_EQ(short_result.status, FileStatus::kWrongSize);
  EXPECT_EQ(short_result.file_size, 41635);
  EXPECT_EQ(ImportProfile(Path("long.pro"), profiles_, macros_, stores_).status,
            FileStatus::kWrongSize);
  EXPECT_EQ(ImportGun(Path("empty.gun"), guns_, stores_).status, FileStatus::kWrongSize);
  EXPECT_EQ(ImportMacro(Path("profile.macro"), macros_, stores_).status, FileStatus::kWrongSize);
  EXPECT_EQ(ImportGun(Path("missing.gun"), guns_, stores_).status, FileStatus::kCannotOpen);
  // Nothing but a regular file is read; a FIFO without a writer is refused, not waited on.
  EXPECT_EQ(ImportGun(dir_.path(), guns_, stores_).status, FileStatus::kNotRegularFile);
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo.pro")).constData(), 0600), 0);
  EXPECT_EQ(ImportProfile(Path("fifo.pro"), profiles_, macros_, stores_).status,
            FileStatus::kNotRegularFile);
  EXPECT_EQ(ImportMacro(Path("fifo.pro"), macros_, stores_).status, FileStatus::kNotRegularFile);

  EXPECT_TRUE(profiles_.empty());
  EXPECT_TRUE(macros_.empty());
  EXPECT_TRUE(guns_.empty());
  EXPECT_FALSE(QFileInfo::exists(stores_.StoreFolder()));
}

TEST_F(ImportExportTest, FailedExportLeavesAnExistingFileAlone) {
  WriteFileBytes(Path("keep.gun"), "old");
  auto gun = NewGun(u"G");
  EXPECT_EQ(ExportGun(*gun, Path("no/such/folder/g.gun")), FileStatus::kWriteFailed);
  EXPECT_EQ(ExportGun(*gun, dir_.path()), FileStatus::kNotRegularFile);
  EXPECT_EQ(ReadFileBytes(Path("keep.gun")), "old");
  // A FIFO chosen as the target stays a FIFO.
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe.gun")).constData(), 0600), 0);
  EXPECT_EQ(ExportGun(*gun, Path("pipe.gun")), FileStatus::kNotRegularFile);
  EXPECT_FALSE(QFileInfo(Path("pipe.gun")).isFile());
  EXPECT_TRUE(QFileInfo::exists(Path("pipe.gun")));
}

}  // namespace
}  // namespace mokta
