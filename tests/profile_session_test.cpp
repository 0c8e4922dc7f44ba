// The profile session's store writes: from several threads at once, through its writer thread,
// and at its end. Built into thread_tests, so that the thread sanitizer sees these runs: the
// threads here meet only in the session's own locks.

#include "device/profile_session.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "data/store_files.h"

namespace mokta {
namespace {

class NoLanguage : public LanguageTexts {
 public:
  QString Text(const QString& key) const override { return key; }
};

ProfileStoreContents Stored(const StoreFiles& stores) {
  NoLanguage language;
  return stores.ReadProfileStore(language);
}

// Store writes from the UI thread and the worker at the same time: the file is always whole,
// and the last write holds the last state, whichever thread made it.
TEST(ProfileSession, ConcurrentStoreWritesLeaveTheNewestImage) {
  QTemporaryDir dir;
  StoreFiles stores(dir.path() + "/");
  ProfileSession session(&stores);
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      auto input = session.BeginPass();
      session.SaveStore();
      session.RecordApplied(input->current);
    }
  });
  for (int i = 1; i <= 20; ++i) {
    session.EditCurrent([i](ProfileData& p) { p.set_brightness(i); });
    session.SaveStore();
  }
  worker.join();

  ProfileStoreContents stored = Stored(stores);
  EXPECT_EQ(stored.state, ProfileStoreState::kLoaded);
  ASSERT_EQ(stored.profiles.size(), 1u);
  EXPECT_EQ(stored.profiles[0]->brightness(), 20);
}

// The mouse's own changes are written by the session's writer thread: the caller does not wait
// for the disk, a flush waits for the newest state, and a session that ends with a write still
// asked for writes it first.
TEST(ProfileSession, LaterWritesLandAndTheEndWaitsForThem) {
  QTemporaryDir dir;
  StoreFiles stores(dir.path() + "/");
  {
    ProfileSession session(&stores);
    session.FlushStore();  // nothing asked for: returns at once
    EXPECT_FALSE(QFile::exists(stores.ProfileStorePath()));
    std::thread pass([&] {
      for (int i = 0; i < 10; ++i) session.SaveStore();
    });
    for (int i = 1; i <= 30; ++i) {
      session.ApplyDeviceChange([i](ProfileData& current, ProfileData& applied) {
        current.set_dpi_step(i % 8);
        applied.set_dpi_step(i % 8);
      });
    }
    pass.join();
    session.FlushStore();
    EXPECT_EQ(Stored(stores).profiles.at(0)->dpi_step(), 30 % 8);

    session.EditCurrent([](ProfileData& p) { p.set_brightness(3); });
    session.SaveStoreLater();
  }  // the session ends here, with that write possibly not begun
  EXPECT_EQ(Stored(stores).profiles.at(0)->brightness(), 3);
}

// Several threads ask for writes and flush while the UI thread edits the list: every flush
// returns, and the session's end leaves the newest list on disk.
TEST(ProfileSession, WritesAskedForFromManyThreadsEndWithTheNewestList) {
  QTemporaryDir dir;
  StoreFiles stores(dir.path() + "/");
  constexpr int kEdits = 40;
  {
    ProfileSession session(&stores);
    std::vector<std::thread> askers;
    for (int t = 0; t < 3; ++t) {
      askers.emplace_back([&session] {
        for (int i = 1; i <= 30; ++i) {
          session.SaveStoreLater();
          if (i % 10 == 0) session.FlushStore();
        }
      });
    }
    for (int i = 1; i <= kEdits; ++i) {
      session.EditCurrent([i](ProfileData& p) { p.set_brightness(i % 9); });
      if (i % 10 == 0) {
        session.EditList([i](ProfileList& list, ProfileStoreHeader&, int& current) {
          list.push_back(NewProfile(QStringLiteral("Added %1").arg(i)));
          current = static_cast<int>(list.size()) - 1;
        });
      }
      session.SaveStoreLater();
    }
    for (std::thread& asker : askers) asker.join();
  }

  const ProfileStoreContents stored = Stored(stores);
  ASSERT_EQ(stored.profiles.size(), 1u + kEdits / 10);
  EXPECT_EQ(stored.profiles.back()->name(), QStringLiteral("Added %1").arg(kEdits));
  // The last edit went to the profile added before it.
  EXPECT_EQ(stored.profiles[kEdits / 10 - 1]->brightness(), kEdits % 9);
}

// A write that fails leaves the old file whole and is not retried; the flush still returns,
// and the next request writes everything as it is then.
TEST(ProfileSession, AFailedLaterWriteIsNotRetriedAndTheNextOneWritesEverything) {
  QTemporaryDir dir;
  StoreFiles stores(dir.path() + "/");
  ProfileSession session(&stores);
  session.EditCurrent([](ProfileData& p) { p.set_brightness(1); });
  session.SaveStoreLater();
  session.FlushStore();
  ASSERT_EQ(Stored(stores).profiles.at(0)->brightness(), 1);

  // With a file where the store's folder should be, the next write fails, root or not.
  const QByteArray before = [&] {
    QFile file(stores.ProfileStorePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  ASSERT_TRUE(QDir().rename(stores.StoreFolder(), dir.filePath("moved")));
  {
    QFile blocker(stores.StoreFolder());  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  session.EditCurrent([](ProfileData& p) { p.set_brightness(2); });
  session.SaveStoreLater();
  session.FlushStore();  // returns although the write failed

  ASSERT_TRUE(QFile::remove(stores.StoreFolder()));
  ASSERT_TRUE(QDir().rename(dir.filePath("moved"), stores.StoreFolder()));
  {
    QFile file(stores.ProfileStorePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "the failed write touched the old file";
  }
  session.FlushStore();  // nothing new asked for: no retry
  EXPECT_EQ(Stored(stores).profiles.at(0)->brightness(), 1);

  session.EditCurrent([](ProfileData& p) { p.set_dpi_step(5); });
  session.SaveStoreLater();
  session.FlushStore();
  const auto stored = Stored(stores);
  EXPECT_EQ(stored.profiles.at(0)->brightness(), 2);
  EXPECT_EQ(stored.profiles.at(0)->dpi_step(), 5);
}

}  // namespace
}  // namespace mokta

namespace mokta {
namespace {

// Every change through the session reaches the store without anyone asking, and a burst of
// changes settles into one write. The settle time here is an hour: only the flush, and the
// session's end, can have the writes made in time.
TEST(ProfileSession, EditsAreWrittenByThemselvesInOneWriteWhenFlushedOrAtTheEnd) {
  QTemporaryDir dir;
  StoreFiles stores(dir.path() + "/");
  {
    ProfileSession session(&stores, std::chrono::hours(1));
    std::atomic<int> writes = 0;
    session.set_store_write_observer([&](bool written, const QString&) {
      if (written) ++writes;
    });
    for (int i = 1; i <= 50; ++i)
      session.EditCurrent([i](ProfileData& p) { p.set_brightness(i % 9); });
    session.FlushStore();
    EXPECT_EQ(writes.load(), 1);
    EXPECT_EQ(Stored(stores).profiles.at(0)->brightness(), 50 % 9);

    session.EditList([](ProfileList& list, ProfileStoreHeader& header, int& current) {
      list.push_back(NewProfile(u"Added"));
      current = 1;
      header.set_selected(1);
    });
  }  // the end writes the list change at once, settle time or not
  const ProfileStoreContents stored = Stored(stores);
  ASSERT_EQ(stored.profiles.size(), 2u);
  EXPECT_EQ(stored.header->selected(), 1);
}

}  // namespace
}  // namespace mokta
