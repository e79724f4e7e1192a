// Long tasks started from a window survive what the user can do meanwhile: choosing the same command
// again, opening a frame, closing the window. The window that runs the task is not deleted under it, the
// task finishes, and every database file is whole.

#include "base/ui/long_task.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "base/ui/file_dialog.h"
#include "desktop/main_window.h"
#include "satdb/satdb.h"
#include "satdb/ui/frm_clear.h"
#include "satdb/ui/frm_dir.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using testing_support::MessageRecorder;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

template <typename W>
W* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name && w->isVisible()) return qobject_cast<W*>(w);
  }
  return nullptr;
}

class LongTaskTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetFileDialogInterceptor([this](const QString&, const QString&, const QString&) { return chosenFile_; });
    WriteFile(dir_.path() / "bin8.dat", std::string(1200, '\0'));
    window_ = std::make_unique<MainWindow>(QString::fromStdString(dir_.path().string()));
    window_->StartUp();
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(20, 20, 20));
    frame_ = QString::fromStdString((dir_.path() / "frame.bmp").string());
    image.save(frame_, "BMP");
  }
  void TearDown() override {
    window_.reset();
    SetFileDialogInterceptor({});
  }
  // Every database file parses with at least one set, and no temporary file is left.
  void ExpectWholeDatabase(std::size_t atLeast) {
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "TLE")) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
      if (entry.path().extension() != ".tle") continue;
      ++files;
      EXPECT_FALSE(ParseSatelliteFile(ReadFile(entry.path())).sets.empty()) << name;
    }
    EXPECT_GE(files, atLeast);
  }
  // Imports the shared active-satellites catalogue through the import window; during the run, `during`
  // is called once the import has begun yielding.
  void ImportCatalogue(const std::function<void(FrmDir*)>& during) {
    window_->Action("mnuLoadTleDir")->trigger();
    QPointer<FrmDir> importer = TopLevel<FrmDir>("FrmDir");
    ASSERT_NE(importer, nullptr);
    importer->SetDirectory(QString::fromStdString(input_.string()));
    testing_support::Find<QCheckBox>(importer, "chper")->setChecked(false);
    testing_support::Find<QCheckBox>(importer, "ChAll")->click();
    bool ran = false;
    QTimer::singleShot(60, importer, [&] {
      ran = true;
      ASSERT_TRUE(window_->App().longTaskRunning) << "the import ended before the user acted";
      during(importer);
      // Deletions that the user's actions asked for happen now, while the import is still running.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_FALSE(importer.isNull()) << "the running import's window was deleted";
    });
    testing_support::Find<QPushButton>(importer, "cmdok")->click();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(window_->App().longTaskRunning);
  }

  TempDir dir_;
  fs::path input_ = dir_.path() / "input";
  MessageRecorder messages_;
  QString chosenFile_;
  QString frame_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace

TEST_F(LongTaskTest, ImportAndCleanupSurviveTheirCommandsChosenAgainAFrameOpenedAndTheirWindowClosed) {
  const fs::path catalogue = SharedDataDir() / "tle" / "celestrak_active_2026-05-07_15347obj.txt";
  ORVIA_REQUIRE_SHARED_FILE(catalogue);
  fs::create_directories(input_);
  fs::copy_file(catalogue, input_ / "active.txt");

  // Import: the command chosen again, then a frame opened (which closes the tool windows).
  ImportCatalogue([&](FrmDir*) {
    window_->Action("mnuLoadTleDir")->trigger();
    chosenFile_ = frame_;
    window_->Action("mnuOpenIm")->trigger();
  });
  ExpectWholeDatabase(14000);

  // Cleanup by age: closing its window and choosing the command again while it runs.
  window_->Action("mnuClear")->trigger();
  QPointer<FrmClear> cleaner = TopLevel<FrmClear>("FrmClear");
  ASSERT_NE(cleaner, nullptr);
  testing_support::Find<QCheckBox>(cleaner, "Chd")->setChecked(true);
  testing_support::Find<QLineEdit>(cleaner, "txtd")->setText(QStringLiteral("100000"));
  bool ran = false;
  QTimer::singleShot(30, cleaner, [&] {
    ran = true;
    cleaner->close();
    window_->Action("mnuClear")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(cleaner.isNull()) << "the running cleanup's window was deleted";
  });
  testing_support::Find<QPushButton>(cleaner, "cmdok")->click();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(window_->App().longTaskRunning);
  EXPECT_TRUE(window_->App().catalogueReady);
  ExpectWholeDatabase(14000);
}

// The progress window's close button cancels as "Отмена" does; a task that cannot be cancelled keeps it open.
TEST(ProgressWindow, CloseButtonCancelsLikeTheCancelButton) {
  for (const bool cancellable : {true, false}) {
    bool running = false;
    Frmz progress(running);
    LongTaskGuard guard({running, nullptr}, &progress, QStringLiteral("Идет импорт"), cancellable);
    progress.close();
    EXPECT_EQ(guard.Cancelled(), cancellable);
    EXPECT_EQ(progress.isVisible(), !cancellable);
  }
}
