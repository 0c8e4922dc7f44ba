// Store files: exact images, first start, damaged stores, and writes that never tear.

#include "data/store_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>

#include "test_support.h"

namespace mokta {
namespace {

using test::ReadFileBytes;
using test::ToByteArray;
using test::WriteFileBytes;

constexpr qint64 kHeader = 208184;
constexpr qint64 kProfile = 41636;

class StoreFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString DataFolder() const { return dir_.path() + "/Data/"; }
  StoreFiles Stores() const { return StoreFiles(DataFolder()); }
  void MakeStoreFolder() const { ASSERT_TRUE(QDir().mkpath(DataFolder() + "ms_1")); }

  // A store image: a header whose reserved bytes are not zero, then `count` profiles.
  QByteArray StoreImage(int count, std::int32_t selected) const {
    ProfileStoreHeader header;
    for (std::size_t i = 4; i < header.bytes().size(); i += 997) header.bytes()[i] = 0x5A;
    header.set_selected(selected);
    QByteArray image = ToByteArray(header.bytes());
    for (int i = 0; i < count; ++i) {
      auto p = NewProfile(QStringLiteral("P%1").arg(i));
      p->set_brightness(i);
      image += ToByteArray(p->bytes());
    }
    return image;
  }

  QStringList StoreFolderEntries() const {
    return QDir(DataFolder() + "ms_1").entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  }

  QTemporaryDir dir_;
  MapLanguageTexts language_{{{"add_profile_text", "Profile"}}};
};

TEST_F(StoreFilesTest, FirstStartMakesOneDefaultProfileAndNothingElse) {
  auto contents = Stores().ReadProfileStore(language_);

  EXPECT_EQ(contents.state, ProfileStoreState::kCreated);
  EXPECT_TRUE(contents.written);
  ASSERT_EQ(contents.profiles.size(), 1u);
  EXPECT_EQ(contents.profiles[0]->name(), u"Profile1");
  EXPECT_EQ(contents.header->selected(), 0);

  const QByteArray file = ReadFileBytes(Stores().ProfileStorePath());
  ASSERT_EQ(file.size(), 249820);
  EXPECT_EQ(file.first(kHeader), QByteArray(kHeader, '\0'));
  EXPECT_EQ(file.sliced(kHeader), ToByteArray(NewProfile(u"Profile1")->bytes()));

  EXPECT_TRUE(Stores().ReadMacroStore().records.empty());
  EXPECT_TRUE(Stores().ReadGunStore().records.empty());
  EXPECT_EQ(StoreFolderEntries(), QStringList{"pro.data"});
}

TEST_F(StoreFilesTest, ProfileStoreRoundTripKeepsReservedHeaderBytes) {
  MakeStoreFolder();
  const QByteArray image = StoreImage(3, 2);
  WriteFileBytes(Stores().ProfileStorePath(), image);

  auto contents = Stores().ReadProfileStore(language_);
  EXPECT_EQ(contents.state, ProfileStoreState::kLoaded);
  EXPECT_FALSE(contents.written);
  ASSERT_EQ(contents.profiles.size(), 3u);
  EXPECT_EQ(contents.header->selected(), 2);
  EXPECT_EQ(contents.profiles[2]->name(), u"P2");
  EXPECT_EQ(contents.profiles[2]->brightness(), 2);

  // A rename is followed by a whole write: only the name's bytes change.
  contents.profiles[1]->set_name(u"Renamed");
  ASSERT_TRUE(Stores().WriteProfileStore(contents.profiles, *contents.header));
  QByteArray expected = image;
  expected.replace(kHeader + kProfile, kProfile, ToByteArray(contents.profiles[1]->bytes()));
  EXPECT_EQ(ReadFileBytes(Stores().ProfileStorePath()), expected);
}

TEST_F(StoreFilesTest, SelectedOutsideTheListBecomesZero) {
  MakeStoreFolder();
  for (std::int32_t selected : {3, -1, INT32_MAX}) {
    WriteFileBytes(Stores().ProfileStorePath(), StoreImage(3, selected));
    EXPECT_EQ(Stores().ReadProfileStore(language_).header->selected(), 0) << selected;
  }
}

TEST_F(StoreFilesTest, StoreWithoutAWholeProfileIsKeptAsideAndReplaced) {
  MakeStoreFolder();
  const QString path = Stores().ProfileStorePath();
  const QByteArray damaged[] = {QByteArray(), QByteArray(1000, 'x'),
                                StoreImage(1, 0).first(kHeader + kProfile - 1)};
  QStringList expected_aside;
  for (const QByteArray& bytes : damaged) {
    WriteFileBytes(path, bytes);
    auto contents = Stores().ReadProfileStore(language_);
    EXPECT_EQ(contents.state, ProfileStoreState::kReplacedDamaged);
    ASSERT_EQ(contents.profiles.size(), 1u);
    EXPECT_EQ(contents.profiles[0]->name(), u"Profile1");
    EXPECT_TRUE(contents.written);
    EXPECT_EQ(QFileInfo(path).size(), 249820);
    // The damaged file is moved, never overwritten: each one keeps its own name.
    EXPECT_EQ(ReadFileBytes(contents.set_aside_path), bytes);
    expected_aside << QFileInfo(contents.set_aside_path).fileName();
  }
  EXPECT_EQ(expected_aside,
            (QStringList{"pro.data.damaged", "pro.data.damaged-2", "pro.data.damaged-3"}));
}

// A store that exists but cannot be read (here: not a regular file, which root cannot open
// around either) is not damaged: it is left where it is, the defaults are used in memory and no
// write replaces it for this run. A FIFO is never waited on.
TEST_F(StoreFilesTest, AStoreThatCannotBeReadIsLeftAloneAndNeverWritten) {
  MakeStoreFolder();
  const StoreFiles stores = Stores();
  ASSERT_TRUE(QDir().mkpath(stores.ProfileStorePath()));
  ASSERT_EQ(::mkfifo(QFile::encodeName(stores.MacroStorePath()).constData(), 0600), 0);
  ASSERT_TRUE(QDir().mkpath(stores.GunStorePath()));

  auto profiles = stores.ReadProfileStore(language_);
  EXPECT_EQ(profiles.state, ProfileStoreState::kUnreadable);
  EXPECT_TRUE(profiles.not_regular_file);
  EXPECT_FALSE(profiles.written);
  ASSERT_EQ(profiles.profiles.size(), 1u);
  EXPECT_EQ(profiles.profiles[0]->name(), u"Profile1");
  auto macros = stores.ReadMacroStore();
  EXPECT_EQ(macros.state, StoreState::kUnreadable);
  EXPECT_TRUE(macros.not_regular_file);
  EXPECT_EQ(stores.ReadGunStore().state, StoreState::kUnreadable);

  EXPECT_TRUE(stores.WritesRefused(StoreKind::kProfiles));
  EXPECT_FALSE(stores.WriteProfileStore(profiles.profiles, *profiles.header));
  EXPECT_FALSE(stores.WriteMacroStore({}));
  EXPECT_FALSE(stores.WriteGunStore({}));
  EXPECT_TRUE(QFileInfo(stores.ProfileStorePath()).isDir());
  EXPECT_TRUE(QFileInfo(stores.GunStorePath()).isDir());
  EXPECT_TRUE(QFileInfo::exists(stores.MacroStorePath()));
  EXPECT_FALSE(QFileInfo(stores.MacroStorePath()).isFile());
  // Nothing renamed or added.
  EXPECT_EQ(QDir(stores.StoreFolder())
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            (QStringList{"gun.data", "macro.data", "pro.data"}));
}

// A damaged "macro.data" or "gun.data" is treated as "pro.data" is: never overwritten. A file
// without a whole record is moved aside; a partial last record is left out and the file copied
// aside first; a file too long to be real is moved aside unread.
TEST_F(StoreFilesTest, DamagedMacroAndGunStoresAreKeptAside) {
  MakeStoreFolder();
  MacroList macros;
  macros.push_back(NewMacro(u"A"));
  macros.push_back(NewMacro(u"B"));
  ASSERT_TRUE(Stores().WriteMacroStore(macros));
  const QByteArray partial = ReadFileBytes(Stores().MacroStorePath()) + QByteArray(7, 'm');
  WriteFileBytes(Stores().MacroStorePath(), partial);
  auto read_macros = Stores().ReadMacroStore();
  EXPECT_EQ(read_macros.state, StoreState::kLoaded);
  ASSERT_EQ(read_macros.records.size(), 2u);
  EXPECT_EQ(read_macros.records[1]->name(), u"B");
  EXPECT_EQ(read_macros.dropped_bytes, 7);
  EXPECT_EQ(read_macros.set_aside_path, Stores().MacroStorePath() + ".damaged");
  EXPECT_EQ(ReadFileBytes(read_macros.set_aside_path), partial);
  ASSERT_TRUE(Stores().WriteMacroStore(read_macros.records));  // the whole records go on
  EXPECT_EQ(ReadFileBytes(read_macros.set_aside_path), partial);

  WriteFileBytes(Stores().GunStorePath(), QByteArray(475, 'g'));
  auto guns = Stores().ReadGunStore();
  EXPECT_EQ(guns.state, StoreState::kReplacedDamaged);
  EXPECT_TRUE(guns.records.empty());
  EXPECT_FALSE(QFileInfo::exists(Stores().GunStorePath()));
  EXPECT_EQ(ReadFileBytes(guns.set_aside_path), QByteArray(475, 'g'));

  // Too long to be real: more than kMaxStoreRecords records (a sparse file, never read).
  QFile huge(Stores().GunStorePath());
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
  ASSERT_TRUE(huge.resize((kMaxStoreRecords + 1) * 476));
  huge.close();
  guns = Stores().ReadGunStore();
  EXPECT_EQ(guns.state, StoreState::kReplacedDamaged);
  EXPECT_TRUE(guns.records.empty());
  EXPECT_EQ(guns.set_aside_path, Stores().GunStorePath() + ".damaged-2");
  EXPECT_EQ(Stores().ReadMacroStore().state, StoreState::kLoaded);  // a store of its own
}

TEST_F(StoreFilesTest, AProfileStoreTooLongToBeRealIsKeptAsideAndReplaced) {
  MakeStoreFolder();
  WriteFileBytes(Stores().ProfileStorePath(), StoreImage(1, 0));
  QFile huge(Stores().ProfileStorePath());
  ASSERT_TRUE(huge.resize(kHeader + (kMaxStoreRecords + 1) * kProfile));  // sparse
  auto contents = Stores().ReadProfileStore(language_);
  EXPECT_EQ(contents.state, ProfileStoreState::kReplacedDamaged);
  ASSERT_EQ(contents.profiles.size(), 1u);
  EXPECT_EQ(QFileInfo(contents.set_aside_path).size(), kHeader + (kMaxStoreRecords + 1) * kProfile);
  EXPECT_EQ(QFileInfo(Stores().ProfileStorePath()).size(), 249820);
}

TEST_F(StoreFilesTest, APartialLastProfileIsDroppedAndTheFileCopiedAside) {
  MakeStoreFolder();
  WriteFileBytes(Stores().ProfileStorePath(), StoreImage(2, 1) + QByteArray(100, 'z'));
  auto profiles = Stores().ReadProfileStore(language_);
  EXPECT_EQ(profiles.state, ProfileStoreState::kLoaded);
  EXPECT_EQ(profiles.profiles.size(), 2u);
  EXPECT_EQ(profiles.dropped_bytes, 100);
  EXPECT_EQ(profiles.header->selected(), 1);

  // The file is kept whole beside the store before the next write drops the partial record.
  EXPECT_EQ(ReadFileBytes(profiles.set_aside_path), StoreImage(2, 1) + QByteArray(100, 'z'));
  ASSERT_TRUE(Stores().WriteProfileStore(profiles.profiles, *profiles.header));
  EXPECT_EQ(ReadFileBytes(Stores().ProfileStorePath()), StoreImage(2, 1));
}

TEST_F(StoreFilesTest, MacroAndGunStoresAreExactImages) {
  MacroList macros;
  macros.push_back(NewMacro(u"M"));
  macros[0]->set_reserved(0xDEADBEEF);
  macros[0]->set_action_count(999);  // damaged counts are stored as they are
  GunList guns;
  guns.push_back(NewGun(u"G"));
  guns.push_back(NewGun(u"H"));
  guns[1]->bytes()[110] = 0x77;  // a reserved byte

  ASSERT_TRUE(Stores().WriteMacroStore(macros));
  ASSERT_TRUE(Stores().WriteGunStore(guns));
  EXPECT_EQ(ReadFileBytes(Stores().MacroStorePath()), ToByteArray(macros[0]->bytes()));
  EXPECT_EQ(ReadFileBytes(Stores().GunStorePath()),
            ToByteArray(guns[0]->bytes()) + ToByteArray(guns[1]->bytes()));

  auto read_guns = Stores().ReadGunStore();
  ASSERT_EQ(read_guns.records.size(), 2u);
  EXPECT_TRUE(*read_guns.records[1] == *guns[1]);
  EXPECT_EQ(Stores().ReadMacroStore().records[0]->used_action_count(), 46u);

  // An emptied list leaves an empty file, not a missing one.
  guns.clear();
  ASSERT_TRUE(Stores().WriteGunStore(guns));
  EXPECT_TRUE(QFileInfo::exists(Stores().GunStorePath()));
  EXPECT_EQ(QFileInfo(Stores().GunStorePath()).size(), 0);
}

TEST_F(StoreFilesTest, FailedWriteLeavesTheOldStoreWhole) {
  auto contents = Stores().ReadProfileStore(language_);
  const QByteArray before = ReadFileBytes(Stores().ProfileStorePath());

  contents.profiles.push_back(NewProfile(u"Second"));
  contents.profiles.push_back(nullptr);  // the write fails half way
  EXPECT_FALSE(Stores().WriteProfileStore(contents.profiles, *contents.header));
  EXPECT_EQ(ReadFileBytes(Stores().ProfileStorePath()), before);
  EXPECT_EQ(StoreFolderEntries(), QStringList{"pro.data"});  // no temporary file left
}

// A writer killed between naming its temporary file and the rename leaves the file behind;
// the next start removes such leftovers of each store, and nothing else.
TEST_F(StoreFilesTest, ReadsRemoveWhatAnInterruptedWriteLeftBehind) {
  MakeStoreFolder();
  const QString folder = DataFolder() + "ms_1/";
  WriteFileBytes(folder + "pro.data", StoreImage(2, 1));
  for (const char* name :
       {"pro.data.aB3xYz", "macro.data.Q1w2E3", "gun.data.zzzzzz", "pro.data.damaged",
        "pro.data.damaged-2", "pro.data.my-123", "pro.data.abcdefg", "notes.txt.abcdef"}) {
    WriteFileBytes(folder + name, "x");
  }

  EXPECT_EQ(Stores().ReadProfileStore(language_).profiles.size(), 2u);
  EXPECT_TRUE(Stores().ReadMacroStore().records.empty());
  EXPECT_TRUE(Stores().ReadGunStore().records.empty());
  EXPECT_EQ(StoreFolderEntries(),
            (QStringList{"notes.txt.abcdef", "pro.data", "pro.data.abcdefg", "pro.data.damaged",
                         "pro.data.damaged-2", "pro.data.my-123"}));
}

TEST_F(StoreFilesTest, MissingFoldersAreMadeAgainAndABlockedFolderFailsQuietly) {
  auto contents = Stores().ReadProfileStore(language_);
  ASSERT_TRUE(QDir(DataFolder()).removeRecursively());
  EXPECT_TRUE(Stores().WriteProfileStore(contents.profiles, *contents.header));
  EXPECT_EQ(QFileInfo(Stores().ProfileStorePath()).size(), 249820);

  ASSERT_TRUE(QDir(DataFolder()).removeRecursively());
  WriteFileBytes(dir_.path() + "/Data", "not a folder");
  EXPECT_FALSE(Stores().WriteProfileStore(contents.profiles, *contents.header));
  EXPECT_FALSE(Stores().WriteMacroStore({}));
  auto again = Stores().ReadProfileStore(language_);
  EXPECT_EQ(again.state, ProfileStoreState::kCreated);
  EXPECT_FALSE(again.written);
  EXPECT_EQ(again.profiles.size(), 1u);
}

TEST_F(StoreFilesTest, WritesFromTwoThreadsNeverTear) {
  auto first = Stores().ReadProfileStore(language_);
  ProfileList second;
  second.push_back(NewProfile(u"A"));
  second.push_back(NewProfile(u"B"));
  const ProfileStoreHeader& header = *first.header;

  std::thread worker([&] {
    for (int i = 0; i < 15; ++i) Stores().WriteProfileStore(second, header);
  });
  for (int i = 0; i < 15; ++i) Stores().WriteProfileStore(first.profiles, header);
  worker.join();

  const qint64 size = QFileInfo(Stores().ProfileStorePath()).size();
  EXPECT_TRUE(size == kHeader + kProfile || size == kHeader + 2 * kProfile) << size;
  EXPECT_EQ(Stores().ReadProfileStore(language_).dropped_bytes, 0);
  EXPECT_EQ(StoreFolderEntries(), QStringList{"pro.data"});
}

}  // namespace
}  // namespace mokta

namespace mokta {
namespace {

// Walks every reader-facing part of a record the way later users will: names, counts and the
// entries those counts cover. Under the sanitizers this shows that no damaged count or name
// leads outside a record.
std::uint64_t TouchEverything(const ProfileData& p) {
  std::uint64_t sum = static_cast<std::uint64_t>(p.name().size());
  for (std::size_t slot = 0; slot < kButtonSlots; ++slot) {
    const ButtonData& b = p.button(slot);
    sum += static_cast<std::uint64_t>(b.bind_name().size());
    for (std::size_t i = 0; i < b.used_macro_step_count(); ++i) sum += b.macro_step(i).code;
    for (std::size_t i = 0; i < b.used_gun_step_count(); ++i) sum += b.gun_step(i).delay;
  }
  return sum;
}
std::uint64_t TouchEverything(const MacroData& m) {
  return static_cast<std::uint64_t>(MacroSizeUnits(m)) +
         static_cast<std::uint64_t>(m.name().size());
}
std::uint64_t TouchEverything(const GunData& g) {
  std::uint64_t sum = static_cast<std::uint64_t>(g.name().size());
  for (std::size_t i = 0; i < g.used_count(); ++i) sum += static_cast<std::uint32_t>(g.bullet(i).x);
  return sum;
}

TEST_F(StoreFilesTest, RandomBytesNeverLeadOutsideARecord) {
  std::srand(1234);
  auto noise = [](qint64 size) {
    QByteArray bytes(size, '\0');
    for (auto& c : bytes) c = static_cast<char>(std::rand() % 4 == 0 ? 0 : std::rand());
    return bytes;
  };
  MakeStoreFolder();
  for (int round = 0; round < 6; ++round) {
    WriteFileBytes(Stores().ProfileStorePath(), noise(kHeader + kProfile * (round % 3) + round));
    WriteFileBytes(Stores().MacroStorePath(), noise(240 * round + round));
    WriteFileBytes(Stores().GunStorePath(), noise(476 * round + 3));
    auto profiles = Stores().ReadProfileStore(language_);
    ASSERT_FALSE(profiles.profiles.empty());
    ASSERT_LT(static_cast<std::size_t>(profiles.header->selected()), profiles.profiles.size());
    std::uint64_t sum = 0;
    for (const auto& p : profiles.profiles) sum += TouchEverything(*p);
    for (const auto& m : Stores().ReadMacroStore().records) sum += TouchEverything(*m);
    for (const auto& g : Stores().ReadGunStore().records) sum += TouchEverything(*g);
    EXPECT_NE(sum, ~std::uint64_t{0});  // keeps the walk from being optimised away
  }
}

}  // namespace
}  // namespace mokta
