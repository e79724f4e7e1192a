// A whole session on a generated frame, driven through the windows: open it, type the circumstances,
// click on stars, identify, and read the solution in the panel and the sky position under the cursor.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <cmath>
#include <filesystem>

#include "astrometry/asterism.h"
#include "framegen/framegen.h"
#include "frameinfo/ui/frm_par.h"
#include "shell/ui/file_dialog.h"
#include "shell/ui/form1.h"
#include "shell/ui/frame_viewer.h"
#include "shell/ui/main_window.h"
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
    built_ = BuildAsterismFile((SourceDir() / "data" / "bin8.dat").string(),
                               (shared_->path() / "tri4t.dat").string(), task);
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
    SetFileDialogInterceptor([path](const QString&, const QString&, const QString&) { return QString::fromStdString(path); });
    window->Action("mnuOpenIm")->trigger();
    SetFileDialogInterceptor({});
  }

  void Click() {
    QWidget* pic = window->FrameWindow()->Picture();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), pic->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pic, &press);
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
  FrameSpec spec;
  spec.width = 1200;
  spec.height = 800;
  spec.centreRaDeg = 84.0;  // Orion
  spec.centreDecDeg = 2.0;
  spec.scaleArcsec = 120.0;  // 40 x 27 degrees
  spec.rotationDeg = 20.0;
  SyntheticFrame frame;
  ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), spec, frame));
  const std::string image = (dir.path() / "orion.bmp").string();
  ASSERT_TRUE(WriteBmp(image, frame));
  Open(image);
  ASSERT_TRUE(window->Frame().frameOpen);

  Find<QLineEdit>(window->Panel(), "txtp1")->setText("15.01.2026");
  Find<QLineEdit>(window->Panel(), "txtp2")->setText("20:00:00");
  Find<QCheckBox>(window->Panel(), "chElev")->setChecked(true);  // ignore visibility
  window->Action("mnuStar")->trigger();

  // Click on the brightest well-separated stars, as a user would with the marking frame on each.
  int clicked = 0;
  for (const RenderedStar& s : frame.stars) {
    if (clicked == 12) break;
    if (s.x < 40 || s.y < 40 || s.x > spec.width - 40 || s.y > spec.height - 40) continue;
    bool crowded = false;
    for (const RenderedStar& o : frame.stars)
      if (o.number != s.number && std::hypot(o.x - s.x, o.y - s.y) < 20 && o.magnitude < s.magnitude + 3) crowded = true;
    if (crowded) continue;
    window->Frame().cursorX = static_cast<std::int16_t>(std::lround(s.x));
    window->Frame().cursorY = static_cast<std::int16_t>(std::lround(s.y));
    Click();
    ++clicked;
  }
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
  ASSERT_TRUE(ProjectToFrame(spec, ra, dec, x, y));
  EXPECT_NEAR(x, window->Frame().cursorX, 1.0);
  EXPECT_NEAR(y, window->Frame().cursorY, 1.0);
  EXPECT_FALSE(Find<QLineEdit>(window->FrameWindow(), "txtstr")->text().trimmed().isEmpty());
  // The Moon's values reached the panel.
  EXPECT_TRUE(window->Panel()->SupplementRow(1) == "Yes" || window->Panel()->SupplementRow(1) == "No");
  EXPECT_TRUE(window->Panel()->SupplementRow(3).endsWith(QStringLiteral("°")));
}

TEST_F(IdentificationSession, KnownCentreNeedsAFieldOfViewFrom3To70Degrees) {
  FrameSpec spec;
  spec.width = 600;
  spec.height = 400;
  SyntheticFrame frame;
  ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), spec, frame));
  const std::string image = (dir.path() / "f.bmp").string();
  ASSERT_TRUE(WriteBmp(image, frame));
  Open(image);
  Find<QLineEdit>(window->Panel(), "txtp1")->setText("15.01.2026");
  Find<QLineEdit>(window->Panel(), "txtp2")->setText("20:00:00");
  Find<QRadioButton>(window->Panel(), "Opt2")->click();
  Find<QLineEdit>(window->Panel(), "txtzone")->setText("71");
  window->Frame().starMarks.resize(5);
  window->Action("mnuStarId")->trigger();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Задан неподходящий размер поля зрения")});
  EXPECT_FALSE(window->Frame().plate.Solved());
  EXPECT_TRUE(window->App().catalogueReady);
}

}  // namespace
