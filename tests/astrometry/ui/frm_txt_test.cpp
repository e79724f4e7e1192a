// The track-measurement window, driven through its methods and read through its text box.
#include "astrometry/ui/frm_txt.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui_test_support.h"

namespace {

using namespace testing_support;

}  // namespace

TEST(FrmTxtTest, LinesAppendAfterCrLfAndAFlaggedLineReplacesTheText) {
  auto window = std::make_unique<FrmTxt>();
  EXPECT_EQ(window->objectName(), "FrmTxt");
  auto* txtcom = Find<QPlainTextEdit>(window.get(), "txtcom");
  ASSERT_NE(txtcom, nullptr);
  EXPECT_TRUE(txtcom->isReadOnly());
  EXPECT_EQ(txtcom->toPlainText(), "");

  window->AppendMeasurementLine(QStringLiteral("Середина трека: "), true);
  window->AppendMeasurementLine(QStringLiteral("RA = 75.96"), false);
  window->AppendMeasurementLine(QStringLiteral("02h 00m 00s  -00° 30' 00\""), false);
  EXPECT_EQ(window->Text(), QStringLiteral("Середина трека: \r\nRA = 75.96\r\n02h 00m 00s  -00° 30' 00\""));
  EXPECT_EQ(txtcom->document()->blockCount(), 3);
  EXPECT_EQ(txtcom->document()->findBlockByNumber(2).text(), QStringLiteral("02h 00m 00s  -00° 30' 00\""));

  // A new measurement starts afresh.
  window->AppendMeasurementLine(QStringLiteral("Середина трека: "), true);
  EXPECT_EQ(window->Text(), QStringLiteral("Середина трека: "));
  EXPECT_EQ(txtcom->document()->blockCount(), 1);
}

TEST(FrmTxtTest, TheSinkFeedsTheWindowLikeTheCoreTextAndOutlivesIt) {
  auto window = std::make_unique<FrmTxt>();
  MeasurementLineSink sink = window->LineSink();
  std::string core;
  const std::vector<std::pair<std::string, bool>> lines = {
      {"Середина трека: ", true}, {"Уточняем... ", false}, {" ", false}, {kLocalSolutionFailedText, false}};
  for (const auto& [line, replace] : lines) {
    sink(line, replace);
    AppendMeasurementLine(core, line, replace);
  }
  EXPECT_EQ(window->Text().toStdString(), core);
  auto* txtcom = Find<QPlainTextEdit>(window.get(), "txtcom");
  EXPECT_EQ(txtcom->document()->lastBlock().text(), QString::fromUtf8(kLocalSolutionFailedText));

  // Closed by the user before the measurement ends: later lines are dropped without harm.
  window.reset();
  sink(" ", false);
}

TEST(FrmTxtTest, PlacedBesideThePanel) {
  QWidget panel(nullptr, Qt::Window);
  panel.setGeometry(100, 120, 300, 400);
  panel.show();
  FrmTxt window(&panel);
  window.PlaceBeside(&panel);
  EXPECT_GT(window.pos().x(), panel.frameGeometry().right());
  EXPECT_EQ(window.pos().y(), panel.frameGeometry().top());
}
