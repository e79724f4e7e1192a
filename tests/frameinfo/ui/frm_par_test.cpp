// The frame-information panel as the user sees and types into it.
#include "frameinfo/ui/frm_par.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <tuple>

#include "base/numbers.h"
#include "ui_test_support.h"

using testing_support::Find;

namespace {

QString Box(FrmPar& p, const char* name) {
  return Find<QLineEdit>(&p, name)->text();
}

TEST(FrmPar, ShowsItsDefaults) {
  FrmPar panel;
  EXPECT_EQ(panel.windowTitle(), QStringLiteral("Параметры"));
  const char* user[][2] = {{"txtp1", "00.00.0000"}, {"txtp2", "00:00:00.0"}, {"txtp3", "0"},
                           {"txtp4", "0.0"},        {"txtp5", "0.000"},      {"txtp6", "0.000"},
                           {"txtra", "0.0"},        {"txtdec", "0.0"},       {"txtzone", "0"}};
  for (auto& [name, text] : user) EXPECT_EQ(Box(panel, name), QString::fromUtf8(text)) << name;
  const char* program[][2] = {{"txtm1", "0"},   {"txtm2", "00h00m00s"}, {"txtm3", "+00°00'"}, {"txtm4", "0.0"},
                              {"txtm5", "0.0"}, {"txtm6", "0x0"},       {"txtm7", "0.0"},     {"txtm8", "No"},
                              {"txtm9", "4.0"}, {"txtsup1", "No"},      {"txtsup2", "0"},     {"txtsup3", "0"}};
  for (auto& [name, text] : program) EXPECT_EQ(Box(panel, name), QString::fromUtf8(text)) << name;
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptE")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptN")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(&panel, "txtp2")->toolTip(), QStringLiteral("Время начала экспозиции"));
  EXPECT_EQ(Find<QToolButton>(&panel, "ImageFile")->toolTip(), QStringLiteral("Список мест из файла"));
  EXPECT_NE(Find<QToolButton>(&panel, "ImageExif"), nullptr);
  EXPECT_EQ(Find<QCheckBox>(&panel, "chElev")->text(), QStringLiteral("Не учитывать видимость"));
}

TEST(FrmPar, CentreBoxesFollowTheCentreOption) {
  FrmPar panel;
  auto* opt1 = Find<QRadioButton>(&panel, "Opt1");
  auto* opt2 = Find<QRadioButton>(&panel, "Opt2");
  ASSERT_TRUE(opt1->isChecked());
  EXPECT_FALSE(Find<QLineEdit>(&panel, "txtra")->isEnabled());
  opt2->click();
  EXPECT_TRUE(panel.CentreGiven());
  for (const char* name : {"txtra", "txtdec", "txtzone"}) EXPECT_TRUE(Find<QLineEdit>(&panel, name)->isEnabled());
  opt1->click();
  for (const char* name : {"txtra", "txtdec", "txtzone"}) EXPECT_FALSE(Find<QLineEdit>(&panel, name)->isEnabled());
}

TEST(FrmPar, VisibilityBoxReportsWhetherVisibilityCounts) {
  FrmPar panel;
  bool consider = true;
  QObject::connect(&panel, &FrmPar::VisibilityChanged, [&](bool c) { consider = c; });
  Find<QCheckBox>(&panel, "chElev")->click();
  EXPECT_FALSE(consider);
  panel.ClearIgnoreVisibility();
  EXPECT_TRUE(consider);
}

TEST(FrmPar, ShowsALoadedRecordAndReadsItBack) {
  FrmPar panel;
  FrameInfo info;
  info.startTime = CalendarTime{2012, 4, 23, 21, 5, 7.5f};
  info.utError = 0.25f;
  info.exposure = 12.5;
  info.longitude = -37.61778;
  info.latitude = -55.75;
  info.raUser = 83.5;
  info.decUser = -5.25;
  info.fieldUser = 20;
  panel.ShowUserInfo(info);
  EXPECT_EQ(Box(panel, "txtp1"), "23.04.2012");
  EXPECT_EQ(Box(panel, "txtp2"), "21:05:07.50");
  EXPECT_EQ(Box(panel, "txtp3"), "0.3");  // 0.25 rounded half away from zero
  EXPECT_EQ(Box(panel, "txtp4"), "12.50");
  EXPECT_EQ(Box(panel, "txtp5"), "37.61778");
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptW")->isChecked());
  EXPECT_EQ(Box(panel, "txtp6"), "55.75000");
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptS")->isChecked());
  EXPECT_EQ(Box(panel, "txtra"), "83.500");
  EXPECT_EQ(Box(panel, "txtzone"), "20.000");

  FrameInfo back;
  ASSERT_TRUE(CollectFrameInfo(panel.Entries(), true, back).ok);
  EXPECT_EQ(back.startTime.day, 23);
  EXPECT_NEAR(back.startTime.seconds, 7.5f, 1e-4);
  EXPECT_NEAR(back.longitude, -37.61778, 1e-9);
  EXPECT_NEAR(back.latitude, -55.75, 1e-9);
  EXPECT_NEAR(back.decUser, -5.25, 1e-9);
}

TEST(FrmPar, ALoadedRecordShownWithACommaSeparatorReadsBackUnchanged) {
  SetDecimalSeparator(',');
  FrmPar panel;
  FrameInfo info;
  info.startTime = CalendarTime{2012, 4, 23, 21, 5, 7.5f};
  info.utError = 0.5f;
  info.exposure = 0.5;
  info.longitude = 37.61778;
  info.latitude = 55.75;
  panel.ShowUserInfo(info);
  SetDecimalSeparator('.');
  EXPECT_EQ(Box(panel, "txtp4"), "0,50");
  FrameInfo back;
  ASSERT_TRUE(CollectFrameInfo(panel.Entries(), true, back).ok);
  EXPECT_NEAR(back.startTime.seconds, 7.5f, 1e-4);
  EXPECT_FLOAT_EQ(back.utError, 0.5f);
  EXPECT_DOUBLE_EQ(back.exposure, 0.5);
  EXPECT_NEAR(back.longitude, 37.61778, 1e-9);
  EXPECT_NEAR(back.latitude, 55.75, 1e-9);
}

TEST(FrmPar, AFixedCameraIsGivenByAltitudeAndAzimuthInsteadOfRaAndDec) {
  FrmPar panel;
  FrameInfo info, back;
  std::tie(info.fieldUser, info.heightM, info.pointingAltAz, info.pointingAlt, info.pointingAz) =
      std::tuple(14.0f, 2070.0, true, 50.0, 120.0);
  panel.ShowUserInfo(info);
  EXPECT_TRUE(panel.CentreGiven() && !Find<QLineEdit>(&panel, "txtra")->isEnabled());
  EXPECT_EQ(Box(panel, "txtHeight"), "2070.0");
  CollectFrameInfo(panel.Entries(), false, back);  // no date shown: read leniently
  EXPECT_EQ(std::tuple(back.heightM, back.pointingAltAz, back.pointingAlt, back.pointingAz),
            std::tuple(2070.0, true, 50.0, 120.0));
  Find<QRadioButton>(&panel, "Opt1")->click();  // without a given centre the pointing does not count
  EXPECT_FALSE(panel.Entries().altAz || Find<QLineEdit>(&panel, "txtAlt")->isEnabled());
}

}  // namespace
