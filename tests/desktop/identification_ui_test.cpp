// A whole session on a generated frame, driven through the windows: open it, type the circumstances,
// click on stars, identify, and read the solution in the panel and the sky position under the cursor.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <cmath>
#include <filesystem>

#include "astrometry/asterism.h"
#include "base/calendar.h"
#include "base/ui/file_dialog.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "sky/angles.h"
#include "framegen/framegen.h"
#include "frameinfo/ui/frm_par.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::SourceDir;
using testing_support::TempDir;

namespace {

// One asterism index built from the shipped catalogue for the whole suite.
class IdentificationSession : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    shared_ = new TempDir();
    SilentTask task;
    built_ =
        BuildAsterismFile((SourceDir() / "data" / "bin8.dat").string(), (shared_->path() / "tri4t.dat").string(), task);
  }
  static void TearDownTestSuite() { delete shared_; }

  void SetUp() override {
    ASSERT_TRUE(built_);
    fs::create_directories(dir.path() / "program_files");
    fs::copy_file(SourceDir() / "data" / "bin8.dat", dir.path() / "program_files" / "bin8.dat");
    fs::copy_file(shared_->path() / "tri4t.dat", dir.path() / "program_files" / "tri4t.dat");
    window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
    window->StartUp();
    ASSERT_TRUE(window->App().catalogueReady);
  }

  void Open(const std::string& path) {
    SetFileDialogInterceptor(
        [path](const QString&, const QString&, const QString&) { return QString::fromStdString(path); });
    window->Action("mnuOpenIm")->trigger();
    SetFileDialogInterceptor({});
  }

  void Click() {
    QWidget* pic = window->FrameWindow()->Picture();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), pic->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pic, &press);
  }

  // Clicks on the brightest well-separated stars of a drawn frame, as a user would with the marking frame
  // on each.
  void ClickBrightStars(const SyntheticFrame& frame, int count) {
    int clicked = 0;
    for (const RenderedStar& s : frame.stars) {
      if (clicked == count) break;
      if (s.x < 40 || s.y < 40 || s.x > frame.width - 40 || s.y > frame.height - 40) continue;
      bool crowded = false;
      for (const RenderedStar& o : frame.stars)
        if (o.number != s.number && std::hypot(o.x - s.x, o.y - s.y) < 20 && o.magnitude < s.magnitude + 3)
          crowded = true;
      if (crowded) continue;
      window->Viewer()->View().cursorX = static_cast<std::int16_t>(std::lround(s.x));
      window->Viewer()->View().cursorY = static_cast<std::int16_t>(std::lround(s.y));
      Click();
      ++clicked;
    }
  }

  static TempDir* shared_;
  static bool built_;
  TempDir dir;
  MessageRecorder recorder;
  std::unique_ptr<MainWindow> window;
};

TempDir* IdentificationSession::shared_ = nullptr;
bool IdentificationSession::built_ = false;

TEST_F(IdentificationSession, ClickedStarsAreIdentifiedAndTheCursorReadsTheSky) {
  FrameSpec drawing;
  drawing.width = 1200;
  drawing.height = 800;
  drawing.centreRaDeg = 84.0;  // Orion
  drawing.centreDecDeg = 2.0;
  drawing.scaleArcsec = 120.0;  // 40 x 27 degrees
  drawing.rotationDeg = 20.0;
  SyntheticFrame frame;
  ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), drawing, frame));
  const std::string image = (dir.path() / "orion.bmp").string();
  ASSERT_TRUE(WriteBmp(image, frame));
  Open(image);
  ASSERT_TRUE(window->Frame().frameOpen);

  Find<QLineEdit>(window->Panel(), "txtp1")->setText("15.01.2026");
  Find<QLineEdit>(window->Panel(), "txtp2")->setText("20:00:00");
  Find<QCheckBox>(window->Panel(), "chElev")->setChecked(true);  // ignore visibility
  window->Action("mnuStar")->trigger();

  ClickBrightStars(frame, 12);
  ASSERT_GE(window->Frame().starCount(), 8);
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::StarMarks), window->Frame().starCount());
  EXPECT_EQ(window->Panel()->ProgramRow(1).toInt(), window->Frame().starCount());

  window->Action("mnuStarId")->trigger();
  EXPECT_TRUE(recorder.messages.empty()) << (recorder.messages.empty() ? "" : recorder.messages[0].text.toStdString());
  const PlateSolution& plate = window->Frame().plate;
  ASSERT_TRUE(plate.Solved());
  EXPECT_NEAR(plate.mxArcsec, 120.0, 1.0);
  EXPECT_NEAR(plate.myArcsec, 120.0, 1.0);
  EXPECT_TRUE(window->Panel()->ProgramRow(1).contains(QStringLiteral("Ид:")));
  EXPECT_EQ(window->Panel()->ProgramRow(8), "No");
  EXPECT_TRUE(window->App().catalogueReady);
  EXPECT_FALSE(window->App().longTaskRunning);

  // The sky readout under the marking frame matches the generator's own projection.
  window->Viewer()->Nudge(0, 0);
  const QString label = Find<QLabel>(window->FrameWindow(), "lblc")->text();
  ASSERT_TRUE(label.startsWith("RA=")) << label.toStdString();
  double x = 0, y = 0;
  const double ra = label.section("RA=", 1).section(";", 0, 0).toDouble();
  const double dec = label.section("DEC=", 1).toDouble();
  ASSERT_TRUE(ProjectToFrame(drawing, ra, dec, x, y));
  EXPECT_NEAR(x, window->Viewer()->View().cursorX, 1.0);
  EXPECT_NEAR(y, window->Viewer()->View().cursorY, 1.0);
  EXPECT_FALSE(Find<QLineEdit>(window->FrameWindow(), "txtstr")->text().trimmed().isEmpty());
  // The Moon's values reached the panel.
  EXPECT_TRUE(window->Panel()->SupplementRow(1) == "Yes" || window->Panel()->SupplementRow(1) == "No");
  EXPECT_TRUE(window->Panel()->SupplementRow(3).endsWith(QStringLiteral("°")));
  // The catalogue is drawn over the frame after the identification.
  EXPECT_GT(window->FrameWindow()->OverlayCount(OverlayKind::CatalogueStars), 3);
  EXPECT_TRUE(window->Action("mnuStarVis")->isChecked());

  // Closing Orvia and opening the same frame again restores the solution and the Moon values.
  const PlateSolution solved = plate;
  const QString rows[4] = {window->Panel()->ProgramRow(2), window->Panel()->ProgramRow(4),
                           window->Panel()->SupplementRow(1), window->Panel()->SupplementRow(2)};
  window->close();
  window.reset();
  window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
  window->StartUp();
  Open(image);
  ASSERT_TRUE(window->Frame().plate.Solved());
  EXPECT_NEAR(window->Frame().plate.ra0Deg, solved.ra0Deg, 1e-9);
  EXPECT_NEAR(window->Frame().plate.mxArcsec, solved.mxArcsec, 1e-9);
  EXPECT_NEAR(window->Frame().plate.working.f, solved.working.f, 1e-12);
  EXPECT_EQ(window->Panel()->ProgramRow(2), rows[0]);
  EXPECT_EQ(window->Panel()->ProgramRow(4), rows[1]);
  EXPECT_EQ(window->Panel()->SupplementRow(1), rows[2]);
  EXPECT_EQ(window->Panel()->SupplementRow(2), rows[3]);
  EXPECT_EQ(Find<QLineEdit>(window->Panel(), "txtp1")->text(), "15.01.2026");
}

TEST_F(IdentificationSession, AMeasuredTrackIsReportedInTheTextWindow) {
  FrameSpec drawing;
  drawing.width = 1200;
  drawing.height = 800;
  drawing.centreRaDeg = 84.0;
  drawing.centreDecDeg = 2.0;
  drawing.scaleArcsec = 120.0;
  drawing.streaks.push_back(FrameStreak{400.0, 300.0, 700.0, 450.0, 150.0, 1.2});
  SyntheticFrame frame;
  ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), drawing, frame));
  const std::string image = (dir.path() / "streak.bmp").string();
  ASSERT_TRUE(WriteBmp(image, frame));
  Open(image);
  Find<QLineEdit>(window->Panel(), "txtp1")->setText("15.01.2026");
  Find<QLineEdit>(window->Panel(), "txtp2")->setText("20:00:00");
  Find<QLineEdit>(window->Panel(), "txtp4")->setText("10");
  Find<QCheckBox>(window->Panel(), "chElev")->setChecked(true);
  window->Action("mnuStar")->trigger();
  ClickBrightStars(frame, 12);
  window->Action("mnuStarId")->trigger();
  ASSERT_TRUE(window->Frame().plate.Solved());
  recorder.Clear();

  // Mark the two ends by hand and measure.
  window->Action("mnuMtrek")->trigger();
  window->Viewer()->View().cursorX = 400;
  window->Viewer()->View().cursorY = 300;
  Click();
  window->Viewer()->View().cursorX = 700;
  window->Viewer()->View().cursorY = 450;
  Click();
  ASSERT_EQ(window->Frame().trackEnds.count, 2);
  window->Action("mnuMesTrek")->trigger();
  EXPECT_TRUE(recorder.messages.empty());
  QWidget* text = window->findChild<QWidget*>("FrmTxt");
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isVisible());
  EXPECT_FALSE(Find<QPlainTextEdit>(text, "txtcom")->toPlainText().isEmpty());
  EXPECT_GT(window->FrameWindow()->OverlayCount(OverlayKind::LocalReference), 0);
  EXPECT_TRUE(
      window->HintWindow()->Text().startsWith(QStringLiteral("Для идентификации выберите Меню: Идентификация->ИСЗ")));
  // Each end's sky position is the generator's sky position of that pixel.
  for (int slot = 1; slot <= 2; ++slot) {
    const TrackPoint& end = window->Frame().trackEnds[slot];
    double x = 0, y = 0;
    ASSERT_TRUE(ProjectToFrame(drawing, end.ra * 180 / Pi, end.dec * 180 / Pi, x, y));
    EXPECT_NEAR(x, end.x, 0.2);
    EXPECT_NEAR(y, end.y, 0.2);
  }
  // Opening another frame closes the text window and removes the local marks.
  Open(image);
  EXPECT_FALSE(text->isVisible());
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::LocalReference), 0);
}

TEST_F(IdentificationSession, KnownCentreNeedsAFieldOfViewFrom3To100Degrees) {
  FrameSpec drawing;
  drawing.width = 600;
  drawing.height = 400;
  SyntheticFrame frame;
  ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), drawing, frame));
  const std::string image = (dir.path() / "f.bmp").string();
  ASSERT_TRUE(WriteBmp(image, frame));
  Open(image);
  Find<QLineEdit>(window->Panel(), "txtp1")->setText("15.01.2026");
  Find<QLineEdit>(window->Panel(), "txtp2")->setText("20:00:00");
  Find<QRadioButton>(window->Panel(), "Opt2")->click();
  Find<QLineEdit>(window->Panel(), "txtzone")->setText("101");
  window->Frame().starMarks.resize(5);
  window->Action("mnuStarId")->trigger();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Задан неподходящий размер поля зрения")});
  EXPECT_FALSE(window->Frame().plate.Solved());
  EXPECT_TRUE(window->App().catalogueReady);
}

}  // namespace
