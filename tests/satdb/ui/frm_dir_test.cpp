// The TLE file chooser: its controls, folder browsing, select-all, the perigee limit with its question,
// and the import it runs on OK.

#include "satdb/ui/frm_dir.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "satdb/satdb.h"
#include "base/ui/frmz.h"
#include "session/app_state.h"
#include "test_paths.h"
#include "ui_test_support.h"

using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

class FrmDirTest : public ::testing::Test {
protected:
  void SetUp() override {
    app_.appDir = dir_.appDir();
    input_ = dir_.path() / "input";
    WriteFile(input_ / "b_stations.txt", ReadFile(TestDataDir() / "tle" / "stations_3line.txt"));
    WriteFile(input_ / "a_iss.tle", ReadFile(TestDataDir() / "tle" / "iss_four_epochs.txt"));
    WriteFile(input_ / "c_cut.txt", "1 00011U 59001A   26001.00000000\r\n");
    WriteFile(input_ / "frame.jpg", "not a tle file");
    std::filesystem::create_directory(input_ / "sub");
    progress_ = std::make_unique<Frmz>(app_.longTaskRunning);
    window_ = std::make_unique<FrmDir>(TaskContext{app_.appDir, app_.catalogueReady, app_.longTaskRunning, progress_.get()});
    window_->show();
    window_->SetDirectory(QString::fromStdString(input_.string()));
  }
  QListWidget* List1() { return Find<QListWidget>(window_.get(), "List1"); }
  void Select(int row) { List1()->item(row)->setSelected(true); }
  void Ok() { Find<QPushButton>(window_.get(), "cmdok")->click(); }
  bool InDatabase(int number) { return std::filesystem::exists(SatelliteFilePath(app_.appDir, number)); }

  TempDir dir_;
  std::filesystem::path input_;
  AppState app_;
  std::unique_ptr<Frmz> progress_;
  std::unique_ptr<FrmDir> window_;
  MessageRecorder messages_;
};

}  // namespace

TEST_F(FrmDirTest, ShowsTheFolderFilesAndItsDefaults) {
  AppState fresh;
  fresh.appDir = dir_.appDir();
  FrmDir opened(TaskContext{fresh.appDir, fresh.catalogueReady, fresh.longTaskRunning, nullptr});
  EXPECT_EQ(opened.windowTitle(), QStringLiteral("Выбрать файлы"));
  EXPECT_EQ(QDir(opened.Directory()), QDir::home());  // no folder used yet
  EXPECT_TRUE(Find<QCheckBox>(&opened, "chper")->isChecked());
  EXPECT_EQ(Find<QCheckBox>(&opened, "chper")->text(), QStringLiteral("Не вводить ИСЗ с перигеем более чем [км]"));
  EXPECT_EQ(Find<QLineEdit>(&opened, "txtp")->text(), QStringLiteral("20000"));
  EXPECT_EQ(Find<QCheckBox>(&opened, "ChAll")->text(), QStringLiteral("Ввести все файлы"));
  EXPECT_NE(Find<QComboBox>(&opened, "Drive1"), nullptr);
  EXPECT_NE(Find<QListWidget>(&opened, "File1"), nullptr);

  ASSERT_EQ(List1()->count(), 3);  // the element-set files only, in name order
  EXPECT_EQ(List1()->item(0)->text(), QStringLiteral("a_iss.tle"));
  EXPECT_EQ(List1()->item(1)->text(), QStringLiteral("b_stations.txt"));
  EXPECT_EQ(List1()->item(2)->text(), QStringLiteral("c_cut.txt"));

  // Entering the subfolder refills the list; ".." goes back.
  QListWidget* dir1 = Find<QListWidget>(window_.get(), "Dir1");
  const auto items = dir1->findItems(QStringLiteral("sub"), Qt::MatchExactly);
  ASSERT_EQ(items.size(), 1);
  emit dir1->itemActivated(items[0]);
  EXPECT_EQ(List1()->count(), 0);
  emit dir1->itemActivated(dir1->findItems(QStringLiteral(".."), Qt::MatchExactly).value(0));
  EXPECT_EQ(List1()->count(), 3);

  // Element messages in JSON, XML and CSV are offered beside the two-line files.
  WriteFile(input_ / "d_omm.json", "[{\"NORAD_CAT_ID\":25544,\"MEAN_MOTION\":15.5}]");
  WriteFile(input_ / "e_omm.xml", "<NORAD_CAT_ID>25544</NORAD_CAT_ID>");
  WriteFile(input_ / "f_omm.csv", "OBJECT_NAME,NORAD_CAT_ID,MEAN_MOTION\r\n");
  window_->SetDirectory(QString::fromStdString(input_.string()));
  ASSERT_EQ(List1()->count(), 6);
  EXPECT_EQ(List1()->item(5)->text(), QStringLiteral("f_omm.csv"));
}

TEST_F(FrmDirTest, SelectAllBoxSelectsAndDeselectsEveryFile) {
  QCheckBox* all = Find<QCheckBox>(window_.get(), "ChAll");
  all->click();
  EXPECT_EQ(List1()->selectedItems().size(), 3);
  all->click();
  EXPECT_TRUE(List1()->selectedItems().empty());
}

TEST_F(FrmDirTest, LowPerigeeLimitAsksFirstAndNoReturnsToTheDialog) {
  Select(1);
  messages_.answers.push_back(MessageAnswer::No);
  Find<QLineEdit>(window_.get(), "txtp")->setText(QStringLiteral("6900,5"));  // "," is read as the point
  Ok();
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0].text, QStringLiteral("Вы уверены в значении граничного перигея?"));
  EXPECT_EQ(messages_.messages[0].caption, QStringLiteral("Сообщение"));
  EXPECT_EQ(messages_.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(InDatabase(25544));

  messages_.Clear();
  messages_.answers.push_back(MessageAnswer::Yes);
  Ok();
  EXPECT_EQ(messages_.messages.size(), 2u);  // the question and the import's summary
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(InDatabase(25544));
  EXPECT_FALSE(InDatabase(49271));  // perigee about 7250 km; the station's is about 6790 km
  EXPECT_FALSE(InDatabase(41866));
  EXPECT_FALSE(app_.longTaskRunning);
}

TEST_F(FrmDirTest, ImportsEverySelectedFileAndReportsTheBadOne) {
  Find<QCheckBox>(window_.get(), "chper")->setChecked(false);
  Find<QCheckBox>(window_.get(), "ChAll")->click();
  Ok();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(InDatabase(41866));  // no limit: the geostationary satellite too
  EXPECT_EQ(ParseSatelliteFile(ReadFile(SatelliteFilePath(app_.appDir, 25544))).sets.size(), 5u);
  const QString cut = QString::fromStdString((input_ / "c_cut.txt").string());
  // The two good files hold 4 + 7 sets of 7 satellites, all epochs different; the cut file reads as nothing.
  // The refusal names the file; its cause follows on a second line.
  ASSERT_EQ(messages_.Texts().size(), 2u);
  EXPECT_TRUE(messages_.Texts()[0].startsWith(QStringLiteral("Ошибка в файле ") + cut +
                                              QStringLiteral(" . Проверьте формат.\n")));
  EXPECT_EQ(messages_.Texts()[1], QStringLiteral("Ввод TLE закончен.\nПрочитано файлов: 2 из 3, наборов TLE: 11.\n"
                                                 "Новых ИСЗ: 7. Добавлено наборов: 11.\nОтброшено равных наборов: 0.\n"
                                                 "Пропущено наборов: 0."));
  EXPECT_FALSE(InDatabase(11));
  EXPECT_FALSE(app_.longTaskRunning);
}

TEST_F(FrmDirTest, SummaryCountsEqualSetsOfASecondImportAndSetsAboveTheLimit) {
  Find<QCheckBox>(window_.get(), "chper")->setChecked(false);
  Select(0);  // a_iss.tle: four epochs of one satellite
  Ok();
  messages_.Clear();
  window_->show();
  window_->SetDirectory(QString::fromStdString(input_.string()));
  Find<QCheckBox>(window_.get(), "chper")->setChecked(true);  // 20000 km: the geostationary set is skipped
  Select(0);
  Select(1);
  Ok();
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0].text,
            QStringLiteral("Ввод TLE закончен.\nПрочитано файлов: 2 из 2, наборов TLE: 11.\n"
                           "Новых ИСЗ: 5. Добавлено наборов: 6.\nОтброшено равных наборов: 4.\n"
                           "Пропущено наборов: 1 (перигей выше границы — 1)."));
}

TEST_F(FrmDirTest, ListsOnlyFilesThatLookLikeElementSetsAndOpensATypedFolder) {
  WriteFile(input_ / "sub" / "notes.txt", "Observing log, clear sky.\r\n");
  WriteFile(input_ / "sub" / "omm.txt", "OBJECT_NAME,NORAD_CAT_ID,MEAN_MOTION\r\n");
  auto* path = Find<QLineEdit>(window_.get(), "txtpath");
  path->setText(QString::fromStdString((input_ / "sub").string()));
  emit path->returnPressed();
  ASSERT_EQ(List1()->count(), 1);
  EXPECT_EQ(List1()->item(0)->text(), QStringLiteral("omm.txt"));
}

TEST_F(FrmDirTest, OkWithoutFilesOrSelectionJustCloses) {
  Ok();  // nothing selected
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(ListDatabaseFiles(app_.appDir).empty());
  window_->show();
  window_->SetDirectory(QString::fromStdString((input_ / "sub").string()));
  Ok();  // empty list
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(messages_.messages.empty());
}
