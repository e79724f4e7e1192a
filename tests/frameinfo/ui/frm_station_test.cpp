// The places window as the user drives it from the panel: listing, choosing into the panel, adding
// (with the file rewritten or, when that fails, kept), the degrees-minutes-seconds dialog; and the IOD
// report's failure message.
#include "frameinfo/ui/frm_station.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <filesystem>
#include <system_error>

#include "frameinfo/ui/frm_format.h"
#include "frameinfo/ui/frm_par.h"
#include "frameinfo/ui/iod_report.h"
#include "test_paths.h"
#include "ui_test_support.h"

using testing_support::Find;
using testing_support::MessageRecorder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kTwoPlaces = "\"Обсерватория\",37.617,55.756,1234\r\n\"Поле\",-30.5,-10.25,7\r\n";

FrmStation* OpenFromPanel(FrmPar& panel) {
  Find<QToolButton>(&panel, "ImageFile")->click();
  return panel.findChild<FrmStation*>();
}

void Click(QWidget* root, const char* name) {
  Find<QPushButton>(root, name)->click();
}
void Type(QWidget* root, const char* name, const char* text) {
  Find<QLineEdit>(root, name)->setText(QString::fromUtf8(text));
}

TEST(FrmStation, ChoosingAPlaceFillsThePanel) {
  TempDir dir;
  WriteFile(PlacesFileName(dir.appDir()), kTwoPlaces);
  MessageRecorder messages;
  FrmPar panel;
  panel.SetAppDir(dir.appDir());
  int code = -1;
  QObject::connect(&panel, &FrmPar::StationChosen, [&](std::int16_t c) { code = c; });
  FrmStation* places = OpenFromPanel(panel);
  ASSERT_NE(places, nullptr);
  EXPECT_EQ(places->windowTitle(), QStringLiteral("Место наблюдения"));
  auto* list = Find<QListWidget>(places, "ListS");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("Поле    30.500° W   10.250° S   Код=7"));
  list->setCurrentRow(1);
  Click(places, "cmdChoose");
  EXPECT_EQ(Find<QLineEdit>(&panel, "txtp5")->text(), QStringLiteral("30.50000"));
  EXPECT_EQ(Find<QLineEdit>(&panel, "txtp6")->text(), QStringLiteral("10.25000"));
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptW")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(&panel, "OptS")->isChecked());
  EXPECT_EQ(code, 7);
  testing_support::ProcessEvents();
  EXPECT_EQ(panel.findChild<FrmStation*>(), nullptr);  // closed and deleted
  EXPECT_TRUE(messages.messages.empty());
}

TEST(FrmStation, AddingRewritesTheFileOrKeepsItWhenWritingFails) {
  TempDir dir;
  const std::string path = PlacesFileName(dir.appDir());
  WriteFile(path, kTwoPlaces);
  MessageRecorder messages;
  auto* places = new FrmStation(dir.appDir());
  Click(places, "cmdAdd");
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], QStringLiteral("Не задано название"));
  EXPECT_EQ(messages.messages[0].caption, QStringLiteral("Сообщение"));

  Type(places, "txtname", "Дача \"Заря\"");
  Type(places, "txtLong", "12,5");
  Find<QRadioButton>(places, "OptW")->click();
  Type(places, "txtLat", "-45.25");  // the magnitude counts; N stays selected
  Type(places, "txtcod", "99.6");
  {
    // A full disk: the longer list cannot be written.
    testing_support::FileSizeLimit full(kTwoPlaces.size());
    Click(places, "cmdAdd");
  }
  ASSERT_EQ(messages.Texts().size(), 2u);
  EXPECT_EQ(messages.Texts()[1].toStdString(), "Не удалось записать файл списка мест наблюдения " + path + ": " +
                                                   std::generic_category().message(EFBIG) +
                                                   ". Новое место не сохранено, прежний список не изменён");
  EXPECT_EQ(ReadFile(path), kTwoPlaces);
  EXPECT_EQ(Find<QListWidget>(places, "ListS")->count(), 2);

  Click(places, "cmdAdd");
  EXPECT_EQ(messages.Texts().size(), 2u);
  EXPECT_EQ(ReadFile(path), kTwoPlaces + "\"Дача \"\"Заря\"\"\",-12.5,45.25,100\r\n");
  EXPECT_EQ(Find<QListWidget>(places, "ListS")->count(), 3);
  EXPECT_EQ(Find<QListWidget>(places, "ListS")->currentRow(), 0);  // the new place is not selected
  delete places;

  FrmStation reopened(dir.appDir());
  ASSERT_EQ(reopened.Sites().size(), 3u);
  EXPECT_EQ(reopened.Sites()[2].name, "Дача \"Заря\"");
}

TEST(FrmStation, UnusableFileIsReportedAndKeptWhenAPlaceIsAdded) {
  TempDir dir;
  const std::string path = PlacesFileName(dir.appDir());
  WriteFile(path, "\"Broken\",1\r\n");
  MessageRecorder messages;
  FrmStation places(dir.appDir());
  ASSERT_EQ(messages.Texts().size(), 1u);
  // The usual text, then the unreadable line named.
  EXPECT_TRUE(messages.Texts()[0].startsWith(QStringLiteral("Возникла ошибка с файлом списка мест наблюдения\n")));
  EXPECT_TRUE(messages.Texts()[0].contains(QStringLiteral("строка 1")));
  EXPECT_EQ(Find<QListWidget>(&places, "ListS")->count(), 0);
  Type(&places, "txtname", "New");
  Type(&places, "txtcod", "1");
  Click(&places, "cmdAdd");
  EXPECT_EQ(ReadFile(path), "\"Broken\",1\r\n\"New\",0,0,1\r\n");  // the unreadable line is kept
}

TEST(FrmStation, DegreesMinutesSecondsDialogWorksOnTheCoordinateBox) {
  TempDir dir;
  MessageRecorder messages;
  FrmStation places(dir.appDir());
  Type(&places, "txtLong", "55,75");
  Click(&places, "cmdlon1");
  auto* dialog = places.findChild<FrmFormat*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Find<QLineEdit>(dialog, "txtg")->text(), QStringLiteral("55"));
  EXPECT_EQ(Find<QLineEdit>(dialog, "txtm")->text(), QStringLiteral("45"));
  EXPECT_EQ(Find<QLineEdit>(dialog, "txts")->text(), QStringLiteral("0.0"));
  Type(dialog, "txtg", "37");
  Type(dialog, "txtm", "37");
  Type(dialog, "txts", "1,2");
  Click(dialog, "cmdok");
  EXPECT_EQ(Find<QLineEdit>(&places, "txtLong")->text(), QStringLiteral("37.61700"));
  testing_support::ProcessEvents();
  EXPECT_EQ(places.findChild<FrmFormat*>(), nullptr);
  // "Отмена" changes nothing.
  Click(&places, "cmdlat1");
  dialog = places.findChild<FrmFormat*>();
  ASSERT_NE(dialog, nullptr);
  Type(dialog, "txtg", "5");
  Click(dialog, "cmdcancel");
  EXPECT_EQ(Find<QLineEdit>(&places, "txtLat")->text(), QString());
}

TEST(IodReportWindow, UnwritableReportIsShownAsAMessage) {
  TempDir dir;
  MessageRecorder messages;
  IodInput input;
  input.catalogueNumber = 25544;
  input.designator = "98067A  ";
  input.positions = {IodPosition{61161.5, J2000Direction{1.0, 0.5}}};
  const std::string missing = (dir.path() / "missing").string() + "/";
  ShowIodReport(nullptr, WriteIodReport(missing, input));
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0].toStdString(),
            "Не удалось записать файл " + missing + "iod_25544.txt: " + std::generic_category().message(ENOENT));
  EXPECT_EQ(messages.messages[0].caption, QStringLiteral("Сообщение"));
}

}  // namespace
