// Living in the program: every window owned by the main window, Qt's Russian texts, zoomed marking on the
// frame's own pixels, the display stretch leaving the raster alone, closing the frame window, the
// remembered site, and the questions before marks or a solution are lost.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <cmath>
#include <filesystem>

#include "base/ui/file_dialog.h"
#include "base/ui/owned_window.h"
#include "base/ui/translations.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frm_id.h"
#include "desktop/frm_sat_n.h"
#include "desktop/frm_sat_par.h"
#include "desktop/frm_usersat.h"
#include "desktop/main_window.h"
#include "desktop/satellite_windows.h"
#include "frameinfo/ui/frm_par.h"
#include "satdb/ui/frm_dir.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::TempDir;

namespace {

class DesktopTest : public ::testing::Test {
protected:
  TempDir dir;
  MessageRecorder recorder;
  QString chosen;
  std::unique_ptr<MainWindow> window;
  QSet<QWidget*> before;  // top-level windows of earlier tests

  void SetUp() override {
    for (QWidget* w : QApplication::topLevelWidgets()) before.insert(w);
    testing_support::WriteFile(dir.path() / "bin8.dat", std::string(1200, '\0'));
    SetFileDialogInterceptor([this](const QString&, const QString&, const QString&) { return chosen; });
    SetDocumentOpener([](const QString&) { return true; });
    window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
    window->StartUp();
  }
  void TearDown() override {
    SetFileDialogInterceptor({});
    SetDocumentOpener({});
  }

  // A night-sky JPEG with one Gaussian star centred on the 1-based frame pixel (starX, starY).
  QString MakeFrame(const char* name, int width, int height, double starX, double starY) {
    QImage image(width, height, QImage::Format_RGB32);
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < width; ++x) {
        seed = seed * 1103515245u + 12345u;
        double v = 20 + static_cast<int>((seed >> 16) % 7);
        const double dx = x + 1 - starX, dy = y + 1 - starY;
        if (std::fabs(dx) < 12 && std::fabs(dy) < 12) v += 200 * std::exp(-(dx * dx + dy * dy) / (2 * 2.0 * 2.0));
        const int g = std::min(255, static_cast<int>(std::lround(v)));
        row[x] = qRgb(g, g, g);
      }
    }
    const QString path = QString::fromStdString((dir.path() / name).string());
    EXPECT_TRUE(image.save(path, "JPG", 100));
    return path;
  }

  void Open(const QString& path) {
    chosen = path;
    window->Action("mnuOpenIm")->trigger();
    ASSERT_TRUE(window->Frame().frameOpen);
  }

  void MouseAt(QWidget* pic, QPointF at, QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent event(type, at, pic->mapToGlobal(at), button, button == Qt::NoButton ? Qt::NoButton : button,
                      Qt::NoModifier);
    QApplication::sendEvent(pic, &event);
  }

  // Types text into a box key by key, as a user does.
  static void Type(QWidget* box, const QString& text) {
    box->setFocus();
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(box, &press);
    }
  }
};

TEST_F(DesktopTest, EveryWindowIsOwnedByTheMainWindowAndStartsOnScreen) {
  Open(MakeFrame("frame.jpg", 1200, 800, 600, 400));
  for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
    if (action->objectName().isEmpty() || action->objectName() == "mnuExit" || action->menu()) continue;
    chosen.clear();  // file dialogs answer "cancelled"
    action->trigger();
  }
  const QRect area = AvailableArea(window.get());
  int owned = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == window.get() || before.contains(w) || w->windowType() == Qt::Popup) continue;
    bool ownedByMain = false;
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) ownedByMain |= p == window.get();
    EXPECT_TRUE(ownedByMain) << w->objectName().toStdString();
    // Transient for its owner: what makes a window manager keep it above the main window.
    EXPECT_TRUE(w->windowType() == Qt::Tool || w->windowType() == Qt::Dialog) << w->objectName().toStdString();
    if (w->isVisible()) {
      EXPECT_TRUE(area.contains(w->pos())) << w->objectName().toStdString();
    }
    ++owned;
  }
  EXPECT_GE(owned, 8);  // panel, hint, progress, frame, fragment, frame sizes, TLE, cleanup, ...
}

TEST_F(DesktopTest, SatelliteWindowsOpenInsideTheScreenAndOffTheFramePicture) {
  Open(MakeFrame("frame.jpg", 300, 200, 150, 100));
  window->Frame().satellites.candidates.records.emplace_back();
  window->Frame().satellites.candidates.rows.emplace_back();
  SatelliteWindows* satellites = window->Satellites();
  satellites->OpenFilter();
  satellites->ShowFirstCandidate();
  satellites->OpenUserSat();
  satellites->OpenSatN();
  const QWidget* pic = Find<QWidget>(window->FrameWindow(), "Pic");
  const QRect picture(pic->mapToGlobal(QPoint(0, 0)), pic->size());
  const QRect area = AvailableArea(window.get());
  for (QWidget* w :
       {static_cast<QWidget*>(satellites->FilterWindow()), static_cast<QWidget*>(satellites->CandidateWindow()),
        static_cast<QWidget*>(satellites->UserSatWindow()), static_cast<QWidget*>(satellites->SatNWindow())}) {
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible());
    const QRect placed(w->pos(), w->size() + QSize(8, 30));  // with the guessed decorations
    EXPECT_TRUE(area.contains(placed)) << w->objectName().toStdString();
    EXPECT_FALSE(placed.intersects(picture)) << w->objectName().toStdString();
  }
}

TEST_F(DesktopTest, QtStandardTextsAreRussian) {
  ASSERT_TRUE(InstallQtRussian(*qApp));
  QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove('&'), QStringLiteral("Отмена"));
  EXPECT_EQ(box.button(QDialogButtonBox::Open)->text().remove('&'), QStringLiteral("Открыть"));
}

TEST_F(DesktopTest, ZoomedInAStarIsMarkedWhereItIsSeenAndTheStretchLeavesTheRasterAlone) {
  // 2400 x 1600 shown at 1:4; the star sits between display pixels.
  const double starX = 1703, starY = 622;
  Open(MakeFrame("stars.jpg", 2400, 1600, starX, starY));
  Form1* form = window->FrameWindow();
  QWidget* pic = form->Picture();
  const std::vector<std::uint8_t> raster = window->Frame().brightness.values;
  form->SetStretch(true, 2.0);
  form->ZoomAt(QPointF(100, 100), 2.0);
  pic->grab();
  EXPECT_EQ(window->Frame().brightness.values, raster);
  form->SetStretch(false, 1.0);
  form->FitView();

  window->Action("mnuStar")->trigger();
  form->ZoomAt(QPointF(starX / 4, starY / 4), 64.0);
  EXPECT_DOUBLE_EQ(form->ViewZoom(), 32.0);  // the most: 8 screen pixels per frame pixel
  EXPECT_EQ(form->ZoomText(), QStringLiteral("8:1"));
  // Find the star where it is drawn, then point at it and click.
  const QImage shown = pic->grab().toImage();
  QPoint brightest;
  int best = -1;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (qGray(shown.pixel(x, y)) > best) {
        best = qGray(shown.pixel(x, y));
        brightest = QPoint(x, y);
      }
  MouseAt(pic, QPointF(brightest) + QPointF(0.5, 0.5), QEvent::MouseMove, Qt::NoButton);
  EXPECT_NEAR(window->Viewer()->View().cursorX, starX, 1);
  EXPECT_NEAR(window->Viewer()->View().cursorY, starY, 1);
  MouseAt(pic, QPointF(brightest), QEvent::MouseButtonPress, Qt::LeftButton);
  ASSERT_EQ(window->Frame().starMarks.size(), 1u);
  EXPECT_NEAR(window->Frame().starMarks[0].x, starX, 0.3);
  EXPECT_NEAR(window->Frame().starMarks[0].y, starY, 0.3);
  // The mark's outline is drawn around the star's pixels, within one frame pixel (8 screen pixels).
  ASSERT_EQ(form->OverlayCount(OverlayKind::StarMarks), 1);
  const OverlayItem& mark = form->Overlay(OverlayKind::StarMarks)[0];
  const QPointF drawn = form->DisplayToPicture(mark.centre / window->ViewState().displayScale);
  EXPECT_LT(std::hypot(drawn.x() - brightest.x(), drawn.y() - brightest.y()), 8.0);

  form->FitView();
  EXPECT_DOUBLE_EQ(form->ViewZoom(), 1.0);
  EXPECT_EQ(form->ZoomText(), QStringLiteral("1:4"));
}

TEST_F(DesktopTest, ClosingTheFrameWindowClosesTheFrameAndWritesItsFile) {
  Open(MakeFrame("frame.jpg", 640, 480, 100, 100));
  Find<QLineEdit>(window->Panel(), "txtp4")->setText("12");
  const std::string own = window->Frame().infoFilePath;
  window->FrameWindow()->close();
  EXPECT_FALSE(window->Frame().frameOpen);
  EXPECT_FALSE(window->FragmentWindow()->isVisible());
  ASSERT_TRUE(fs::exists(own));
  EXPECT_NE(testing_support::ReadFile(own).find("Exposition= 12\r\n"), std::string::npos);
  recorder.Clear();
  window->Action("mnuStar")->trigger();  // no frame is open any more
  EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST_F(DesktopTest, AMinusSignSelectsWestOrSouthAndANewFrameStartsAtTheLastSite) {
  Open(MakeFrame("first.jpg", 640, 480, 100, 100));
  FrmPar* panel = window->Panel();
  auto* lon = Find<QLineEdit>(panel, "txtp5");
  auto* lat = Find<QLineEdit>(panel, "txtp6");
  lon->clear();
  lat->clear();
  Type(lon, "-22.46");
  Type(lat, "-33.9");
  EXPECT_EQ(lon->text(), "22.46");
  EXPECT_EQ(lat->text(), "33.9");
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptW")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptS")->isChecked());

  Open(MakeFrame("second.jpg", 640, 480, 100, 100));  // no information file
  EXPECT_EQ(lon->text(), "22.46000");
  EXPECT_EQ(lat->text(), "33.90000");
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptW")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptS")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(panel, "Opt1")->isChecked());
}

TEST_F(DesktopTest, TheLastSiteAndTleFolderOutliveARestart) {
  const fs::path tles = dir.path() / "tle in";
  fs::create_directories(tles);
  fs::copy_file(testing_support::SourceDir() / "data" / "demo" / "podsat_2026-05-07.tle", tles / "podsat.tle");
  window->Action("mnuLoadTleDir")->trigger();
  auto* tle = window->findChild<FrmDir*>();
  ASSERT_NE(tle, nullptr);
  Find<QLineEdit>(tle, "txtpath")->setText(QString::fromStdString(tles.string()));
  emit Find<QLineEdit>(tle, "txtpath")->returnPressed();
  Find<QCheckBox>(tle, "ChAll")->click();
  Find<QPushButton>(tle, "cmdok")->click();
  ASSERT_FALSE(recorder.messages.empty());  // the import's summary

  Open(MakeFrame("first.jpg", 640, 480, 100, 100));
  auto* lon = Find<QLineEdit>(window->Panel(), "txtp5");
  auto* lat = Find<QLineEdit>(window->Panel(), "txtp6");
  lon->clear();
  lat->clear();
  Type(lon, "-22.46");
  Type(lat, "-33.9");
  ASSERT_TRUE(window->ShutDown());  // leaving the frame with the program

  // The next run on the same directory.
  window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
  ASSERT_TRUE(window->StartUp());
  Open(MakeFrame("second.jpg", 640, 480, 100, 100));  // no information file
  FrmPar* panel = window->Panel();
  EXPECT_EQ(Find<QLineEdit>(panel, "txtp5")->text(), "22.46000");
  EXPECT_EQ(Find<QLineEdit>(panel, "txtp6")->text(), "33.90000");
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptW")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(panel, "OptS")->isChecked());
  window->Action("mnuLoadTleDir")->trigger();
  ASSERT_NE(window->findChild<FrmDir*>(), nullptr);
  EXPECT_EQ(Find<QLineEdit>(window->findChild<FrmDir*>(), "txtpath")->text(),
            QDir::toNativeSeparators(QString::fromStdString(tles.string())));
}

TEST_F(DesktopTest, IdentifiedMarksAndAShownSolutionAreNotLostWithoutAQuestion) {
  Open(MakeFrame("frame.jpg", 640, 480, 100, 100));
  window->Frame().starMarks.push_back(StarMark{50, 60, 3, 17});
  recorder.answers.push_back(MessageAnswer::No);
  window->Action("mnuStar")->trigger();
  EXPECT_EQ(window->Frame().starMarks.size(), 1u);
  EXPECT_EQ(recorder.messages.back().buttons, MessageButtons::YesNoDefaultNo);
  recorder.answers.push_back(MessageAnswer::Yes);
  window->Action("mnuStar")->trigger();
  EXPECT_TRUE(window->Frame().starMarks.empty());

  // An information file without a solution, read over a solved frame: "Нет" keeps the solution.
  window->Frame().plate.mxArcsec = 30;
  window->Frame().plate.myArcsec = 30;
  const fs::path other = dir.path() / "Info" / "other.txt";
  testing_support::WriteFile(other, "[User Info]\r\nDate_start=01.02.2013\r\nUT_start=03:04:05.00\r\n");
  chosen = QString::fromStdString(other.string());
  recorder.Clear();
  recorder.answers.push_back(MessageAnswer::No);
  window->Action("mnuOpenInf")->trigger();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_TRUE(window->Frame().plate.Solved());
  recorder.answers.push_back(MessageAnswer::Yes);
  window->Action("mnuOpenInf")->trigger();
  EXPECT_FALSE(window->Frame().plate.Solved());
  EXPECT_EQ(window->Panel()->ProgramRow(1), "0");  // the star count agrees with the marks drawn
}

}  // namespace
