// The cleanup window: its controls, the rules chosen by its boxes, and the messages of its run.

#include "satdb/ui/frm_clear.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/calendar.h"
#include "satdb/satdb.h"
#include "base/ui/frmz.h"
#include "session/app_state.h"
#include "test_paths.h"
#include "ui_test_support.h"

using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const char* kLeoLine2 = "2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818";
const char* kGeoLine2 = "2 41866   0.4604  85.1784 0001206 117.4239  98.5240  1.00270589 35626";

// A one-set database file whose epoch lies the given number of days before the clock's time.
void StoreSet(const std::string& appDir, int number, double ageDays, const char* line2) {
  const double mjd = ClockMjdUtc(QDateTime::currentDateTimeUtc()) - ageDays;
  const int year = DateFromMjd(mjd, QDate::currentDate().year()).year;
  char line1[80];
  std::snprintf(line1, sizeof line1, "1 %05dU 98067A   %02d%012.8f  .00005236  00000+0  10178-3 0  999", number,
                year % 100, mjd - MjdFromDate(year, 1, 0, 0));
  line1[68] = static_cast<char>('0' + ElementLineChecksum(line1));  // cleanup leaves sets with a bad sum alone
  line1[69] = '\0';
  WriteFile(SatelliteFilePath(appDir, number), std::string(line1) + "\r\n" + line2 + "\r\n");
}

class FrmClearTest : public ::testing::Test {
protected:
  void SetUp() override {
    app_.appDir = dir_.appDir();
    app_.catalogueReady = true;
    progress_ = std::make_unique<Frmz>(app_.longTaskRunning);
    window_ = std::make_unique<FrmClear>(TaskContext{app_.appDir, app_.catalogueReady, app_.longTaskRunning, progress_.get()});
    window_->show();
  }
  bool InDatabase(int number) { return std::filesystem::exists(SatelliteFilePath(app_.appDir, number)); }
  void Ok() { Find<QPushButton>(window_.get(), "cmdok")->click(); }

  TempDir dir_;
  AppState app_;
  std::unique_ptr<Frmz> progress_;
  std::unique_ptr<FrmClear> window_;
  MessageRecorder messages_;
};

}  // namespace

TEST_F(FrmClearTest, OpensWithItsControls) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Очистка базы данных"));
  EXPECT_EQ(Find<QCheckBox>(window_.get(), "chP")->text(), QStringLiteral("Удалить tle для ИСЗ с перигеем больше"));
  EXPECT_TRUE(Find<QCheckBox>(window_.get(), "chP")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "txtPerig")->text(), QStringLiteral("20000"));
  EXPECT_EQ(Find<QLabel>(window_.get(), "lblkm")->text(), QStringLiteral("км"));
  EXPECT_EQ(Find<QCheckBox>(window_.get(), "Chd")->text(), QStringLiteral("Удалить tle с давностью больше"));
  EXPECT_TRUE(Find<QCheckBox>(window_.get(), "Chd")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "txtd")->text(), QStringLiteral("100"));
  EXPECT_EQ(Find<QLabel>(window_.get(), "lbld")->text(), QStringLiteral("суток"));
}

TEST_F(FrmClearTest, DefaultsDeleteHighAndStaleSatellites) {
  StoreSet(app_.appDir, 41866, 1, kGeoLine2);
  StoreSet(app_.appDir, 1001, 150, kLeoLine2);
  StoreSet(app_.appDir, 25544, 3, kLeoLine2);
  Ok();  // the recorder answers the question with "Да"
  EXPECT_FALSE(InDatabase(41866));
  EXPECT_FALSE(InDatabase(1001));
  EXPECT_TRUE(InDatabase(25544));
  EXPECT_FALSE(window_->isVisible());
  ASSERT_EQ(messages_.messages.size(), 2u);
  EXPECT_EQ(messages_.messages[0].text,
            QStringLiteral("Будут удалены файлы ИСЗ: 2 из 3 и наборы TLE: 2 из 3.\nУдалить?"));
  EXPECT_EQ(messages_.messages[0].buttons, MessageButtons::YesNoDefaultNo);
  EXPECT_EQ(messages_.messages[1].text, QStringLiteral("Удалено файлов ИСЗ: 2 из 3, наборов TLE: 2 из 3."));
  EXPECT_TRUE(app_.catalogueReady);
  EXPECT_FALSE(app_.longTaskRunning);
}

TEST_F(FrmClearTest, AnsweringNoDeletesNothingEvenWhenEverySetIsStale) {
  // Sets older than the limit everywhere (a database not refreshed for months): all would go.
  StoreSet(app_.appDir, 1001, 150, kLeoLine2);
  StoreSet(app_.appDir, 1002, 300, kLeoLine2);
  messages_.answers.push_back(MessageAnswer::No);
  Ok();
  EXPECT_TRUE(InDatabase(1001));
  EXPECT_TRUE(InDatabase(1002));
  EXPECT_EQ(messages_.Texts(),
            (std::vector<QString>{QStringLiteral("Будут удалены файлы ИСЗ: 2 из 2 и наборы TLE: 2 из 2.\nУдалить?")}));
}

TEST_F(FrmClearTest, AgeLimitWithAComma) {
  StoreSet(app_.appDir, 41866, 1, kGeoLine2);
  StoreSet(app_.appDir, 1001, 150, kLeoLine2);
  Find<QCheckBox>(window_.get(), "chP")->setChecked(false);
  Find<QLineEdit>(window_.get(), "txtd")->setText(QStringLiteral("200,5"));
  Ok();
  EXPECT_TRUE(InDatabase(41866));
  EXPECT_TRUE(InDatabase(1001));
  EXPECT_EQ(messages_.Texts(), (std::vector<QString>{QStringLiteral("Удалять нечего: файлов ИСЗ 2, наборов TLE 2.")}));
}

TEST_F(FrmClearTest, EmptyDatabaseSaysSoAndNoBoxJustCloses) {
  Ok();
  // The designed text, then its cause and next step on a second line.
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0].split(QStringLiteral("\r\n")).first(), QStringLiteral("Нет TLE."));
  EXPECT_TRUE(messages_.Texts()[0].contains(QStringLiteral("Ввести TLE из файлов")));
  EXPECT_EQ(messages_.messages[0].caption, QStringLiteral("Сообщение"));

  messages_.Clear();
  StoreSet(app_.appDir, 41866, 1, kGeoLine2);
  window_->show();
  Find<QCheckBox>(window_.get(), "chP")->setChecked(false);
  Find<QCheckBox>(window_.get(), "Chd")->setChecked(false);
  Ok();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(InDatabase(41866));
  EXPECT_TRUE(messages_.messages.empty());
}
