// The satellite windows driven through the main window on a frame whose plate and track ends are
// arranged around the ISS's real pass over a site: the filter, the search and its list, the candidate's
// trajectory with its time label, the identification reaching the information file, the single-satellite
// window and the several-satellites window.
#include "desktop/satellite_windows.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "base/ui/file_dialog.h"
#include "base/ui/message.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_id.h"
#include "desktop/frm_sat_n.h"
#include "desktop/frm_sat_par.h"
#include "desktop/frm_usersat.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "frameinfo/info_file.h"
#include "frameinfo/ui/frm_par.h"
#include "orbit/observer.h"
#include "orbit/sgp4.h"
#include "satdb/satdb.h"
#include "sky/angles.h"
#include "sky/site.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;
constexpr int kIss = 25544;

// A started Orvia with a three-satellite database and an open 1200 x 800 frame taken at 04:30:00 UT on
// 8 August 2026 for 10 s from a site 2 degrees north of the ISS's ground point, calibrated at
// 60"/pixel about the middle of the ISS's path, with the path's two ends marked.
class SatelliteWindowsTest : public ::testing::Test {
protected:
  void TearDown() override {
    SetNumberInterceptor({});
    SetDocumentOpener({});
  }
  void SetUp() override {
    // A report asks for the station code the site lacks: the observer answers 1234; no viewer opens it.
    SetNumberInterceptor([](const QString&, const QString&) { return std::optional<int>(1234); });
    SetDocumentOpener([](const QString&) { return false; });
    WriteFile(dir.path() / "bin8.dat", std::string(1200, '\0'));
    window = std::make_unique<MainWindow>(QString::fromStdString(dir.path().string()));
    window->StartUp();
    ASSERT_TRUE(window->App().catalogueReady);
    SilentTask task;
    ImportTleFiles({(TestDataDir() / "tle" / "sat_ui_sets.txt").string()}, -1, window->App().appDir, task);

    QImage picture(1200, 800, QImage::Format_RGB32);
    picture.fill(QColor(10, 10, 10));
    image = (dir.path() / "pass.bmp").string();
    ASSERT_TRUE(picture.save(QString::fromStdString(image), "BMP"));
    ASSERT_TRUE(window->OpenFrame(QString::fromStdString(image)));

    startMjd = MjdFromDate(2026, 8, 8, 4.5);
    TleRecord iss;
    ASSERT_TRUE(ReadBestSet(SatelliteFilePath(window->App().appDir, kIss), startMjd, iss));
    Sgp4State state;
    ASSERT_EQ(Propagate(ElementsFromTle(iss), (startMjd - iss.epochMjd) * 1440.0, state), Sgp4Error::None);
    const auto& p = state.positionKm;
    latitudeDeg = std::atan2(p[2], std::hypot(p[0], p[1])) / kDeg + 2.0;
    longitudeDeg = Normalize360((std::atan2(p[1], p[0]) - GreenwichSiderealTime(startMjd)) / kDeg);
    if (longitudeDeg > 180) longitudeDeg -= 360;
    TypeCircumstances();

    const double times[2] = {startMjd, startMjd + 10.0 / 86400.0};
    std::vector<TemeDirection> path;
    ASSERT_TRUE(SkyTrack(iss, times, latitudeDeg * kDeg, longitudeDeg * kDeg, path));
    for (int i = 0; i < 2; ++i) ends[i] = TemeToJ2000(path[static_cast<std::size_t>(i)], times[i]);
    const SkyVector<SkyFrame::J2000> a = ToVector(ends[0]), b = ToVector(ends[1]);
    const J2000Direction middle = ToDirection(SkyVector<SkyFrame::J2000>{a.x + b.x, a.y + b.y, a.z + b.z});
    PlateSolution& plate = window->Frame().plate;
    plate.ra0Deg = middle.raRad / kDeg;
    plate.dec0Deg = middle.decRad / kDeg;
    plate.mxArcsec = plate.myArcsec = 60.0;
    plate.xo = 600;
    plate.yo = 400;
    DeriveWorkingForm(plate);
    MarkEnds(ends[0], ends[1]);
  }

  void TypeCircumstances() {
    FrmPar* panel = window->Panel();
    Find<QLineEdit>(panel, "txtp1")->setText("08.08.2026");
    Find<QLineEdit>(panel, "txtp2")->setText("04:30:00");
    Find<QLineEdit>(panel, "txtp3")->setText("0");
    Find<QLineEdit>(panel, "txtp4")->setText("10");
    Find<QLineEdit>(panel, "txtp5")->setText(QString::number(std::fabs(longitudeDeg), 'f', 6));
    Find<QRadioButton>(panel, longitudeDeg < 0 ? "OptW" : "OptE")->setChecked(true);
    Find<QLineEdit>(panel, "txtp6")->setText(QString::number(std::fabs(latitudeDeg), 'f', 6));
    Find<QRadioButton>(panel, latitudeDeg < 0 ? "OptS" : "OptN")->setChecked(true);
  }

  void MarkEnds(const J2000Direction& first, const J2000Direction& second) {
    FrameState& frame = window->Frame();
    const J2000Direction sky[2] = {first, second};
    for (int slot = 1; slot <= 2; ++slot) {
      const PixelPosition pixel = SkyToPixel(sky[slot - 1].raRad, sky[slot - 1].decRad, frame.plate.working);
      ASSERT_TRUE(pixel.valid);
      frame.trackEnds[slot] = TrackPoint{pixel.x, pixel.y, 1, sky[slot - 1].raRad, sky[slot - 1].decRad};
    }
    frame.trackEnds.count = 2;
  }

  // Screen position of track end slot 1 or 2.
  QPointF EndOnScreen(int slot) const {
    const TrackPoint& end = window->Frame().trackEnds[slot];
    return QPointF(end.x / window->ViewState().displayScale, end.y / window->ViewState().displayScale);
  }

  FrmId* Search() {
    window->Action("mnuSat")->trigger();
    FrmSatPar* filter = window->Satellites()->FilterWindow();
    if (!filter) return nullptr;
    Find<QPushButton>(filter, "cmdok")->click();
    return window->Satellites()->CandidateWindow();
  }

  const std::vector<OverlayItem>& Marks() const {
    return window->FrameWindow()->Overlay(OverlayKind::TrajectoryPoints);
  }

  // Each mark is orange (sunlit) or grey (shadow), or the given row colour.
  bool MarksColoured(const QColor& sunlit) const {
    for (const OverlayItem& mark : Marks())
      if (mark.colour != sunlit && mark.colour != QColor(120, 120, 120)) return false;
    return true;
  }

  TempDir dir;
  MessageRecorder recorder;
  std::unique_ptr<MainWindow> window;
  std::string image;
  double startMjd = 0, latitudeDeg = 0, longitudeDeg = 0;
  J2000Direction ends[2];
};

TEST_F(SatelliteWindowsTest, FilterBoxesFollowTheirCheckBoxesAndThresholdsStartAgainAtEveryOpening) {
  window->Action("mnuSat")->trigger();
  FrmSatPar* filter = window->Satellites()->FilterWindow();
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->windowTitle(), QStringLiteral("Фильтр ИСЗ"));
  for (const char* name : {"txtpermin", "txtpermax", "txtimin", "txtimax"})
    EXPECT_FALSE(Find<QLineEdit>(filter, name)->isEnabled()) << name;
  Find<QCheckBox>(filter, "chPeriod")->click();
  EXPECT_TRUE(Find<QLineEdit>(filter, "txtpermax")->isEnabled());
  EXPECT_FALSE(Find<QLineEdit>(filter, "txtimax")->isEnabled());
  Find<QCheckBox>(filter, "Chi")->click();
  EXPECT_TRUE(Find<QLineEdit>(filter, "txtimin")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>(filter, "txtimax")->text(), "180.0");
  Find<QCheckBox>(filter, "chPeriod")->click();
  EXPECT_FALSE(Find<QLineEdit>(filter, "txtpermin")->isEnabled());

  EXPECT_EQ(Find<QLineEdit>(filter, "txter1")->text(), "10");
  EXPECT_EQ(Find<QLineEdit>(filter, "txter2")->text(), "15");
  Find<QLineEdit>(filter, "txter1")->setText("2,5");
  Find<QLineEdit>(filter, "txter2")->setText("4");
  EXPECT_FLOAT_EQ(filter->Filter().maxDistance, 2.5f);
  EXPECT_FLOAT_EQ(filter->Filter().maxDirection, 4.0f);

  filter->close();
  window->Action("mnuSat")->trigger();
  filter = window->Satellites()->FilterWindow();
  EXPECT_FLOAT_EQ(filter->Filter().maxDistance, 10.0f);
  EXPECT_FLOAT_EQ(filter->Filter().maxDirection, 15.0f);
  EXPECT_EQ(Find<QLineEdit>(filter, "txter1")->text(), "10");
  EXPECT_TRUE(recorder.messages.empty());

  // A date that cannot be read stops the search with the panel's message; the filter stays open.
  Find<QLineEdit>(window->Panel(), "txtp1")->setText("32.08.2026");
  Find<QPushButton>(filter, "cmdok")->click();
  EXPECT_EQ(recorder.messages.size(), 1u);
  EXPECT_TRUE(filter->isVisible());
  EXPECT_EQ(window->Satellites()->CandidateWindow(), nullptr);
  EXPECT_TRUE(window->App().catalogueReady);
}

TEST_F(SatelliteWindowsTest, TheSearchListsTheIssFirstAndItsRowDrawsItsPathAlongTheTrack) {
  FrmId* list = Search();
  ASSERT_NE(list, nullptr) << (recorder.messages.empty() ? "" : recorder.messages[0].text.toStdString());
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_TRUE(window->App().catalogueReady);
  EXPECT_FALSE(window->App().longTaskRunning);
  EXPECT_EQ(window->Satellites()->FilterWindow(), nullptr);
  EXPECT_EQ(window->HintWindow()->Text().section('\n', 0, 0).trimmed(),
            QStringLiteral("Для просмотра траектории ИСЗ щелкните по номеру в списке претендентов"));

  // The track was laid along the ISS's own path: R and U near zero, the element set minutes old.
  auto* rows = Find<QListWidget>(list, "List1");
  ASSERT_GE(rows->count(), 1);
  const QString first = rows->item(0)->text();
  EXPECT_TRUE(first.startsWith(QStringLiteral("25544   R=0.0"))) << first.toStdString();
  EXPECT_TRUE(first.contains(QStringLiteral("°   U=0."))) << first.toStdString();
  // After the designed text, the times the prediction passes the ends laid at the exposure's start and end.
  EXPECT_TRUE(first.endsWith(QStringLiteral("°  dt=0.0d  ISS (ZARYA)  t1=04:30:00.00 t2=04:30:10.00 Δt=+0.00 с T=10.00 с")))
      << first.toStdString();
  for (int i = 0; i < rows->count(); ++i) EXPECT_FALSE(rows->item(i)->text().startsWith("40069"));
  EXPECT_EQ(Find<QLabel>(list, "lblnum")->text(), " ");

  // Image1 before any row was clicked does nothing.
  Find<QToolButton>(list, "Image1")->click();
  EXPECT_EQ(window->Frame().identifiedNorad, 0);

  // A click on the row draws the path from end 1 to end 2 every 2 seconds.
  emit rows->itemClicked(rows->item(0));
  ASSERT_EQ(Marks().size(), 6u);
  EXPECT_TRUE(MarksColoured(QColor(200, 120, 0)));
  const QPointF start = Marks().front().centre / window->ViewState().displayScale;
  const QPointF end = Marks().back().centre / window->ViewState().displayScale;
  EXPECT_LT(std::hypot(start.x() - EndOnScreen(1).x(), start.y() - EndOnScreen(1).y()), 0.5);
  EXPECT_LT(std::hypot(end.x() - EndOnScreen(2).x(), end.y() - EndOnScreen(2).y()), 0.5);

  // The time of a mark shows beside the marking frame when the cursor comes within 2 screen pixels.
  const int cx = static_cast<int>(std::lround(start.x())), cy = static_cast<int>(std::lround(start.y()));
  window->Viewer()->FollowMouse(cx + 4, cy);
  window->Viewer()->FollowMouse(cx + 1, cy);
  EXPECT_TRUE(window->FrameWindow()->TimeLabelVisible());
  EXPECT_EQ(Find<QLabel>(window->FrameWindow(), "txtst")->text(), "04:30:00.00");
  window->Viewer()->FollowMouse(cx + 4, cy);
  EXPECT_FALSE(window->FrameWindow()->TimeLabelVisible());

  Find<QToolButton>(list, "Image1")->click();
  EXPECT_EQ(Find<QLabel>(list, "lblnum")->text(), QStringLiteral("Номер будет занесет в инф-файл"));
  Find<QToolButton>(list, "Image2")->click();
  EXPECT_EQ(Find<QLabel>(list, "lblnum")->text(), QStringLiteral("Номер будет запомнен"));
  EXPECT_EQ(window->Frame().identifiedNorad, kIss);
  EXPECT_EQ(window->Frame().rememberedSatellites, std::vector<int>{kIss});

  // Closing the list removes the path; opening the frame again writes the identification to its file.
  list->close();
  EXPECT_TRUE(Marks().empty());
  EXPECT_TRUE(window->Frame().satellites.candidates.rows.empty());
  const std::string info = window->Frame().infoFilePath;
  window->close();
  const std::string text = ReadFile(info);
  EXPECT_NE(text.find("Norad= 25544"), std::string::npos) << text;
  EXPECT_NE(text.find("Multi_traectory=25544"), std::string::npos) << text;
}

TEST_F(SatelliteWindowsTest, ANewFrameOrANewSearchClearsTheDrawnPath) {
  FrmId* list = Search();
  ASSERT_NE(list, nullptr);
  auto* rows = Find<QListWidget>(list, "List1");
  emit rows->itemClicked(rows->item(0));
  ASSERT_FALSE(Marks().empty());
  Search();
  EXPECT_TRUE(Marks().empty());
  list = window->Satellites()->CandidateWindow();
  ASSERT_NE(list, nullptr);
  rows = Find<QListWidget>(list, "List1");
  emit rows->itemClicked(rows->item(0));
  ASSERT_FALSE(Marks().empty());

  ASSERT_TRUE(window->OpenFrame(QString::fromStdString(image)));
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(window->Satellites()->CandidateWindow(), nullptr);
  EXPECT_TRUE(window->Frame().satellites.candidates.records.empty());
}

TEST_F(SatelliteWindowsTest, AnEmptyDatabaseOrAPathAcrossTheTrackFindsNoCandidate) {
  // The ISS crossing the measured track at a right angle.
  const SkyVector<SkyFrame::J2000> a = ToVector(ends[0]), b = ToVector(ends[1]);
  const J2000Direction middle = ToDirection(SkyVector<SkyFrame::J2000>{a.x + b.x, a.y + b.y, a.z + b.z});
  PixelPosition m = SkyToPixel(middle.raRad, middle.decRad, window->Frame().plate.working);
  const TrackPoint e1 = window->Frame().trackEnds[1];
  const double dx = e1.x - m.x, dy = e1.y - m.y;
  const PlateConstants& plate = window->Frame().plate.working;
  const SkyPosition across1 = PixelToSky(m.x - dy, m.y + dx, plate);
  const SkyPosition across2 = PixelToSky(m.x + dy, m.y - dx, plate);
  MarkEnds(J2000Direction{across1.ra, across1.dec}, J2000Direction{across2.ra, across2.dec});
  EXPECT_EQ(Search(), nullptr);
  ASSERT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Претендентов нет")});
  EXPECT_TRUE(window->App().catalogueReady);

  recorder.Clear();
  fs::remove_all(dir.path() / "TLE");
  fs::create_directories(dir.path() / "TLE");
  EXPECT_EQ(Search(), nullptr);
  // The designed text, then its cause and next step on a second line.
  ASSERT_EQ(recorder.Texts().size(), 1u);
  EXPECT_EQ(recorder.Texts()[0].split(QStringLiteral("\r\n")).first(), QStringLiteral("Нет TLE."));
  EXPECT_TRUE(recorder.Texts()[0].contains(QStringLiteral("Ввести TLE из файлов")));
}

TEST_F(SatelliteWindowsTest, TheSingleSatelliteWindowChecksItsEntriesPrintsThePositionsAndOrdersTheEnds) {
  // Ends marked the wrong way round: the satellite passed end 2's position first.
  MarkEnds(ends[1], ends[0]);
  window->Action("mnuUserSat")->trigger();
  FrmUsersat* one = window->Satellites()->UserSatWindow();
  ASSERT_NE(one, nullptr);
  auto* number = Find<QLineEdit>(one, "txtnorad");
  auto* step = Find<QLineEdit>(one, "txtstep");
  auto* out = Find<QPlainTextEdit>(one, "txtcom");
  auto* ok = Find<QPushButton>(one, "cmdok");
  EXPECT_EQ(number->text(), "0");
  EXPECT_EQ(step->text(), "1.0");
  EXPECT_EQ(out->toPlainText(), " ");

  ok->click();
  EXPECT_EQ(out->toPlainText(), QStringLiteral("Проверьте номер ИСЗ"));
  number->setText("25544");
  step->setText("0,1");
  ok->click();
  EXPECT_EQ(out->toPlainText(), QStringLiteral("Увеличьте шаг расчета"));
  step->setText("30.5");
  ok->click();
  EXPECT_EQ(out->toPlainText(), QStringLiteral("Уменьшите шаг расчета"));
  EXPECT_TRUE(Marks().empty());

  // Without a computed trajectory neither image button does anything.
  Find<QToolButton>(one, "Image1")->click();
  Find<QToolButton>(one, "Image2")->click();
  EXPECT_EQ(window->Frame().identifiedNorad, 0);
  EXPECT_TRUE(recorder.messages.empty());

  step->setText("1");
  ok->click();
  const QStringList lines = out->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 15) << out->toPlainText().toStdString();
  EXPECT_EQ(lines[0], " ");
  EXPECT_EQ(lines[1], QStringLiteral("Имя ИСЗ = ISS (ZARYA)"));
  EXPECT_EQ(lines[2], QStringLiteral("Давность Tle = 0.01 дней"));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("04:30:00.00   RA="))) << lines[3].toStdString();
  EXPECT_TRUE(lines[13].startsWith(QStringLiteral("04:30:10.00   RA="))) << lines[13].toStdString();
  EXPECT_TRUE(lines[13].endsWith(QStringLiteral(" км")));
  // The ends were marked at the pass's true start and end, so the clock agrees to the hundredth.
  EXPECT_EQ(lines[14], QStringLiteral("Прогноз проходит концы трека: 1 в 04:30:00.00, 2 в 04:30:10.00; "
                                      "расхождение с часами +0.00 с, экспозиция по треку 10.00 с"));
  // The printed position of the first sample is the start of the marked track.
  const double raDeg = lines[3].section("RA=", 1).section(QStringLiteral("°"), 0, 0).toDouble();
  EXPECT_NEAR(raDeg, ends[0].raRad / kDeg, 0.01);
  EXPECT_EQ(Marks().size(), 11u);
  EXPECT_TRUE(MarksColoured(QColor(200, 120, 0)));
  // The ends were exchanged so that end 1 is where the satellite was first.
  EXPECT_NEAR(window->Frame().trackEnds[1].ra, ends[0].raRad, 1e-12);
  EXPECT_NEAR(window->Frame().trackEnds[2].ra, ends[1].raRad, 1e-12);

  Find<QToolButton>(one, "Image1")->click();
  EXPECT_EQ(window->Frame().identifiedNorad, kIss);
  EXPECT_EQ(window->Frame().identifiedName, "ISS (ZARYA)");

  Find<QToolButton>(one, "Image2")->click();
  const std::string iod = ReadFile(dir.path() / "iod_25544.txt");
  EXPECT_EQ(iod.substr(0, 5), "25544");
  EXPECT_EQ(iod.substr(16, 4), "1234");
  EXPECT_EQ(std::count(iod.begin(), iod.end(), '\n'), 2) << iod;
  ASSERT_EQ(recorder.messages.size(), 1u);  // where the report went
  EXPECT_TRUE(recorder.messages[0].text.contains(QStringLiteral("iod_25544.txt")));
  recorder.Clear();
  window->Frame().trackEnds.count = 1;
  Find<QToolButton>(one, "Image2")->click();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].text, QStringLiteral("Нужны два измерения  трека"));
  EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Сообщения"));

  // A satellite missing from the database is named by its file.
  recorder.Clear();
  number->setText("99999");
  ok->click();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_TRUE(recorder.messages[0].text.endsWith(QStringLiteral("99999.tle не найден.")))
      << recorder.messages[0].text.toStdString();
  EXPECT_TRUE(Marks().empty());
  one->close();
}

// The same frame through both front ends: the single-satellite window and orvia-cli's iod command each
// exchange the ends marked the wrong way round and write byte for byte the same report.
TEST_F(SatelliteWindowsTest, TheWindowAndTheCommandLineOrderTheEndsAndReportAlike) {
  const fs::path cli = fs::path(QCoreApplication::applicationDirPath().toStdString()).parent_path() / "orvia-cli";
  if (!fs::exists(cli)) GTEST_SKIP() << "orvia-cli is not built beside the tests";
  MarkEnds(ends[1], ends[0]);
  // The frame as the command line finds it: circumstances, plate and the ends still the wrong way round.
  FrameSession& session = window->Session();
  ASSERT_TRUE(session.Circumstances(window->Panel()->Entries(), true).Ok());
  ASSERT_TRUE(session.Save().Ok());
  TempDir other;
  fs::create_directories(other.path() / "Info");
  const fs::path info = fs::path(window->Frame().infoFilePath).filename();
  fs::copy_file(window->Frame().infoFilePath, other.path() / "Info" / info);
  WriteFile(other.path() / "bin8.dat", std::string(1200, '\0'));

  window->Action("mnuUserSat")->trigger();
  FrmUsersat* one = window->Satellites()->UserSatWindow();
  ASSERT_NE(one, nullptr);
  Find<QLineEdit>(one, "txtnorad")->setText("25544");
  Find<QPushButton>(one, "cmdok")->click();
  Find<QToolButton>(one, "Image2")->click();
  const std::string fromWindow = ReadFile(dir.path() / "iod_25544.txt");
  ASSERT_EQ(std::count(fromWindow.begin(), fromWindow.end(), '\n'), 2) << fromWindow;

  const auto run = [&](const std::string& arguments) {
    const std::string command = "'" + cli.string() + "' --quiet --app-dir '" + other.path().string() + "' " +
                                arguments + " >'" + (other.path() / "out.txt").string() + "' 2>&1";
    return std::system(command.c_str());
  };
  ASSERT_EQ(run("import-tle '" + (TestDataDir() / "tle" / "sat_ui_sets.txt").string() + "'"), 0);
  ASSERT_EQ(run("--json iod --station 1234 '" + image + "' 25544 --output '" + (other.path() / "r.txt").string() + "'"),
            0)
      << ReadFile(other.path() / "out.txt");
  EXPECT_NE(ReadFile(other.path() / "out.txt").find("\"ends_exchanged\": true"), std::string::npos);
  EXPECT_EQ(ReadFile(other.path() / "r.txt"), fromWindow);
  // Both left end 1 where the satellite was first.
  EXPECT_NEAR(window->Frame().trackEnds[1].ra, ends[0].raRad, 1e-12);
}

// "Все ИСЗ в кадре": the ISS, inside the frame all through the exposure, is listed from the marked end 1
// at the start to end 2 at the end, drawn and labelled; closing the list takes the drawing away.
TEST_F(SatelliteWindowsTest, EverySatelliteInTheFrameIsListedAndDrawn) {
  window->Action("mnuCrossings")->trigger();
  ASSERT_NE(window->Satellites()->CrossingsWindow(), nullptr);
  auto* lines = Find<QListWidget>(window->Satellites()->CrossingsWindow(), "lstCrossings");
  ASSERT_EQ(lines->count(), 1);
  const QString text = lines->item(0)->text();
  EXPECT_TRUE(text.startsWith(QStringLiteral("25544  ISS (ZARYA)  вход 04:30:00.00 ("))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("выход 04:30:10.00 ("))) << text.toStdString();
  EXPECT_EQ(window->Frame().satellites.labels.size(), 1u);
  window->Satellites()->CrossingsWindow()->close();
  EXPECT_TRUE(Marks().empty());
}

TEST_F(SatelliteWindowsTest, SeveralSatellitesTakeRowsUpTo15ColoursFromThePictureAndLabels) {
  window->Frame().rememberedSatellites = {kIss};
  window->Action("mnuSatN")->trigger();
  FrmSatN* several = window->Satellites()->SatNWindow();
  ASSERT_NE(several, nullptr);
  ASSERT_EQ(several->RowCount(), 2);
  QList<QLineEdit*> numbers = several->findChildren<QLineEdit*>("txtn");
  EXPECT_EQ(numbers[0]->text(), "25544");
  EXPECT_EQ(numbers[1]->text(), "");

  numbers[0]->clear();
  Find<QPushButton>(several, "cmdok")->click();
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("ИСЗ не заданы")});
  recorder.Clear();

  for (int i = 0; i < 13; ++i) Find<QPushButton>(several, "cmdplus")->click();
  EXPECT_EQ(several->RowCount(), 15);
  EXPECT_TRUE(recorder.messages.empty());
  Find<QPushButton>(several, "cmdplus")->click();
  EXPECT_EQ(several->RowCount(), 15);
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Больше 15 ИСЗ выбрать нельзя.")});
  recorder.Clear();

  // The row whose number was just typed takes the colour under the mouse in the picture, without the box
  // being left first.
  numbers = several->findChildren<QLineEdit*>("txtn");
  for (const QChar digit : QStringLiteral("25544")) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + digit.digitValue(), Qt::NoModifier, QString(digit));
    QApplication::sendEvent(numbers[0], &key);
  }
  ASSERT_EQ(numbers[0]->text(), "25544");
  QWidget* pic = Find<QWidget>(several, "Pic");
  const QImage shown = pic->grab().toImage();
  const QPoint at(30, 45);
  QMouseEvent move(QEvent::MouseMove, at, pic->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(pic, &move);
  QMouseEvent press(QEvent::MouseButtonPress, at, pic->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pic, &press);
  const QColor picked = several->RowColour(1);
  EXPECT_EQ(picked, shown.pixelColor(at * shown.devicePixelRatio()));

  Find<QCheckBox>(several, "chNum")->setChecked(true);
  numbers[1]->setText("99999");
  Find<QPushButton>(several, "cmdok")->click();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_TRUE(recorder.messages[0].text.endsWith(QStringLiteral("99999.tle не найден.")));
  EXPECT_EQ(window->Frame().rememberedSatellites, (std::vector<int>{kIss, 99999}));
  EXPECT_EQ(Marks().size(), 11u);
  EXPECT_TRUE(MarksColoured(picked));
  const std::vector<OverlayItem>& labels = window->FrameWindow()->Overlay(OverlayKind::TrajectoryLabels);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].text, QStringLiteral("ISS (ZARYA) (25544)"));
  EXPECT_EQ(labels[0].colour, picked);
  const double scale = window->ViewState().displayScale;
  EXPECT_GE(labels[0].centre.x() / scale, 0);
  EXPECT_LT(labels[0].centre.x() / scale, window->ViewState().displayWidth - 3);

  several->close();
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(window->FrameWindow()->OverlayCount(OverlayKind::TrajectoryLabels), 0);
}

}  // namespace
