#include "frameinfo/ui/frm_par.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "base/numbers.h"
#include "base/ui/owned_window.h"
#include "frameinfo/ui/frm_station.h"

namespace {

QString Fmt(double value, const char* pattern) {
  return QString::fromStdString(FormatNumber(value, pattern));
}

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  return label;
}

QLineEdit* Box(const QString& name, QWidget* parent, bool readOnly = false) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(readOnly);
  box->setMaximumWidth(150);
  return box;
}

std::string Text(const QLineEdit* box) {
  return box->text().toStdString();
}

}  // namespace

FrmPar::FrmPar(QWidget* parent) : QWidget(parent, OwnedWindowFlags(Qt::WindowMinimizeButtonHint)) {
  setObjectName("FrmPar");
  setWindowTitle(QStringLiteral("Параметры"));
  // The rows scroll inside the window when the screen is lower than the panel (1366x768 and below).
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("scrPar");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  auto* rows = new QWidget(scroll);
  auto* layout = new QVBoxLayout(rows);
  layout->setSpacing(3);

  layout->addWidget(Heading(QStringLiteral("Параметры пользователя"), this));
  auto* user = new QGridLayout;
  const QString userLabels[7] = {{},
                                 QStringLiteral("Дата [дд.мм.гггг]"),
                                 QStringLiteral("UT [чч:мм:cc.c]"),
                                 QStringLiteral("Ошибка UT [сек]"),
                                 QStringLiteral("Экспозиция [сек]"),
                                 QStringLiteral("Долгота [градусы]"),
                                 QStringLiteral("Широта [градусы]")};
  for (int i = 1; i <= 6; ++i) {
    auto* label = new QLabel(userLabels[i], this);
    user->addWidget(label, i, 0);
    txtp_[i] = Box(QStringLiteral("txtp%1").arg(i), this);
    user->addWidget(txtp_[i], i, 1);
  }
  txtp_[2]->setToolTip(QStringLiteral("Время начала экспозиции"));
  auto hemisphere = [&](int row, QRadioButton*& first, QRadioButton*& second, const char* a, const char* b) {
    auto* group = new QButtonGroup(this);
    first = new QRadioButton(QString::fromLatin1(a), this);
    first->setObjectName(QStringLiteral("Opt%1").arg(QString::fromLatin1(a)));
    second = new QRadioButton(QString::fromLatin1(b), this);
    second->setObjectName(QStringLiteral("Opt%1").arg(QString::fromLatin1(b)));
    group->addButton(first);
    group->addButton(second);
    auto* box = new QHBoxLayout;
    box->addWidget(first);
    box->addWidget(second);
    user->addLayout(box, row, 2);
    first->setChecked(true);
  };
  hemisphere(5, optE_, optW_, "E", "W");
  hemisphere(6, optN_, optS_, "N", "S");
  user->addWidget(new QLabel(QStringLiteral("Высота, м"), this), 7, 0);
  txtHeight_ = Box("txtHeight", this);
  txtHeight_->setToolTip(QStringLiteral("Высота места над эллипсоидом WGS-84"));
  user->addWidget(txtHeight_, 7, 1);
  layout->addLayout(user);
  // A minus sign typed before the longitude or latitude chooses W or S and leaves the box.
  connect(txtp_[5], &QLineEdit::textEdited, this, [this] { TakeMinusSign(txtp_[5], optW_); });
  connect(txtp_[6], &QLineEdit::textEdited, this, [this] { TakeMinusSign(txtp_[6], optS_); });

  auto* buttons = new QHBoxLayout;
  auto* imageFile = new QToolButton(this);
  imageFile->setObjectName("ImageFile");
  imageFile->setToolTip(QStringLiteral("Список мест из файла"));
  imageFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  auto* imageExif = new QToolButton(this);
  imageExif->setObjectName("ImageExif");
  imageExif->setIcon(style()->standardIcon(QStyle::SP_FileDialogInfoView));
  buttons->addWidget(imageFile);
  buttons->addWidget(imageExif);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(imageFile, &QToolButton::clicked, this, &FrmPar::OpenPlaces);
  connect(imageExif, &QToolButton::clicked, this, &FrmPar::ExifRequested);

  auto* centreGroup = new QButtonGroup(this);
  opt1_ = new QRadioButton(QStringLiteral("Координаты ЦП не заданы"), this);
  opt1_->setObjectName("Opt1");
  opt2_ = new QRadioButton(QStringLiteral("Координаты ЦП заданы"), this);
  opt2_->setObjectName("Opt2");
  centreGroup->addButton(opt1_);
  centreGroup->addButton(opt2_);
  layout->addWidget(opt1_);
  layout->addWidget(opt2_);
  auto* centre = new QGridLayout;
  txtra_ = Box("txtra", this);
  txtdec_ = Box("txtdec", this);
  txtzone_ = Box("txtzone", this);
  centre->addWidget(new QLabel(QStringLiteral("RA [градусы]"), this), 0, 0);
  centre->addWidget(txtra_, 0, 1);
  centre->addWidget(new QLabel(QStringLiteral("DEC [градусы]"), this), 1, 0);
  centre->addWidget(txtdec_, 1, 1);
  centre->addWidget(new QLabel(QStringLiteral("Поле [градусы]"), this), 2, 0);
  centre->addWidget(txtzone_, 2, 1);
  // A camera that stays pointed through the night: its altitude and azimuth instead of RA and DEC.
  chAltAz_ = new QCheckBox(QStringLiteral("Высота и азимут вместо RA и DEC"), this);
  chAltAz_->setObjectName("chAltAz");
  txtAlt_ = Box("txtAlt", this);
  txtAz_ = Box("txtAz", this);
  txtAz_->setToolTip(QStringLiteral("От севера через восток"));
  centre->addWidget(chAltAz_, 3, 0, 1, 2);
  centre->addWidget(new QLabel(QStringLiteral("Высота ЦП [градусы]"), this), 4, 0);
  centre->addWidget(txtAlt_, 4, 1);
  centre->addWidget(new QLabel(QStringLiteral("Азимут ЦП [градусы]"), this), 5, 0);
  centre->addWidget(txtAz_, 5, 1);
  connect(chAltAz_, &QCheckBox::toggled, this, &FrmPar::CentreOptionChanged);
  layout->addLayout(centre);
  opt1_->setChecked(true);
  connect(opt1_, &QRadioButton::toggled, this, &FrmPar::CentreOptionChanged);
  CentreOptionChanged();

  chElev_ = new QCheckBox(QStringLiteral("Не учитывать видимость"), this);
  chElev_->setObjectName("chElev");
  layout->addWidget(chElev_);
  connect(chElev_, &QCheckBox::toggled, this, [this](bool ticked) { emit VisibilityChanged(!ticked); });
  chkFixedCamera_ = new QCheckBox(QStringLiteral("Неподвижная камера"), this);
  chkFixedCamera_->setObjectName("chkFixedCamera");
  layout->addWidget(chkFixedCamera_);

  layout->addWidget(Heading(QStringLiteral("Параметры программы"), this));
  auto* program = new QGridLayout;
  const QString programLabels[10] = {{},
                                     QStringLiteral("Звезд на кадре"),
                                     QStringLiteral("RA"),
                                     QStringLiteral("DEC"),
                                     QStringLiteral("Mасштаб_X"),  // Latin M
                                     QStringLiteral("Масштаб_Y"),  // Cyrillic М
                                     QStringLiteral("Поле зрения"),
                                     QStringLiteral("Поворот поля"),
                                     QStringLiteral("Зеркальность"),
                                     QStringLiteral("Глубина каталога")};
  for (int i = 1; i <= 9; ++i) {
    program->addWidget(new QLabel(programLabels[i], this), i, 0);
    txtm_[i] = Box(QStringLiteral("txtm%1").arg(i), this, true);
    program->addWidget(txtm_[i], i, 1);
  }
  txtm_[9]->setText("4.0");
  layout->addLayout(program);

  layout->addWidget(Heading(QStringLiteral("Доп. сведения"), this));
  auto* sup = new QGridLayout;
  const QString supLabels[4] = {
      {}, QStringLiteral("Луна над горизонтом"), QStringLiteral("Фаза Луны"), QStringLiteral("Расст. до Луны")};
  for (int i = 1; i <= 3; ++i) {
    sup->addWidget(new QLabel(supLabels[i], this), i, 0);
    txtsup_[i] = Box(QStringLiteral("txtsup%1").arg(i), this, true);
    sup->addWidget(txtsup_[i], i, 1);
  }
  layout->addLayout(sup);
  layout->addStretch();
  scroll->setWidget(rows);
  outer->addWidget(scroll);
  ResetPanel();
}

void FrmPar::ResetPanel() {
  const char* userDefaults[7] = {"", "00.00.0000", "00:00:00.0", "0", "0.0", "0.000", "0.000"};
  for (int i = 1; i <= 6; ++i) txtp_[i]->setText(QString::fromUtf8(userDefaults[i]));
  const QString programDefaults[9] = {{},
                                      QStringLiteral("0"),
                                      QStringLiteral("00h00m00s"),
                                      QStringLiteral("+00°00'"),
                                      QStringLiteral("0.0"),
                                      QStringLiteral("0.0"),
                                      QStringLiteral("0x0"),
                                      QStringLiteral("0.0"),
                                      QStringLiteral("No")};
  for (int i = 1; i <= 8; ++i) txtm_[i]->setText(programDefaults[i]);
  txtra_->setText("0.0");
  txtdec_->setText("0.0");
  txtzone_->setText("0");
  txtHeight_->setText("0");
  chAltAz_->setChecked(false);
  txtAlt_->setText("0.0");
  txtAz_->setText("0.0");
  optE_->setChecked(true);
  optN_->setChecked(true);
  opt1_->setChecked(true);
  chkFixedCamera_->setChecked(false);
  txtsup_[1]->setText("No");
  txtsup_[2]->setText("0");
  txtsup_[3]->setText("0");
}

void FrmPar::ShowUserInfo(const FrameInfo& info) {
  const CalendarTime& s = info.startTime;
  txtp_[1]->setText(Fmt(s.day, "00") + "." + Fmt(s.month, "00") + "." + Fmt(s.year, "0000"));
  txtp_[2]->setText(Fmt(s.hour, "00") + ":" + Fmt(s.minute, "00") + ":" + Fmt(s.seconds, "00.00"));
  txtp_[3]->setText(Fmt(info.utError, "0.0"));
  txtp_[4]->setText(Fmt(info.exposure, "0.00"));
  txtp_[5]->setText(Fmt(std::fabs(info.longitude), "0.00000"));
  (info.longitude >= 0 ? optE_ : optW_)->setChecked(true);
  txtp_[6]->setText(Fmt(std::fabs(info.latitude), "0.00000"));
  (info.latitude >= 0 ? optN_ : optS_)->setChecked(true);
  txtra_->setText(Fmt(info.raUser, "0.000"));
  txtdec_->setText(Fmt(info.decUser, "0.000"));
  txtzone_->setText(Fmt(info.fieldUser, "0.000"));
  chkFixedCamera_->setChecked(info.fixedCamera);
  txtHeight_->setText(Fmt(info.heightM, "0.0"));
  chAltAz_->setChecked(info.pointingAltAz);
  txtAlt_->setText(Fmt(info.pointingAlt, "0.000"));
  txtAz_->setText(Fmt(info.pointingAz, "0.000"));
  // A centre with a field or a pointing counts as given, so that the option agrees with the values shown.
  (info.fieldUser > 0 || info.pointingAltAz ? opt2_ : opt1_)->setChecked(true);
}

void FrmPar::TakeMinusSign(QLineEdit* box, QRadioButton* negative) {
  QString text = box->text();
  const qsizetype minus = text.indexOf(QRegularExpression(QStringLiteral("^\\s*[-\u2212]")));
  if (minus < 0) return;
  const int cursor = box->cursorPosition();
  text.remove(QRegularExpression(QStringLiteral("^(\\s*)[-\u2212]")));
  box->setText(text.trimmed());
  box->setCursorPosition(std::max(0, cursor - 1));
  negative->setChecked(true);
}

void FrmPar::ShowFrameInfo(const FrameInfo& info, const PlateSolution& plate, const std::string& moonVisibility,
                           float moonPhase, float moonDistance) {
  ShowUserInfo(info);
  txtm_[1]->setText("0");
  ShowPlate(plate, info.fieldSizeText);
  txtm_[9]->setText("4.0");
  ShowMoon(moonVisibility, moonPhase, moonDistance);
}

void FrmPar::ShowPlate(const PlateSolution& plate, const std::string& fieldSizeText) {
  int hours = 0;
  double minutes = 0;
  SplitRaHours(plate.ra0Deg, hours, minutes);
  txtm_[2]->setText(Fmt(hours, "00") + "h" + Fmt(minutes, "00.0") + "m");
  const SignedDms dec = SplitSignedDegrees(plate.dec0Deg);
  txtm_[3]->setText(QString::fromStdString(dec.sign) + Fmt(dec.degrees, "00") + QStringLiteral("°") +
                    Fmt(dec.arcminutes, "00") + "'");
  txtm_[4]->setText(Fmt(plate.mxArcsec, "0.0") + QStringLiteral("\"/пикс"));
  txtm_[5]->setText(Fmt(plate.myArcsec, "0.0") + QStringLiteral("\"/пикс"));
  txtm_[6]->setText(QString::fromStdString(fieldSizeText));
  txtm_[7]->setText(Fmt(plate.fDeg, "0.0") + QStringLiteral("°"));
  txtm_[8]->setText(std::fabs(plate.gDeg) > 90.0 ? "Yes" : "No");
}

void FrmPar::ShowMoon(const std::string& visibility, float phase, float distanceDeg) {
  txtsup_[1]->setText(QString::fromStdString(visibility));
  txtsup_[2]->setText(Fmt(phase, "0.00"));
  txtsup_[3]->setText(Fmt(distanceDeg, "0.0") + QStringLiteral("°"));
}

PanelEntries FrmPar::Entries() const {
  PanelEntries e;
  e.date = Text(txtp_[1]);
  e.time = Text(txtp_[2]);
  e.utError = Text(txtp_[3]);
  e.exposure = Text(txtp_[4]);
  e.longitude = Text(txtp_[5]);
  e.west = optW_->isChecked();
  e.latitude = Text(txtp_[6]);
  e.south = optS_->isChecked();
  e.ra = Text(txtra_);
  e.dec = Text(txtdec_);
  e.field = Text(txtzone_);
  e.fixedCamera = chkFixedCamera_->isChecked();
  e.height = Text(txtHeight_);
  // The pointing counts only while the centre is given by it.
  e.altAz = opt2_->isChecked() && chAltAz_->isChecked();
  e.pointAlt = Text(txtAlt_);
  e.pointAz = Text(txtAz_);
  return e;
}

void FrmPar::SetUtErrorText(const QString& text) {
  txtp_[3]->setText(text);
}

void FrmPar::SetProgramRow(int row, const QString& text) {
  if (row >= 1 && row <= 9) txtm_[row]->setText(text);
}

QString FrmPar::ProgramRow(int row) const {
  return row >= 1 && row <= 9 ? txtm_[row]->text() : QString();
}

void FrmPar::SetSupplementRow(int row, const QString& text) {
  if (row >= 1 && row <= 3) txtsup_[row]->setText(text);
}

QString FrmPar::SupplementRow(int row) const {
  return row >= 1 && row <= 3 ? txtsup_[row]->text() : QString();
}

bool FrmPar::CentreGiven() const {
  return opt2_->isChecked();
}

void FrmPar::CopyExifValues(const QString& dateText, const QString& timeText, const QString& exposureText) {
  if (!dateText.isEmpty()) txtp_[1]->setText(dateText);
  if (!timeText.isEmpty()) txtp_[2]->setText(timeText);
  if (!exposureText.isEmpty()) txtp_[4]->setText(exposureText);
}

void FrmPar::ClearIgnoreVisibility() {
  chElev_->setChecked(false);
}

void FrmPar::CentreOptionChanged() {
  const bool given = opt2_->isChecked();
  const bool altAz = chAltAz_->isChecked();
  txtra_->setEnabled(given && !altAz);
  txtdec_->setEnabled(given && !altAz);
  txtzone_->setEnabled(given);
  chAltAz_->setEnabled(given);
  txtAlt_->setEnabled(given && altAz);
  txtAz_->setEnabled(given && altAz);
}

void FrmPar::OpenPlaces() {
  auto* places = new FrmStation(appDir_, this);
  connect(places, &FrmStation::PlaceChosen, this, &FrmPar::ShowPlace);
  places->show();
}

void FrmPar::ShowPlace(const ObserverSite& site) {
  txtp_[5]->setText(Fmt(std::fabs(site.longitude), "0.00000"));
  (site.longitude >= 0 ? optE_ : optW_)->setChecked(true);
  txtp_[6]->setText(Fmt(std::fabs(site.latitude), "0.00000"));
  (site.latitude >= 0 ? optN_ : optS_)->setChecked(true);
  txtHeight_->setText(Fmt(site.heightM, "0.0"));
  emit StationChosen(site.code);
}
