// The owner of the mouse's data and link: what it reads at start-up, the one place every store
// write and export reports to, and its shutdown.

#include "app/mouse_core.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
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
  for (const FileResult& result : results_) EXPECT_FALSE(result.ok) << result.path.toStdString();
  EXPECT_EQ(results_[1].operation, FileOperation::kWriteMacroStore);
  EXPECT_EQ(results_[2].operation, FileOperation::kWriteGunStore);
  EXPECT_EQ(results_[3].operation, FileOperation::kWriteProfileStore);
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
