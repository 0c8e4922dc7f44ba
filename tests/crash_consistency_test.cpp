// "pro.data" survives a writer killed at any moment: a child process rewrites the store in a
// loop, one profile and a hundred by turns, and is killed with SIGKILL at random moments; after
// each kill the program's reader must find one of the two stores whole.
//
// MOKTA_CRASH_KILLS sets the number of kills (default 200, ended early after 5 s: a slow disk
// or a sanitizer must not hold up the whole run; a number that is given is always done in
// full), MOKTA_CRASH_SEED the seed of the kill moments (default: from the clock; printed with
// every failure).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "data/store_files.h"

namespace mokta {
namespace {

int EnvInt(const char* name, int fallback) {
  const QByteArray value = qgetenv(name);
  bool ok = false;
  const int n = value.toInt(&ok);
  return ok && n > 0 ? n : fallback;
}

int ThreadCount() {
  return static_cast<int>(
      QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// A store of `count` profiles in which every byte says which store and which record it
// belongs to: the name, a few settings and the selected profile differ between all of them.
struct StoreImage {
  ProfileList profiles;
  ProfileStoreHeader header;
};

StoreImage MakeStore(int count) {
  StoreImage store;
  for (int i = 0; i < count; ++i) {
    auto profile = NewProfile(QStringLiteral("S%1-P%2").arg(count).arg(i));
    profile->set_brightness(i % 10);
    profile->set_dpi_x(i % 8, 100 + 50 * (i % 100));
    profile->set_light_effect(count == 1 ? 3 : 5);
    store.profiles.push_back(std::move(profile));
  }
  store.header.set_selected(count - 1);
  return store;
}

// Empty when `read` is exactly `expected`, else what differs.
std::string Differences(const ProfileStoreContents& read, const StoreImage& expected) {
  if (read.profiles.size() != expected.profiles.size()) {
    return "profile count " + std::to_string(read.profiles.size());
  }
  if (read.header->selected() != expected.header.selected()) return "selected profile differs";
  for (std::size_t i = 0; i < read.profiles.size(); ++i) {
    if (std::memcmp(read.profiles[i]->bytes().data(), expected.profiles[i]->bytes().data(),
                    ProfileData::kSize) != 0) {
      return "profile " + std::to_string(i) + " differs";
    }
  }
  return {};
}

TEST(CrashConsistency, ProfileStoreIsWholeAfterTheWriterIsKilledAtAnyMoment) {
  const int kills = EnvInt("MOKTA_CRASH_KILLS", 200);
  const bool budgeted = qEnvironmentVariableIsEmpty("MOKTA_CRASH_KILLS");
  const auto budget_end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  const auto seed = static_cast<std::uint32_t>(EnvInt(
      "MOKTA_CRASH_SEED",
      static_cast<int>(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF)));
  SCOPED_TRACE("MOKTA_CRASH_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const StoreFiles stores(dir.path() + QStringLiteral("/Data/"));
  const StoreImage small = MakeStore(1);
  const StoreImage large = MakeStore(100);
  // A store is there before the first kill, so the reader never has to make one.
  ASSERT_TRUE(stores.WriteProfileStore(small.profiles, small.header));

  // How long one write of each kind takes here, so that the kill moments spread over a few
  // writes whatever the disk.
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(stores.WriteProfileStore(large.profiles, large.header));
  ASSERT_TRUE(stores.WriteProfileStore(small.profiles, small.header));
  const auto cycle = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - before);
  std::uniform_int_distribution<std::int64_t> moment(
      0, 2 * std::max<std::int64_t>(cycle.count(), 1000));

  // fork() copies only the calling thread: the child must not need another.
  ASSERT_EQ(ThreadCount(), 1);
  const MapLanguageTexts language({{"add_profile_text", "Profile"}});
  int large_seen = 0;
  int small_seen = 0;
  int kill_no = 0;
  for (; kill_no < kills; ++kill_no) {
    if (budgeted && kill_no >= 50 && std::chrono::steady_clock::now() > budget_end) break;
    const pid_t child = fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
      for (bool many = kill_no % 2 == 0;; many = !many) {
        const StoreImage& store = many ? large : small;
        if (!stores.WriteProfileStore(store.profiles, store.header)) _exit(3);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status))
        << "kill " << kill_no << ": the writer failed, status " << status;

    const ProfileStoreContents read = stores.ReadProfileStore(language);
    ASSERT_EQ(read.state, StoreState::kLoaded) << "kill " << kill_no;
    EXPECT_EQ(read.dropped_bytes, 0) << "kill " << kill_no;
    EXPECT_TRUE(read.set_aside_path.isEmpty()) << "kill " << kill_no;
    const bool many = read.profiles.size() == large.profiles.size();
    const std::string differences = Differences(read, many ? large : small);
    ASSERT_EQ(differences, "") << "kill " << kill_no;
    ++(many ? large_seen : small_seen);
    // Nothing set aside, and no half-written file left behind to fill the folder.
    const QStringList entries =
        QDir(stores.StoreFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    ASSERT_EQ(entries.join(QLatin1Char(' ')).toStdString(), "pro.data") << "kill " << kill_no;
  }
  // Both stores were met; a run that never caught the writer between its two stores would
  // prove little.
  if (kill_no >= 50) {
    EXPECT_GT(large_seen, 0);
    EXPECT_GT(small_seen, 0);
  }
  std::printf(
      "%d kills: %d times the large store, %d times the small one (seed %u; the two "
      "writes took %lld us)\n",
      kill_no, large_seen, small_seen, seed, static_cast<long long>(cycle.count()));
}

}  // namespace
}  // namespace mokta
