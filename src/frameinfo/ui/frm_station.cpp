#include "frameinfo/ui/frm_station.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <limits>

#include "base/numbers.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "frameinfo/frame_info.h"
#include "frameinfo/ui/frm_format.h"

namespace {

QString Say(const char* text) {
  return QString::fromUtf8(text);
}

// A coordinate box's magnitude, "," read as the decimal point.
double Magnitude(const QLineEdit* box) {
  return std::fabs(ParseNumber(box->text().replace(',', '.').toStdString()));
}

// The list line of a place with its name decoded for the screen.
QString ListLine(const ObserverSite& site) {
  ObserverSite unnamed = site;
  unnamed.name.clear();
  return PlaceNameText(site.name) + QString::fromStdString(PlaceListLine(unnamed));
}

}  // namespace

QString PlaceNameText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8(QByteArray::fromStdString(bytes));
  if (!utf8.hasError()) return text;
  // Windows-1251: the Cyrillic letters А..я at 0xC0..0xFF, Ё and ё at 0xA8 and 0xB8; other bytes as Latin-1.
  text.clear();
  for (unsigned char c : bytes) {
    if (c >= 0xC0)
      text += QChar(0x0410 + (c - 0xC0));
    else if (c == 0xA8)
      text += QChar(0x0401);
    else if (c == 0xB8)
      text += QChar(0x0451);
    else
      text += QChar(c);
  }
  return text;
}

FrmStation::FrmStation(const std::string& appDir, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), appDir_(appDir) {
  setObjectName("FrmStation");
  setWindowTitle(QStringLiteral("Место наблюдения"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  listS_ = new QListWidget(this);
  listS_->setObjectName("ListS");
  layout->addWidget(listS_);
  auto* choose = new QPushButton(QStringLiteral("Выбрать"), this);
  choose->setObjectName("cmdChoose");
  layout->addWidget(choose);
  layout->addWidget(createAddGroup());
  connect(choose, &QPushButton::clicked, this, &FrmStation::ChooseClicked);
  Load();
}

QWidget* FrmStation::createAddGroup() {
  auto* group = new QGroupBox(QStringLiteral("Добавить в список"), this);
  auto* grid = new QGridLayout(group);
  txtname_ = new QLineEdit(group);
  txtname_->setObjectName("txtname");
  grid->addWidget(new QLabel(QStringLiteral("Название"), group), 0, 0);
  grid->addWidget(txtname_, 0, 1, 1, 4);
  txtLong_ = createCoordinateRow(group, 1, QStringLiteral("Долгота°"), "txtLong", "E", "W", "cmdlon1", optW_);
  txtLat_ = createCoordinateRow(group, 2, QStringLiteral("Широта°"), "txtLat", "N", "S", "cmdlat1", optS_);
  txtcod_ = new QLineEdit(group);
  txtcod_->setObjectName("txtcod");
  grid->addWidget(new QLabel(QStringLiteral("Код (для IOD)"), group), 3, 0);
  grid->addWidget(txtcod_, 3, 1);
  txtHeight_ = new QLineEdit(group);
  txtHeight_->setObjectName("txtHeight");
  grid->addWidget(new QLabel(QStringLiteral("Высота, м"), group), 4, 0);
  grid->addWidget(txtHeight_, 4, 1);
  auto* add = new QPushButton(QStringLiteral("Добавить"), group);
  add->setObjectName("cmdAdd");
  grid->addWidget(add, 5, 0, 1, 5);
  connect(add, &QPushButton::clicked, this, &FrmStation::AddClicked);
  return group;
}

QLineEdit* FrmStation::createCoordinateRow(QWidget* group, int row, const QString& caption, const char* boxName,
                                           const char* first, const char* second, const char* buttonName,
                                           QRadioButton*& secondOption) {
  auto* grid = static_cast<QGridLayout*>(group->layout());
  auto* box = new QLineEdit(group);
  box->setObjectName(QString::fromLatin1(boxName));
  auto* options = new QButtonGroup(group);
  auto* firstOption = new QRadioButton(QString::fromLatin1(first), group);
  firstOption->setObjectName(QStringLiteral("Opt") + QString::fromLatin1(first));
  secondOption = new QRadioButton(QString::fromLatin1(second), group);
  secondOption->setObjectName(QStringLiteral("Opt") + QString::fromLatin1(second));
  options->addButton(firstOption);
  options->addButton(secondOption);
  firstOption->setChecked(true);
  auto* dms = new QPushButton(QStringLiteral("°"), group);
  dms->setObjectName(QString::fromLatin1(buttonName));
  dms->setMaximumWidth(30);
  grid->addWidget(new QLabel(caption, group), row, 0);
  grid->addWidget(box, row, 1);
  grid->addWidget(dms, row, 2);
  grid->addWidget(firstOption, row, 3);
  grid->addWidget(secondOption, row, 4);
  connect(dms, &QPushButton::clicked, this, [this, box] {
    auto* dialog = new FrmFormat(box, this);
    MoveInsideArea(dialog, QPoint(frameGeometry().right() + 4, box->mapToGlobal(QPoint(0, 0)).y()));
    dialog->show();
  });
  return box;
}

void FrmStation::Load() {
  sites_.clear();
  listS_->clear();
  const PlacesLoad load = LoadPlaces(appDir_);
  // The refusal first, then each line that could not be read; the readable places stay listed.
  if (const std::string message = PlacesLoadMessage(load); !message.empty())
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, this);
  sites_ = load.sites;
  for (const ObserverSite& site : sites_) listS_->addItem(ListLine(site));
  if (!sites_.empty()) listS_->setCurrentRow(0);
}

void FrmStation::ChooseClicked() {
  const int row = listS_->currentRow();
  if (row >= 0 && row < static_cast<int>(sites_.size())) emit PlaceChosen(sites_[row]);
  close();
}

void FrmStation::AddClicked() {
  if (txtname_->text().isEmpty()) {
    ShowMessage(Say(kPlaceNameMissing), kMessageCaption, MessageButtons::Ok, this);
    return;
  }
  // A 256th record would make the whole file unreadable.
  if (static_cast<int>(sites_.size()) >= kMaxPlaces) {
    ShowMessage(QStringLiteral("В списке уже %1 мест: больше добавить нельзя").arg(kMaxPlaces), kMessageCaption,
                MessageButtons::Ok, this);
    return;
  }
  const double code = std::round(ParseNumber(txtcod_->text().toStdString()));
  if (code < std::numeric_limits<std::int16_t>::min() || code > std::numeric_limits<std::int16_t>::max()) {
    ShowMessage(QStringLiteral("Код должен быть от -32768 до 32767"), kMessageCaption, MessageButtons::Ok, this);
    return;
  }
  // An empty height box is sea level.
  const double height = ParseNumber(txtHeight_->text().replace(',', '.').toStdString());
  if (const std::string fault = HeightFault(height); !fault.empty()) {
    ShowMessage(QString::fromStdString(fault), kMessageCaption, MessageButtons::Ok, this);
    return;
  }
  ObserverSite site;
  site.name = txtname_->text().toStdString();
  site.heightM = height;
  site.longitude = optW_->isChecked() ? -Magnitude(txtLong_) : Magnitude(txtLong_);
  site.latitude = optS_->isChecked() ? -Magnitude(txtLat_) : Magnitude(txtLat_);
  site.code = static_cast<std::int16_t>(RoundToInt(code));
  const std::string path = PlacesFileName(appDir_);
  // Saving keeps every line the file holds, readable or not, and adds the new place.
  std::vector<ObserverSite> updated = sites_;
  updated.push_back(site);
  if (const WriteResult saved = SavePlaces(appDir_, updated); !saved) {
    ShowMessage(QString::fromStdString(PlacesSaveError(path, saved.reason)), kMessageCaption, MessageButtons::Ok, this);
    return;
  }
  sites_ = std::move(updated);
  listS_->addItem(ListLine(site));
}
