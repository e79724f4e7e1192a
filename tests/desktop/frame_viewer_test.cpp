// The frame window driven with mouse and keys: the marking frame follows slowly moving pointers,
// clamps at the edges, nudges with Ctrl+arrows and marks track ends in manual mode.
#include "desktop/frame_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QTimer>
#include <cmath>
#include <limits>

#include "astrometry/track.h"
#include "base/ui/file_dialog.h"
#include "desktop/form1.h"
#include "desktop/frm_frame.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "frameinfo/ui/frm_par.h"
#include "test_paths.h"
#include "ui_test_support.h"

using testing_support::MessageRecorder;
using testing_support::TempDir;

namespace {

class FrameViewerTest : public ::testing::Test {
protected:
  TempDir dir;
  MessageRecorder recorder;
  std::unique_ptr<MainWindow> window;

  // Opens a 3000 x 2000 frame (display scale 5).
  void SetUp() override {
    testing_support::WriteFile(dir.path() / "bin8.dat", std::string(1200, '\0'));
    window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
    window->StartUp();
    QImage image(3000, 2000, QImage::Format_RGB32);
    image.fill(QColor(30, 30, 30));
    const QString path = QString::fromStdString((dir.path() / "frame.jpg").string());
    ASSERT_TRUE(image.save(path, "JPG"));
    SetFileDialogInterceptor([path](const QString&, const QString&, const QString&) { return path; });
    window->Action("mnuOpenIm")->trigger();
    SetFileDialogInterceptor({});
    ASSERT_TRUE(window->Frame().frameOpen);
  }

  void Move(double x, double y) {
    QWidget* pic = window->FrameWindow()->Picture();
    QMouseEvent event(QEvent::MouseMove, QPointF(x, y), pic->mapToGlobal(QPointF(x, y)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pic, &event);
  }

  void Click() {
    QWidget* pic = window->FrameWindow()->Picture();
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(1, 1), pic->mapToGlobal(QPointF(1, 1)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pic, &event);
  }

  void Key(QEvent::Type type, int key) {
    QKeyEvent event(type, key, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
  }

  const FrameState& Frame() { return window->Frame(); }
  FrameViewState& View() { return window->Viewer()->View(); }
};

TEST_F(FrameViewerTest, StartsOnTheImageCentreAndFollowsSlowMovesOnly) {
  EXPECT_EQ(View().cursorX, 1500);
  EXPECT_EQ(View().cursorY, 1000);
  EXPECT_EQ(window->FragmentWindow()->windowTitle(), QStringLiteral("( 1500, 1000)"));
  // The fragment window's client area: the 155-pixel fragment side plus 10 in width (more when the caption
  // needs it) and 30 in height.
  EXPECT_GE(window->FragmentWindow()->width(), 165);
  EXPECT_EQ(window->FragmentWindow()->height(), 185);
  // A jump of 5 or more screen pixels is not followed; the next small step is.
  Move(300, 200);
  Move(310, 200);
  EXPECT_EQ(View().cursorX, 1500);
  Move(312, 201);
  EXPECT_EQ(View().cursorX, 1560);
  EXPECT_EQ(View().cursorY, 1005);
  EXPECT_EQ(window->FrameWindow()->MarkingFrameCentre(), QPointF(312, 201));
  EXPECT_EQ(window->FragmentWindow()->windowTitle(), QStringLiteral("( 1560, 1005)"));
  EXPECT_EQ(window->FragmentWindow()->Fragment().width(), 31);
}

TEST_F(FrameViewerTest, PointerBeyondTheRightEdgeKeepsTheFrameInside) {
  Move(597, 300);
  Move(599, 300);
  Move(603, 300);  // beyond displayWidth 600: centre at 600 - 3 - 1
  EXPECT_EQ(window->FrameWindow()->MarkingFrameCentre().x(), 596);
  EXPECT_EQ(View().cursorX, 2980);
}

TEST_F(FrameViewerTest, CtrlArrowsNudgeByOnePixelAndStopAtTheEdge) {
  auto* viewer = window->Viewer();
  Key(QEvent::KeyPress, Qt::Key_Control);
  Key(QEvent::KeyPress, Qt::Key_Left);
  viewer->SampleKeyboard();
  EXPECT_EQ(View().cursorX, 1499);
  Key(QEvent::KeyRelease, Qt::Key_Left);
  Key(QEvent::KeyPress, Qt::Key_Down);
  viewer->SampleKeyboard();
  EXPECT_EQ(View().cursorY, 1001);
  Key(QEvent::KeyRelease, Qt::Key_Down);
  View().cursorX = 1;
  Key(QEvent::KeyPress, Qt::Key_Left);
  viewer->SampleKeyboard();
  EXPECT_EQ(View().cursorX, 1);
  Key(QEvent::KeyRelease, Qt::Key_Left);
  Key(QEvent::KeyRelease, Qt::Key_Control);
  // Without Ctrl the arrows do nothing.
  Key(QEvent::KeyPress, Qt::Key_Right);
  viewer->SampleKeyboard();
  EXPECT_EQ(View().cursorX, 1);
}

TEST_F(FrameViewerTest, OpenFrameDialogListsJpegAndBmpFilesOnly) {
  QString title, filter;
  SetFileDialogInterceptor([&](const QString& t, const QString&, const QString& f) {
    title = t;
    filter = f;
    return QString();
  });
  window->Action("mnuOpenIm")->trigger();
  SetFileDialogInterceptor({});
  EXPECT_EQ(title, QStringLiteral("Открыть файл"));
  EXPECT_EQ(filter, QStringLiteral("jpg, bmp (*.jpg;*jpeg;*.bmp)"));

  // The same filter, as the dialog function hands it to Qt's own dialog, over a folder of mixed files.
  TempDir folder;
  for (const char* name : {"a.jpg", "b.jpeg", "c.bmp", "d.txt", "e.png"})
    testing_support::WriteFile(folder.path() / name, "x");
  QFileDialog dialog(nullptr, title, QString::fromStdString(folder.path().string()), QtNameFilter(filter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.show();
  auto* list = dialog.findChild<QListView*>("listView");
  ASSERT_NE(list, nullptr);
  QStringList shown;
  for (int wait = 0; wait < 100 && shown.size() < 3; ++wait) {
    QEventLoop pause;
    QTimer::singleShot(20, &pause, &QEventLoop::quit);
    pause.exec();
    shown.clear();
    for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
      shown << list->model()->index(row, 0, list->rootIndex()).data().toString();
  }
  shown.sort();
  EXPECT_EQ(shown, QStringList({"a.jpg", "b.jpeg", "c.bmp"}));
}

TEST_F(FrameViewerTest, StarAndTrackEndClicksRecentreTheFragmentOnWhatWasFound) {
  // 1200 x 800 (display scale 2): a Gaussian star at (401.3, 300.6) and a streak along row 500 from column 700
  // to 800, on a flat grey sky.
  QImage image(1200, 800, QImage::Format_RGB32);
  image.fill(QColor(30, 30, 30));
  auto add = [&](int x, int y, double v) {
    const int level = std::min(255, qRed(image.pixel(x - 1, y - 1)) + static_cast<int>(std::lround(v)));
    image.setPixel(x - 1, y - 1, qRgb(level, level, level));
  };
  for (int y = 290; y <= 311; ++y)
    for (int x = 390; x <= 411; ++x)
      add(x, y, 150.0 * std::exp(-((x - 401.3) * (x - 401.3) + (y - 300.6) * (y - 300.6)) / (2 * 1.5 * 1.5)));
  for (int x = 700; x <= 800; ++x)
    for (int y = 496; y <= 504; ++y) add(x, y, 120.0 * std::exp(-(y - 500.0) * (y - 500.0) / (2 * 0.8 * 0.8)));
  const QString path = QString::fromStdString((dir.path() / "sky.bmp").string());
  ASSERT_TRUE(image.save(path, "BMP"));
  SetFileDialogInterceptor([path](const QString&, const QString&, const QString&) { return path; });
  window->Action("mnuOpenIm")->trigger();
  SetFileDialogInterceptor({});
  ASSERT_FLOAT_EQ(View().displayScale, 2.0f);

  window->Action("mnuStar")->trigger();
  View().cursorX = 404;
  View().cursorY = 298;
  Click();
  ASSERT_EQ(Frame().starCount(), 1);
  EXPECT_NEAR(Frame().starMarks[0].x, 401.3, 0.1);
  EXPECT_NEAR(Frame().starMarks[0].y, 300.6, 0.1);
  // The fragment and the marking frame move to the centroid's pixel (401, 301), the cursor stays.
  EXPECT_EQ(window->FragmentWindow()->windowTitle(), QStringLiteral("( 401, 301)"));
  EXPECT_EQ(window->FrameWindow()->MarkingFrameCentre(), QPointF(200.5, 150.5));
  EXPECT_EQ(View().cursorX, 404);
  EXPECT_FALSE(View().busy);
  // Nothing there: no mark, no message, the frame stays.
  View().cursorX = 100;
  View().cursorY = 100;
  Click();
  EXPECT_EQ(Frame().starCount(), 1);
  EXPECT_EQ(window->FrameWindow()->MarkingFrameCentre(), QPointF(200.5, 150.5));
  EXPECT_TRUE(recorder.messages.empty());

  window->Action("mnuTrek")->trigger();
  View().cursorX = 795;
  View().cursorY = 503;
  Click();
  ASSERT_EQ(Frame().trackEnds.count, 1);
  EXPECT_FLOAT_EQ(Frame().trackEnds[1].x, 800.0f);
  EXPECT_FLOAT_EQ(Frame().trackEnds[1].y, 500.0f);
  EXPECT_EQ(window->FragmentWindow()->windowTitle(), QStringLiteral("( 800, 500)"));
  EXPECT_EQ(window->FrameWindow()->MarkingFrameCentre(), QPointF(400, 250));
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 1);
  View().cursorX = 300;
  View().cursorY = 600;
  Click();
  EXPECT_EQ(recorder.Texts(),
            std::vector<QString>{QStringLiteral("Трек не обнаружен. Воспользуйтесь ручной разметкой.")});
  EXPECT_EQ(Frame().trackEnds.count, 1);
  EXPECT_FALSE(View().busy);
}

TEST_F(FrameViewerTest, ClickInViewModeOnlyHints) {
  Click();
  EXPECT_TRUE(window->HintWindow()->Text().startsWith(QStringLiteral("Вы находитесь в режиме просмотра")));
  EXPECT_TRUE(recorder.messages.empty());
}

}  // namespace

namespace {

TEST_F(FrameViewerTest, ManualTrackEndsAreMarkedOnceEachAndAThirdIsRefused) {
  window->Action("mnuMtrek")->trigger();
  Click();
  EXPECT_EQ(Frame().trackEnds.count, 1);
  EXPECT_EQ(Frame().trackEnds[1].x, 1500);
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 1);
  Click();  // the same pixel again is too close to the first end
  EXPECT_EQ(Frame().trackEnds.count, 1);
  window->Viewer()->Nudge(10, 0);
  Click();
  EXPECT_EQ(Frame().trackEnds.count, 2);
  EXPECT_EQ(Frame().trackEnds[2].x, 1510);
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 2);
  Click();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Две отметки трека уже есть.")});
  // Ctrl+End after two ends says so without the final point.
  recorder.Clear();
  Key(QEvent::KeyPress, Qt::Key_Control);
  Key(QEvent::KeyPress, Qt::Key_End);
  window->Viewer()->SampleKeyboard();
  Key(QEvent::KeyRelease, Qt::Key_End);
  Key(QEvent::KeyRelease, Qt::Key_Control);
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Две отметки трека уже есть")});
  // Entering a track mode again erases both ends.
  window->Action("mnuTrek")->trigger();
  EXPECT_EQ(Frame().trackEnds.count, 0);
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 0);
}

TEST_F(FrameViewerTest, CtrlEndMarksTheCentreOnlyInManualModeAndOnlyOnceInTwoSeconds) {
  auto* viewer = window->Viewer();
  Key(QEvent::KeyPress, Qt::Key_Control);
  Key(QEvent::KeyPress, Qt::Key_End);
  viewer->SampleKeyboard();
  EXPECT_EQ(Frame().trackEnds.count, 0);  // view mode
  window->Action("mnuMtrek")->trigger();
  viewer->SampleKeyboard();
  EXPECT_EQ(Frame().trackEnds.count, 1);
  View().cursorX += 20;
  viewer->SampleKeyboard();  // within the lockout
  EXPECT_EQ(Frame().trackEnds.count, 1);
  Key(QEvent::KeyRelease, Qt::Key_End);
  Key(QEvent::KeyRelease, Qt::Key_Control);
}

TEST_F(FrameViewerTest, CircumstancesAndTrackEndsSurviveClosingAndReopening) {
  auto* date = testing_support::Find<QLineEdit>(window->Panel(), "txtp1");
  auto* time = testing_support::Find<QLineEdit>(window->Panel(), "txtp2");
  auto* exposure = testing_support::Find<QLineEdit>(window->Panel(), "txtp4");
  date->setText("24.04.2012");
  time->setText("21:29:55.5");
  exposure->setText("10");
  window->Action("mnuMtrek")->trigger();
  Click();
  window->Viewer()->Nudge(0, 40);
  Click();
  ASSERT_EQ(Frame().trackEnds.count, 2);
  const std::string image = Frame().imagePath;
  window->close();
  window.reset();

  window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
  window->StartUp();
  SetFileDialogInterceptor(
      [image](const QString&, const QString&, const QString&) { return QString::fromStdString(image); });
  window->Action("mnuOpenIm")->trigger();
  SetFileDialogInterceptor({});
  EXPECT_EQ(testing_support::Find<QLineEdit>(window->Panel(), "txtp1")->text(), "24.04.2012");
  EXPECT_EQ(testing_support::Find<QLineEdit>(window->Panel(), "txtp2")->text(), "21:29:55.50");
  EXPECT_EQ(testing_support::Find<QLineEdit>(window->Panel(), "txtp4")->text(), "10.00");
  EXPECT_EQ(Frame().trackEnds.count, 2);
  EXPECT_EQ(Frame().trackEnds[2].y, 1040);
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 2);
  EXPECT_TRUE(window->HintWindow()->Text().startsWith(QStringLiteral("Файл параметров найден.")));
}

}  // namespace

namespace {

// A viewer over a 400 x 300 frame shown at scale 1, with hooks the test controls.
struct StandaloneViewer {
  AppState app;
  FrameState frame;
  Form1 form1;
  FrmFrame fragment;
  std::vector<TrajectoryScreenPoint> points;
  FrameSession session{app, frame};
  std::unique_ptr<FrameViewer> viewer;

  explicit StandaloneViewer(ViewerHooks hooks) {
    frame.frameOpen = true;
    frame.imageWidth = 400;
    frame.imageHeight = 300;
    frame.colourPixels.width = 400;
    frame.colourPixels.height = 300;
    frame.colourPixels.pixels.assign(400 * 300, 0xFF202020u);
    ApplyFrameSize(frame, app.frameSizes);  // 31 x 31, half-size 15 on screen too
    hooks.trajectoryPoints = [this]() -> const std::vector<TrajectoryScreenPoint>& { return points; };
    viewer = std::make_unique<FrameViewer>(session, &form1, &fragment, std::move(hooks));
    viewer->SetDisplay(DisplayGeometry{400, 300, 1.0f, 1.0f});
    viewer->SetUpFragment();  // cursor on (200, 150)
  }
};

TEST(FrameViewerAlone, TimeLabelBesideTheFrameOnlyNearATrajectoryPoint) {
  StandaloneViewer v{ViewerHooks{}};
  v.points = {{190.0, 150.0, "21:30:00"}, {200.5, 150.5, "21:30:05"}, {201.0, 151.0, "21:30:10"}};
  auto* label = testing_support::Find<QLabel>(&v.form1, "txtst");
  // Nudging makes the frame's screen position (200, 150) the remembered mouse position.
  v.viewer->Nudge(0, 0);
  v.viewer->FollowMouse(201.4, 150.6);  // frame centre (201, 151): the third point lies on it
  ASSERT_TRUE(v.form1.TimeLabelVisible());
  EXPECT_EQ(label->text(), "21:30:10");
  EXPECT_EQ(label->pos(), QPoint(201 + 15, 151 + 15));
  v.viewer->FollowMouse(203, 152);  // 2.2 from the nearest point: hidden
  EXPECT_FALSE(v.form1.TimeLabelVisible());
  v.viewer->FollowMouse(199, 150);  // 1.58 from (200.5, 150.5), 9 from (190, 150)
  ASSERT_TRUE(v.form1.TimeLabelVisible());
  EXPECT_EQ(label->text(), "21:30:05");
  v.viewer->Nudge(10, 0);  // keyboard nudges leave the label alone
  EXPECT_TRUE(v.form1.TimeLabelVisible());
  // Without trajectory points the label is not touched.
  v.points.clear();
  v.viewer->Nudge(0, 0);
  v.viewer->FollowMouse(211, 151);
  EXPECT_TRUE(v.form1.TimeLabelVisible());
}

TEST(FrameViewerAlone, DamagedPlateNeverShowsOrStoresANonFinitePosition) {
  StandaloneViewer v{ViewerHooks{}};
  // A plate read from a damaged information file: solved by its scales, with no usable tangent point.
  v.frame.plate.mxArcsec = v.frame.plate.myArcsec = 60.0;
  v.frame.plate.working.mx = v.frame.plate.working.my = 60.0 / 206264.8;
  v.frame.plate.working.dec0 = std::numeric_limits<double>::quiet_NaN();
  v.viewer->Nudge(1, 0);
  EXPECT_FALSE(testing_support::Find<QLabel>(&v.form1, "lblc")->text().contains("nan", Qt::CaseInsensitive));
  EXPECT_FALSE(testing_support::Find<QLineEdit>(&v.form1, "txtstr")->text().contains("nan", Qt::CaseInsensitive));
  v.frame.trackEnds.count = 1;
  PlaceTrackEndOnSky(v.frame.trackEnds[1], v.frame.plate.working);
  EXPECT_TRUE(std::isfinite(v.frame.trackEnds[1].ra) && std::isfinite(v.frame.trackEnds[1].dec));
}

}  // namespace
