// The main window driven as a user would: start-up in a fresh directory, the menu, each command's
// guard and messages, and opening frames.
#include "desktop/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>

#include "base/ui/file_dialog.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frmp.h"
#include "frameinfo/info_file.h"
#include "frameinfo/ui/frm_par.h"
#include "test_paths.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;
using testing_support::MessageRecorder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
  TempDir dir;
  MessageRecorder recorder;
  QString chosenFile;

  void SetUp() override {
    SetFileDialogInterceptor([this](const QString&, const QString&, const QString&) { return chosenFile; });
  }
  void TearDown() override { SetFileDialogInterceptor({}); }

  void PlaceCatalogue() { WriteFile(dir.path() / "bin8.dat", std::string(1200, '\0')); }
  QString AppDir() const { return QString::fromStdString(dir.path().string()); }

  std::unique_ptr<MainWindow> Start() {
    auto w = std::make_unique<MainWindow>(AppDir());
    w->StartUp();
    return w;
  }

  // Writes a picture of the given size and format and returns its path.
  QString MakePicture(int width, int height, const char* format, const char* name) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(20, 20, 20));
    image.setPixel(width / 2, height / 2, qRgb(0, 255, 0));
    const QString path = QString::fromStdString((dir.path() / name).string());
    EXPECT_TRUE(image.save(path, format));
    return path;
  }

  void Trigger(MainWindow& w, const char* name) {
    QAction* action = w.Action(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
};

TEST_F(MainWindowTest, FirstStartCreatesDirectoriesAndMovesTheCatalogue) {
  PlaceCatalogue();
  {
    auto w = Start();
    EXPECT_TRUE(w->App().catalogueReady);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(fs::is_directory(dir.path() / "TLE"));
    EXPECT_TRUE(fs::exists(dir.path() / "program_files" / "bin8.dat"));
    EXPECT_FALSE(fs::exists(dir.path() / "bin8.dat"));
    EXPECT_EQ(w->HintWindow()->Text(), QStringLiteral("Нужно открыть кадр\nМеню Файл->Открыть кадр \n "));
    EXPECT_EQ(w->Frame().frameSizeIndex, 3);
    w->ShutDown();
    const std::string log = testing_support::ReadFile(dir.path() / "log.txt");
    EXPECT_EQ(log.rfind("copy1 ", 0), 0u) << log;
  }
  {
    auto w = Start();  // the second start logs nothing
    EXPECT_TRUE(w->App().catalogueReady);
    w->ShutDown();
    EXPECT_EQ(testing_support::ReadFile(dir.path() / "log.txt"), "");
  }
}

TEST_F(MainWindowTest, MissingCatalogueIsReportedOnceAndCommandsStayInert) {
  auto w = Start();
  ASSERT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Не обнаружен файл каталога. Работа невозможна.")});
  EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Сообщение"));
  EXPECT_FALSE(w->App().catalogueReady);
  recorder.Clear();
  chosenFile = MakePicture(100, 80, "JPG", "a.jpg");
  for (const char* name : {"mnuOpenIm", "mnuOpenInf", "mnuStar", "mnuTrek", "mnuMtrek", "mnuStarId", "mnuMesTrek",
                           "mnuSat", "mnuUserSat", "mnuSatN", "mnuStarVis", "mnuViewmag", "mnussr", "mnuVislist"})
    Trigger(*w, name);
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_FALSE(w->Frame().frameOpen);
}

TEST_F(MainWindowTest, SecondInstanceSaysSoAndEnds) {
  PlaceCatalogue();
  auto first = Start();
  ASSERT_TRUE(first->App().catalogueReady);
  // Started through a symbolic link to the same directory: the same directory, so the same lock.
  const fs::path link = dir.path().parent_path() / (dir.path().filename().string() + "-link");
  fs::create_directory_symlink(dir.path(), link);
  auto second = std::make_unique<MainWindow>(QString::fromStdString(link.string()));
  EXPECT_FALSE(second->StartUp());  // the program ends after the message
  fs::remove(link);
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Программа уже запущена!")});
  EXPECT_FALSE(second->App().catalogueReady);
  recorder.Clear();
  Trigger(*second, "mnuStar");
  EXPECT_TRUE(recorder.messages.empty());
  first->ShutDown();
  // Once the first has ended, a new start goes ahead.
  auto third = Start();
  EXPECT_TRUE(third->App().catalogueReady);
}

TEST_F(MainWindowTest, MenuTreeHasItsNamesCaptionsAndCheckItems) {
  PlaceCatalogue();
  auto w = Start();
  QStringList titles;
  for (QAction* a : w->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles,
            (QStringList{"Файл", "Разметка", "Идентификация", "Визуализация каталога", "TLE", "Окна", "О программе"}));
  auto items = [&](const char* menuName) {
    QStringList out;
    auto* menu = w->findChild<QMenu*>(menuName);
    EXPECT_NE(menu, nullptr) << menuName;
    if (!menu) return out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return out;
  };
  EXPECT_EQ(items("mnuFile"), (QStringList{"mnuOpenIm", "mnuOpenInf", "-", "mnuExit"}));
  // The automatic commands follow the manual ones, after a separator.
  EXPECT_EQ(items("mnuRazm"), (QStringList{"mnuView", "mnuStar", "mnuTrek", "mnuMtrek", "-", "MnuParf", "-",
                                           "mnuAutoStar", "mnuAutoTrek"}));
  EXPECT_EQ(items("mnuIdent"),
            (QStringList{"mnuStarId", "mnuMesTrek", "mnuSat", "-", "mnuUserSat", "mnuSatN", "mnuCrossings", "-", "mnuAuto",
                         "mnuIod"}));
  EXPECT_EQ(items("mnuWindows"), (QStringList{"mnuShowPanel", "mnuShowHint", "mnuShowFragment", "mnuShowMeasurement"}));
  EXPECT_EQ(items("mnuVis"), (QStringList{"mnuStarVis", "mnuViewmag", "mnuStarMinus", "mnuStarPlus"}));
  EXPECT_EQ(items("mnuTle"), (QStringList{"mnuLoadTleDir", "mnussr", "mnuVislist", "-", "mnuClear"}));
  EXPECT_EQ(items("mnuAbout"), (QStringList{"mnuOrvia", "mnuVer"}));
  EXPECT_TRUE(w->Action("mnuStarVis")->isCheckable());
  EXPECT_TRUE(w->Action("mnuViewmag")->isCheckable());
  EXPECT_EQ(w->Action("mnuTrek")->text(), QStringLiteral("Автоматическая разметка концов трека"));
  EXPECT_EQ(w->Action("mnuStarPlus")->text(), QStringLiteral("Увеличить глубину каталога на 0.5 mag"));
}

TEST_F(MainWindowTest, FrameCommandsWithoutAFrameAnswerWithTheirMessages) {
  PlaceCatalogue();
  auto w = Start();
  const struct {
    const char* action;
    const char* message;
  } cases[] = {
      {"mnuOpenInf", "Кадр не открыт."},  {"mnuStar", "Кадр не открыт."},    {"mnuTrek", "Кадр не открыт."},
      {"mnuMtrek", "Файл не открыт."},    {"mnuStarId", "Кадр не открыт."},  {"mnuMesTrek", "Файл не открыт."},
      {"mnuSat", "Кадр не открыт."},      {"mnuUserSat", "Кадр не открыт."}, {"mnuSatN", "Кадр не открыт."},
      {"mnuStarVis", "Кадр не открыт."},  {"mnuViewmag", "Кадр не открыт."}, {"mnuAutoStar", "Кадр не открыт."},
      {"mnuAutoTrek", "Кадр не открыт."}, {"mnuAuto", "Кадр не открыт."},    {"mnuCrossings", "Кадр не открыт."},
      {"mnuIod", "Кадр не открыт."},
  };
  for (const auto& c : cases) {
    recorder.Clear();
    Trigger(*w, c.action);
    EXPECT_EQ(recorder.Texts(), std::vector<QString>{QString::fromUtf8(c.message)}) << c.action;
  }
  // Depth changes do nothing while catalogue stars are hidden.
  recorder.Clear();
  Trigger(*w, "mnuStarMinus");
  Trigger(*w, "mnuStarPlus");
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_FALSE(w->Action("mnuStarVis")->isChecked());
}

TEST_F(MainWindowTest, HelpCommandReportsAMissingHelpFileAndOpensAPresentOne) {
  PlaceCatalogue();
  auto w = Start();
  Trigger(*w, "mnuOrvia");
  ASSERT_EQ(recorder.Texts().size(), 1u);  // the designed text, and where the file should be
  EXPECT_TRUE(recorder.Texts()[0].startsWith(QStringLiteral("Файл справки отсутствует.\r\n")));
  EXPECT_TRUE(recorder.Texts()[0].contains(QStringLiteral("Orviahelp.html")));
  recorder.Clear();
  WriteFile(dir.path() / "program_files" / "Orviahelp.html", "<html></html>");
  QString opened;
  SetDocumentOpener([&](const QString& path) {
    opened = path;
    return true;
  });
  Trigger(*w, "mnuOrvia");
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_TRUE(opened.endsWith("Orviahelp.html"));
  // A desktop with no program for the page: the user learns where the page is.
  SetDocumentOpener([](const QString&) { return false; });
  Trigger(*w, "mnuOrvia");
  SetDocumentOpener({});
  ASSERT_EQ(recorder.Texts().size(), 1u);
  EXPECT_TRUE(recorder.Texts()[0].contains(opened)) << recorder.Texts()[0].toStdString();
}

// The shipped manual names every menu and menu command of the window, and every picture it shows is
// shipped beside it.
TEST_F(MainWindowTest, ManualNamesEveryMenuCommandAndShipsItsPictures) {
  PlaceCatalogue();
  auto w = Start();
  const fs::path data = testing_support::SourceDir() / "data";
  const QString manual = QString::fromStdString(ReadFile(data / "Orviahelp.html"));
  ASSERT_FALSE(manual.isEmpty());
  int commands = 0;
  for (QAction* menu : w->menuBar()->actions()) {
    EXPECT_TRUE(manual.contains(menu->text())) << menu->text().toStdString();
    for (QAction* action : menu->menu()->actions()) {
      if (action->isSeparator()) continue;
      ++commands;
      EXPECT_TRUE(manual.contains(action->text().remove('&'))) << action->text().toStdString();
    }
  }
  EXPECT_GE(commands, 20);
  const QRegularExpression picture(QStringLiteral("src=\"([^\"]+)\""));
  int pictures = 0;
  for (auto it = picture.globalMatch(manual); it.hasNext(); ++pictures)
    EXPECT_TRUE(fs::exists(data / it.next().captured(1).toStdString()));
  EXPECT_GE(pictures, 8);
}

TEST_F(MainWindowTest, OpensJpegAndBmpFramesWithTheirDisplaySize) {
  PlaceCatalogue();
  auto w = Start();
  const struct {
    int w, h;
    const char* format;
    int dw, dh;
    float scale;
  } cases[] = {{400, 300, "JPG", 400, 300, 1.0f},
               {3000, 2000, "JPG", 600, 400, 5.0f},
               {2000, 3000, "BMP", 400, 600, 5.0f},
               {1, 1, "BMP", 1, 1, 1.0f}};
  int n = 0;
  for (const auto& c : cases) {
    chosenFile = MakePicture(c.w, c.h, c.format, (std::to_string(n++) + "." + c.format).c_str());
    Trigger(*w, "mnuOpenIm");
    EXPECT_TRUE(recorder.messages.empty()) << c.w << "x" << c.h;
    const FrameState& f = w->Frame();
    ASSERT_TRUE(f.frameOpen);
    EXPECT_EQ(f.imageWidth, c.w);
    EXPECT_EQ(f.imageHeight, c.h);
    EXPECT_EQ(w->ViewState().displayWidth, c.dw);
    EXPECT_EQ(w->ViewState().displayHeight, c.dh);
    EXPECT_FLOAT_EQ(w->ViewState().displayScale, c.scale);
    if (c.format == std::string("BMP")) {
      EXPECT_EQ(f.brightness.at(c.w / 2 + 1, c.h / 2 + 1), 150);  // pure green
    }
    EXPECT_EQ(f.workMode, WorkMode::View);
    EXPECT_EQ(f.frameSide, 31);
    const FrameViewState& view = w->Viewer()->View();
    EXPECT_EQ(view.zoom, 5);
    EXPECT_EQ(view.cursorX, std::max(1, c.w / 2));  // the marking frame starts on the image centre
    EXPECT_EQ(view.cursorY, std::max(1, c.h / 2));
    EXPECT_EQ(w->FrameWindow()->windowTitle(), chosenFile);
    EXPECT_EQ(w->FrameWindow()->width(), c.dw + 40);
    EXPECT_EQ(w->FrameWindow()->height(), c.dh + 100);
    EXPECT_EQ(w->FrameWindow()->ModeCaption(), QStringLiteral("Просмотр"));
    EXPECT_TRUE(w->FrameWindow()->isVisible());
    EXPECT_TRUE(w->FragmentWindow()->isVisible());
  }
  EXPECT_EQ(w->App().framesOpened, 4);
  EXPECT_TRUE(fs::is_directory(dir.path() / "Info"));
  EXPECT_EQ(w->HintWindow()->Text(),
            QStringLiteral("Введите информацию о кадре или откройте информационный файл: \nМеню Файл-> Открыть "
                           "информационный файл \n "));
  EXPECT_EQ(w->FragmentWindow()->windowTitle(), QStringLiteral("( 1, 1)"));
}

TEST_F(MainWindowTest, DamagedOrUnsuitableFilesFailToOpenWithoutChangingAnything) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(64, 48, "JPG", "good.jpg");
  Trigger(*w, "mnuOpenIm");
  ASSERT_TRUE(w->Frame().frameOpen);
  const std::string goodPath = w->Frame().imagePath;

  const std::string jpeg = testing_support::ReadFile(chosenFile.toStdString());
  // A BMP header that claims 40000 x 2 pixels: refused from the header, nothing allocated.
  std::string wide(54, '\0');
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wide[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  wide[0] = 'B';
  wide[1] = 'M';
  put32(2, 54 + 40000 * 2 * 3);
  put32(10, 54);
  put32(14, 40);
  put32(18, 40000);
  put32(22, 2);
  wide[26] = 1;
  wide[28] = 24;
  const struct {
    const char* name;
    std::string bytes;
  } bad[] = {{"empty.jpg", ""},
             {"truncated.jpg", jpeg.substr(0, jpeg.size() / 3)},
             {"text.jpg", "this is not a picture at all"},
             {"wide.bmp", wide}};
  for (const auto& b : bad) {
    WriteFile(dir.path() / b.name, b.bytes);
    recorder.Clear();
    chosenFile = QString::fromStdString((dir.path() / b.name).string());
    Trigger(*w, "mnuOpenIm");
    // The usual text, then the cause on a second line.
    ASSERT_EQ(recorder.Texts().size(), 1u) << b.name;
    EXPECT_TRUE(recorder.Texts()[0].startsWith(QStringLiteral("Ошибка при открытии файла.\n"))) << b.name;
    EXPECT_EQ(w->Frame().imagePath, goodPath) << b.name;
  }
  EXPECT_EQ(w->App().framesOpened, 1);
  // A cancelled dialog changes nothing and says nothing.
  recorder.Clear();
  chosenFile.clear();
  Trigger(*w, "mnuOpenIm");
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, WorkModesSetCaptionOutlineAndHint) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(200, 100, "BMP", "m.bmp");
  Trigger(*w, "mnuOpenIm");
  ASSERT_TRUE(w->Frame().frameOpen);
  const struct {
    const char* action;
    WorkMode mode;
    const char* caption;
    QColor outline;
    const char* firstHint;
  } cases[] = {
      {"mnuStar", WorkMode::StarMarking, "Разметка звезд", QColor(250, 160, 190),
       "Для выбора звезды загоните звезду во фрейм и щелкните мышью"},
      {"mnuTrek", WorkMode::AutoTrackEnds, "Атоматическая разметка концов трека", QColor(255, 0, 255),
       "Для разметки конца трека загоните конец трека во фрейм и щелкните мышью"},
      {"mnuMtrek", WorkMode::ManualTrackEnds, "Ручная разметка концов трека", QColor(0, 200, 200),
       "Для разметки конца трека загоните конец трека в центр фрейма и щелкните мышью"},
      {"mnuView", WorkMode::View, "Просмотр", QColor(220, 230, 250), "В этом режиме ничего на кадре отмечать нельзя"},
  };
  for (const auto& c : cases) {
    Trigger(*w, c.action);
    EXPECT_EQ(w->Frame().workMode, c.mode);
    EXPECT_EQ(w->FrameWindow()->ModeCaption(), QString::fromUtf8(c.caption));
    EXPECT_EQ(w->FrameWindow()->MarkingFrameColour(), c.outline);
    EXPECT_TRUE(w->HintWindow()->Text().startsWith(QString::fromUtf8(c.firstHint))) << c.action;
  }
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, IdentificationNeedsFourStarsAndAValidPanel) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(200, 100, "BMP", "s.bmp");
  Trigger(*w, "mnuOpenIm");
  w->Frame().starMarks.resize(3);
  Trigger(*w, "mnuStarId");
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Выбрано недостаточно звезд. Нужно не менее 4")});
  recorder.Clear();
  w->Frame().starMarks.resize(4);
  Trigger(*w, "mnuStarId");  // the panel still holds 00.00.0000
  // The designed text, then its cause and next step on a second line.
  ASSERT_EQ(recorder.Texts().size(), 1u);
  EXPECT_EQ(recorder.Texts()[0].split(QStringLiteral("\r\n")).first(), QStringLiteral("Ошибка ввода даты"));
  EXPECT_TRUE(recorder.Texts()[0].contains(QStringLiteral("ДД.ММ.ГГГГ")));
  // Track commands check their counts.
  recorder.Clear();
  Trigger(*w, "mnuMesTrek");
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Концы трека не отмечены")});
  recorder.Clear();
  w->Frame().trackEnds.count = 1;
  Trigger(*w, "mnuMesTrek");  // one end passes the count check and meets the solution check
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Звезды кадра не идентифицированы")});
}

TEST_F(MainWindowTest, FrameSizeWindowChangesTheMarkingFrame) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(300, 200, "BMP", "f.bmp");
  Trigger(*w, "mnuOpenIm");
  Trigger(*w, "MnuParf");
  auto* window = w->findChild<QWidget*>("FrmNast");
  ASSERT_NE(window, nullptr);
  auto* list = testing_support::Find<QListWidget>(window, "ListF");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 8);
  EXPECT_EQ(list->item(3)->text(), QStringLiteral("31x31  Увеличение 5раз"));
  EXPECT_EQ(list->currentRow(), 3);
  list->setCurrentRow(7);
  testing_support::Find<QPushButton>(window, "cmdok")->click();
  EXPECT_EQ(w->Frame().frameSizeIndex, 7);
  EXPECT_EQ(w->Frame().frameSide, 141);
  EXPECT_EQ(w->Viewer()->View().zoom, 1);
  EXPECT_EQ(w->FragmentWindow()->FragmentSide(), 141);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, TleMenuOpensItsWindowsAndRunsNameImports) {
  PlaceCatalogue();
  auto w = Start();
  Trigger(*w, "mnuLoadTleDir");
  QWidget* chooser = w->findChild<QWidget*>("FrmDir");
  ASSERT_NE(chooser, nullptr);
  EXPECT_TRUE(chooser->isVisible());
  EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Выбрать файлы"));
  Trigger(*w, "mnuClear");
  ASSERT_NE(w->findChild<QWidget*>("FrmClear"), nullptr);

  // A names list that cannot be read ends with the command's failure message, and readiness returns.
  chosenFile = QString::fromStdString((dir.path() / "missing.txt").string());
  Trigger(*w, "mnuVislist");
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Произошла ошибка при чтении файла")});
  recorder.Clear();
  Trigger(*w, "mnussr");
  EXPECT_EQ(recorder.Texts(), std::vector<QString>{QStringLiteral("Произошла ошибка при чтении ssr-файла")});
  EXPECT_TRUE(w->App().catalogueReady);
  EXPECT_FALSE(w->App().longTaskRunning);
  // A cancelled file dialog runs nothing.
  recorder.Clear();
  chosenFile.clear();
  Trigger(*w, "mnussr");
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, InformationFileIsWrittenOnLeavingAFrameAndReadOnReturning) {
  PlaceCatalogue();
  const fs::path info = dir.path() / "Info";
  {
    auto w = Start();
    w->ShutDown();  // no frame was ever opened: nothing is written
    EXPECT_FALSE(fs::exists(info) && !fs::is_empty(info));
  }
  chosenFile = MakePicture(64, 48, "JPG", "frame.jpg");
  std::string own;
  {
    auto w = Start();
    Trigger(*w, "mnuOpenIm");
    ASSERT_TRUE(w->Frame().frameOpen);
    own = w->Frame().infoFilePath;
    EXPECT_EQ(own, InfoFileName(w->App().appDir, chosenFile.toStdString()));
    FrmPar* panel = w->Panel();
    testing_support::Find<QLineEdit>(panel, "txtp1")->setText("bad date");
    testing_support::Find<QLineEdit>(panel, "txtp4")->setText("7,5");
    testing_support::Find<QLineEdit>(panel, "txtp5")->setText("30");
    testing_support::Find<QRadioButton>(panel, "OptW")->setChecked(true);
    w->ShutDown();  // written even though the date does not parse
  }
  const std::string saved = ReadFile(own);
  EXPECT_NE(saved.find("Date_start=00.00.0000\r\n"), std::string::npos);
  EXPECT_NE(saved.find("Exposition= 7.5\r\n"), std::string::npos);
  EXPECT_NE(saved.find("Longitude=-30\r\n"), std::string::npos);

  // Another information file read into the frame is shown, then kept under the frame's own name.
  const fs::path other = info / "other.txt";
  WriteFile(other,
            "[User Info]\r\nDate_start=01.02.2013\r\nUT_start=03:04:05.00\r\nExposition=2\r\n"
            "[Satellite Info]\r\nNorad=25544\r\nMulti_traectory=25544, 20580\r\n");
  const std::string otherText = ReadFile(other);
  {
    auto w = Start();
    Trigger(*w, "mnuOpenIm");
    EXPECT_EQ(w->HintWindow()->Text().section('\n', 0, 0), QStringLiteral("Файл параметров найден."));
    FrmPar* panel = w->Panel();
    EXPECT_EQ(testing_support::Find<QLineEdit>(panel, "txtp4")->text(), "7.50");
    EXPECT_EQ(testing_support::Find<QLineEdit>(panel, "txtp5")->text(), "30.00000");
    EXPECT_TRUE(testing_support::Find<QRadioButton>(panel, "OptW")->isChecked());

    // Two ends marked on the frame; the file read in has none, so none stay marked.
    w->Frame().trackEnds[1].x = 10;
    w->Frame().trackEnds[1].y = 12;
    w->Frame().trackEnds[2].x = 30;
    w->Frame().trackEnds[2].y = 20;
    w->Frame().trackEnds.count = 2;
    chosenFile = QString::fromStdString(other.string());
    Trigger(*w, "mnuOpenInf");
    EXPECT_EQ(w->Frame().trackEnds.count, 0);
    EXPECT_EQ(w->FrameWindow()->OverlayCount(OverlayKind::TrackEnds), 0);
    EXPECT_EQ(testing_support::Find<QLineEdit>(panel, "txtp1")->text(), "01.02.2013");
    EXPECT_EQ(testing_support::Find<QLineEdit>(panel, "txtp2")->text(), "03:04:05.00");
    EXPECT_EQ(w->Frame().identifiedNorad, 25544);
    EXPECT_EQ(w->Frame().rememberedSatellites, (std::vector<int>{25544, 20580}));
    EXPECT_EQ(w->Frame().infoFilePath, own);
    w->ShutDown();
  }
  EXPECT_EQ(ReadFile(other), otherText);
  const std::string merged = ReadFile(own);
  EXPECT_NE(merged.find("Date_start=01.02.2013\r\n"), std::string::npos);
  EXPECT_NE(merged.find("Date=01.02.2013\r\nUT=03:04:06.00\r\n"), std::string::npos);  // mid time, 1 s later
  EXPECT_NE(merged.find("Multi_traectory=25544, 20580\r\n"), std::string::npos);
  EXPECT_NE(merged.find("Norad= 25544\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, OpeningAFrameShowsTheResetCatalogueDepth) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(64, 48, "JPG", "first.jpg");
  Trigger(*w, "mnuOpenIm");
  w->Panel()->SetProgramRow(9, "5.5");  // as after two depth increases on the first frame
  chosenFile = MakePicture(64, 48, "BMP", "second.bmp");
  Trigger(*w, "mnuOpenIm");
  ASSERT_TRUE(w->Frame().frameOpen);
  EXPECT_EQ(w->Panel()->ProgramRow(9), "4.0");
}

}  // namespace

namespace {

TEST_F(MainWindowTest, InformationFileWithOnlyTheMidTimeReplacesATypedStartTime) {
  PlaceCatalogue();
  auto w = Start();
  chosenFile = MakePicture(120, 90, "BMP", "mid.bmp");
  Trigger(*w, "mnuOpenIm");
  ASSERT_TRUE(w->Frame().frameOpen);
  auto* date = testing_support::Find<QLineEdit>(w->Panel(), "txtp1");
  auto* time = testing_support::Find<QLineEdit>(w->Panel(), "txtp2");
  date->setText("01.01.2020");
  time->setText("10:00:00");
  Trigger(*w, "mnuStarId");  // collects the typed start time into the frame (and stops at the star count)
  const fs::path old = dir.path() / "Info" / "old.txt";
  WriteFile(old, "[User Info]\r\nDate=24.04.2012\r\nUT=21:30:00.00\r\nExposition=10\r\n");
  chosenFile = QString::fromStdString(old.string());
  Trigger(*w, "mnuOpenInf");
  EXPECT_EQ(date->text(), "24.04.2012");
  EXPECT_EQ(time->text(), "21:29:55.00");
  EXPECT_EQ(w->Frame().infoFilePath.find("old.txt"), std::string::npos);  // saved under the frame's own name
}

}  // namespace

TEST_F(MainWindowTest, AFailedInformationFileWriteIsReportedAndKeepsTheFrameOpen) {
  PlaceCatalogue();
  auto w = Start();
  const QString first = MakePicture(100, 80, "JPG", "a.jpg");
  chosenFile = first;
  Trigger(*w, "mnuOpenIm");
  ASSERT_TRUE(w->Frame().frameOpen);
  const std::string infoPath = w->Frame().infoFilePath;
  // The Info folder has become a file: the information file cannot be written.
  fs::remove_all(dir.path() / "Info");
  WriteFile(dir.path() / "Info", "not a folder");
  recorder.Clear();
  recorder.answers = {MessageAnswer::No, MessageAnswer::No, MessageAnswer::Yes};
  chosenFile = MakePicture(120, 90, "JPG", "b.jpg");
  Trigger(*w, "mnuOpenIm");
  ASSERT_EQ(recorder.messages.size(), 1u);
  const QString text = recorder.messages[0].text;
  EXPECT_TRUE(text.contains(QString::fromStdString(infoPath))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromStdString(std::generic_category().message(ENOTDIR)))) << text.toStdString();
  EXPECT_EQ(recorder.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(w->Frame().imagePath, first.toStdString());  // the frame stays open
  // Quitting asks the same; "No" keeps the program running, "Yes" quits without the file.
  EXPECT_FALSE(w->close());
  EXPECT_EQ(recorder.messages.size(), 2u);
  EXPECT_TRUE(w->close());
  EXPECT_EQ(recorder.messages.size(), 3u);
}

TEST_F(MainWindowTest, ClosingDuringTheFirstStartsIndexBuildEndsTheProgram) {
  WriteFile(dir.path() / "bin8.dat", ReadFile(testing_support::SourceDir() / "data" / "bin8.dat"));
  auto w = std::make_unique<MainWindow>(AppDir());
  QTimer::singleShot(100, w.get(), [&w] { w->close(); });
  EXPECT_FALSE(w->StartUp());
  EXPECT_TRUE(recorder.messages.empty());
  // The build stopped: no index, no temporary file; the next start builds it.
  EXPECT_FALSE(fs::exists(dir.path() / "program_files" / "tri4t.dat"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "program_files"), {}), 2);  // bin8.dat, bin8.sum
}

namespace {

// A closed panel, hint or fragment comes back from the Окна menu.
TEST_F(MainWindowTest, ClosedToolWindowsComeBackFromTheWindowsMenu) {
  PlaceCatalogue();
  auto w = Start();
  w->Panel()->close();
  w->HintWindow()->close();
  Trigger(*w, "mnuShowPanel");
  Trigger(*w, "mnuShowHint");
  EXPECT_TRUE(w->Panel()->isVisible() && w->HintWindow()->isVisible());
  ASSERT_TRUE(w->OpenFrame(MakePicture(300, 200, "BMP", "frame.bmp")));
  w->FragmentWindow()->close();
  Trigger(*w, "mnuShowFragment");
  EXPECT_TRUE(w->FragmentWindow()->isVisible());
}

// The frame chooser starts in the user's home folder, then in the folder of the frame chosen last; the
// information-file chooser keeps its own last folder.
TEST_F(MainWindowTest, ChoosersStartAtHomeThenInTheFolderUsedLast) {
  PlaceCatalogue();
  auto w = Start();
  QStringList folders;
  SetFileDialogInterceptor([&](const QString&, const QString& folder, const QString&) {
    folders << folder;
    return chosenFile;
  });
  fs::create_directories(dir.path() / "frames");
  chosenFile = MakePicture(300, 200, "BMP", "frames/one.bmp");
  Trigger(*w, "mnuOpenIm");
  WriteFile(dir.path() / "notes" / "one.txt", "");
  chosenFile = QString::fromStdString((dir.path() / "notes" / "one.txt").string());
  for (const char* command : {"mnuOpenInf", "mnuOpenInf", "mnuOpenIm"}) Trigger(*w, command);
  ASSERT_EQ(folders.size(), 4);
  EXPECT_EQ(QDir(folders[0]), QDir::home());
  EXPECT_EQ(QDir(folders[1]), QDir(AppDir() + "/Info"));
  EXPECT_EQ(QDir(folders[2]), QDir(AppDir() + "/notes"));
  EXPECT_EQ(QDir(folders[3]), QDir(AppDir() + "/frames"));
}

}  // namespace
