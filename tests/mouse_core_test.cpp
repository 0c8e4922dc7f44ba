// The owner of the mouse's data and link: what it reads at start-up, the one place every store
// write and export reports to, and its shutdown.

#include "app/mouse_core.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <vector>

#include "app/hook_table.h"

namespace mokta {
namespace {

class MouseCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  // A core over `data_folder` that finds no driver or hook library and no Bluetooth LE.
  MouseCoreOptions Options(const QString& data_folder) {
    MouseCoreOptions options;
    options.data_folder = data_folder;
    options.host.driver_folder = dir_.path() + "/no-drivers/";
    options.hook_library = dir_.path() + "/no-drivers/libHook.so";
    options.use_system_ble = false;
    return options;
  }
  QString DataFolder() { return dir_.path() + "/Data/"; }
  // A data folder that can never be made: a plain file stands where its parent should be.
  QString BlockedFolder() {
    QFile file(dir_.path() + "/file");
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return dir_.path() + "/file/Data/";
  }
  // Records every result the core reports, and the thread it was reported on.
  void Observe(MouseCore& core) {
    core.set_file_result_observer([this](const FileResult& result) {
      results_.push_back(result);
      on_ui_thread_ = on_ui_thread_ && QThread::currentThread() == qApp->thread();
    });
  }

  QTemporaryDir dir_;
  MapLanguageTexts language_{{{"add_profile_text", "Profile"}}};
  std::vector<FileResult> results_;
  bool on_ui_thread_ = true;
};

TEST_F(MouseCoreTest, FirstStartMakesTheProfileStoreReportsItAndAsksToSendEverything) {
  MouseCore core(Options(DataFolder()));
  Observe(core);
  core.LoadStores(language_);

  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].operation, FileOperation::kWriteProfileStore);
  EXPECT_TRUE(results_[0].ok);
  EXPECT_EQ(results_[0].path, DataFolder() + "ms_1/pro.data");
  EXPECT_TRUE(QFileInfo::exists(results_[0].path));
  ASSERT_EQ(core.session().profiles().size(), 1u);
  EXPECT_TRUE(core.session().send_all_requested());  // the first pass sends everything
  EXPECT_EQ(*core.session().AppliedCopy(), core.session().current());
  EXPECT_TRUE(core.macros().empty());
  EXPECT_TRUE(core.guns().empty());
}

TEST_F(MouseCoreTest, EveryStoreWriteAndExportReportsWhatCameOfIt) {
  MouseCore core(Options(DataFolder()));
  core.LoadStores(language_);
  Observe(core);
  core.macros().push_back(NewMacro(u"Reload"));
  EXPECT_TRUE(core.SaveMacroStore());
  EXPECT_TRUE(core.SaveGunStore());
  const QString exported = dir_.path() + "/out.pro";
  EXPECT_EQ(core.ExportProfile(core.session().current(), exported), FileStatus::kOk);
  EXPECT_NE(core.ExportProfile(core.session().current(), dir_.path() + "/missing/out.pro"),
            FileStatus::kOk);
  ASSERT_EQ(results_.size(), 4u);
  EXPECT_EQ(results_[0].operation, FileOperation::kWriteMacroStore);
  EXPECT_TRUE(results_[0].ok);
  EXPECT_EQ(results_[1].operation, FileOperation::kWriteGunStore);
  EXPECT_TRUE(results_[1].ok);
  EXPECT_EQ(results_[2].operation, FileOperation::kExportProfile);
  EXPECT_TRUE(results_[2].ok);
  EXPECT_EQ(results_[2].path, exported);
  EXPECT_EQ(results_[3].operation, FileOperation::kExportProfile);
  EXPECT_FALSE(results_[3].ok);

  // The profile store is written on the session's writer thread; its result reaches the
  // observer on the UI thread, through the event loop.
  results_.clear();
  core.SaveProfileStoreLater();
  core.session().FlushStore();
  QCoreApplication::sendPostedEvents();
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].operation, FileOperation::kWriteProfileStore);
  EXPECT_TRUE(results_[0].ok);
  EXPECT_TRUE(on_ui_thread_);
}

TEST_F(MouseCoreTest, WritesThatFailAreReportedAsFailures) {
  MouseCore core(Options(BlockedFolder()));
  Observe(core);
  core.LoadStores(language_);  // no store could be made: a default profile in memory
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_FALSE(results_[0].ok);
  EXPECT_EQ(core.session().profiles().size(), 1u);

  EXPECT_FALSE(core.SaveMacroStore());
  EXPECT_FALSE(core.SaveGunStore());
  core.SaveProfileStoreLater();
  core.session().FlushStore();
  QCoreApplication::sendPostedEvents();
  ASSERT_EQ(results_.size(), 4u);
  for (const FileResult& result : results_) {
    EXPECT_FALSE(result.ok) << result.path.toStdString();
    EXPECT_EQ(result.problem, FileProblem::kWriteFailed);
  }
  EXPECT_EQ(results_[1].operation, FileOperation::kWriteMacroStore);
  EXPECT_EQ(results_[2].operation, FileOperation::kWriteGunStore);
  EXPECT_EQ(results_[3].operation, FileOperation::kWriteProfileStore);
  // Told once per failure, not once per retry: the profile store failed at start already.
  EXPECT_FALSE(results_[0].repeated);
  EXPECT_FALSE(results_[1].repeated);
  EXPECT_FALSE(results_[2].repeated);
  EXPECT_TRUE(results_[3].repeated);

  // Once a write of it succeeds, its next failure is news again.
  const QString blocker = dir_.path() + "/file";
  ASSERT_TRUE(QFile::remove(blocker));
  EXPECT_TRUE(core.SaveMacroStore());
  ASSERT_TRUE(QDir(blocker).removeRecursively());
  QFile(blocker).open(QIODevice::WriteOnly);
  EXPECT_FALSE(core.SaveMacroStore());
  EXPECT_FALSE(core.SaveMacroStore());
  ASSERT_EQ(results_.size(), 7u);
  EXPECT_TRUE(results_[4].ok);
  EXPECT_FALSE(results_[5].repeated);
  EXPECT_TRUE(results_[6].repeated);
}

// An edit made while no apply pass can run (no mouse) is on disk after the shutdown.
TEST_F(MouseCoreTest, AnEditWithoutTheMouseIsOnDiskAfterShutdown) {
  {
    MouseCore core(Options(DataFolder()));
    core.StartLink(nullptr);  // no libraries: no pass ever runs
    core.LoadStores(language_);
    core.session().EditCurrent([](ProfileData& p) { p.set_prate(1); });
    core.Shutdown();
    StoreFiles stores(DataFolder());
    EXPECT_EQ(stores.ReadProfileStore(language_).profiles.at(0)->prate(), 1);
  }
}

// Stores found at start that cannot be read are told (naming the file), left as they are and
// never written; a damaged one is told with the place it was kept. The warnings are logged
// under "mokta.store".
TEST_F(MouseCoreTest, StoresThatCannotBeReadAreToldOnceAndLeftAlone) {
  const QString folder = DataFolder() + "ms_1/";
  ASSERT_TRUE(QDir().mkpath(folder + "pro.data"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "macro.data").constData(), 0600), 0);
  QFile gun(folder + "gun.data");
  ASSERT_TRUE(gun.open(QIODevice::WriteOnly));
  gun.write(QByteArray(476 + 10, 'g'));  // one whole pattern and a partial one
  gun.close();

  static QStringList warnings;
  warnings.clear();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString&) {
        if (type == QtWarningMsg) warnings << QString::fromLatin1(context.category);
      });
  MouseCore core(Options(DataFolder()));
  Observe(core);
  core.LoadStores(language_);
  ASSERT_EQ(results_.size(), 3u);
  EXPECT_EQ(results_[0].operation, FileOperation::kReadProfileStore);
  EXPECT_EQ(results_[0].problem, FileProblem::kNotRegularFile);
  EXPECT_EQ(results_[0].path, folder + "pro.data");
  EXPECT_EQ(results_[1].operation, FileOperation::kReadMacroStore);
  EXPECT_EQ(results_[1].problem, FileProblem::kNotRegularFile);
  EXPECT_EQ(results_[2].operation, FileOperation::kReadGunStore);
  EXPECT_EQ(results_[2].problem, FileProblem::kSetAside);
  EXPECT_EQ(results_[2].other_path, folder + "gun.data.damaged");
  EXPECT_EQ(core.guns().size(), 1u);
  ASSERT_EQ(core.session().profiles().size(), 1u);

  // Edits are kept in memory; the refused writes are not told again.
  core.session().EditCurrent([](ProfileData& p) { p.set_brightness(2); });
  core.macros().push_back(NewMacro(u"M"));
  EXPECT_FALSE(core.SaveMacroStore());
  core.Shutdown();
  qInstallMessageHandler(previous);
  ASSERT_EQ(results_.size(), 5u);
  EXPECT_EQ(results_[3].problem, FileProblem::kNotSaved);
  EXPECT_TRUE(results_[3].repeated);
  EXPECT_EQ(results_[4].operation, FileOperation::kWriteProfileStore);
  EXPECT_TRUE(results_[4].repeated);
  EXPECT_TRUE(QFileInfo(folder + "pro.data").isDir());
  EXPECT_FALSE(QFileInfo(folder + "macro.data").isFile());
  EXPECT_TRUE(QFileInfo::exists(folder + "macro.data"));
  EXPECT_FALSE(warnings.isEmpty());
  EXPECT_EQ(warnings.filter("mokta.store").size(), warnings.size())
      << warnings.join(' ').toStdString();
}

// Imports and exports report why they failed; a FIFO is refused at once and left as it is.
TEST_F(MouseCoreTest, FailedImportsAndExportsReportTheirReason) {
  MouseCore core(Options(DataFolder()));
  core.LoadStores(language_);
  Observe(core);
  const QString fifo = dir_.path() + "/pipe.pro";
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_EQ(core.ImportProfileFile(fifo).status, FileStatus::kNotRegularFile);
  EXPECT_EQ(core.ExportProfile(core.session().current(), fifo), FileStatus::kNotRegularFile);
  QFile small(dir_.path() + "/small.pro");
  ASSERT_TRUE(small.open(QIODevice::WriteOnly));
  small.write("x");
  small.close();
  EXPECT_EQ(core.ImportProfileFile(small.fileName()).status, FileStatus::kWrongSize);
  ASSERT_EQ(results_.size(), 3u);
  EXPECT_EQ(results_[0].operation, FileOperation::kImportProfile);
  EXPECT_EQ(results_[0].problem, FileProblem::kNotRegularFile);
  EXPECT_EQ(results_[1].operation, FileOperation::kExportProfile);
  EXPECT_EQ(results_[1].problem, FileProblem::kNotRegularFile);
  EXPECT_EQ(results_[2].problem, FileProblem::kWrongSize);
  EXPECT_EQ(results_[2].path, small.fileName());
  EXPECT_FALSE(QFileInfo(fifo).isFile());
  EXPECT_EQ(core.session().profiles().size(), 1u);
}

TEST_F(MouseCoreTest, WithoutLibrariesTheLinkStaysDownAndShutdownRunsOnce) {
  MouseCore core(Options(DataFolder()));
  core.StartLink(nullptr);
  core.LoadHooks();
  core.LoadStores(language_);
  ASSERT_NE(core.host(), nullptr);
  EXPECT_EQ(core.device_connected(), 0);
  EXPECT_EQ(core.problems().size(), 2);  // the cable's and the receiver's library
  ASSERT_NE(core.hooks(), nullptr);
  EXPECT_FALSE(core.hooks()->loaded());
  core.RequestApply();  // no link: nothing runs, nothing breaks

  core.Shutdown();
  EXPECT_EQ(core.hooks(), nullptr);
  core.Shutdown();
  core.StartLink(nullptr);  // too late: stays down
  EXPECT_EQ(core.device_connected(), 0);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
