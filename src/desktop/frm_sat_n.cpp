#include "desktop/frm_sat_n.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/numbers.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "desktop/frm_sat_par.h"
#include "desktop/satellite_windows.h"

namespace {

constexpr int kMaxRows = 15;

// Colours new rows start with, one per row, distinct on a dark sky.
const QColor kRowColours[kMaxRows] = {{200, 120, 0},   {0, 200, 255}, {255, 60, 60},   {80, 255, 80},
                                      {255, 255, 0},   {255, 0, 255}, {0, 128, 255},   {255, 160, 200},
                                      {160, 255, 200}, {255, 128, 0}, {180, 120, 255}, {0, 255, 160},
                                      {255, 255, 160}, {128, 200, 0}, {255, 255, 255}};

Rgb ToRgb(const QColor& colour) {
  return Rgb{static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
             static_cast<std::uint8_t>(colour.blue())};
}

}  // namespace

ColourPicture::ColourPicture(QWidget* parent) : QWidget(parent), image_(180, 90, QImage::Format_RGB32) {
  setObjectName("Pic");
  setMouseTracking(true);
  setFixedSize(image_.size());
  image_.fill(Qt::white);
  const int w = image_.width(), h = image_.height();
  for (int y = 0; y < h; ++y) {
    // Lightness falls from white at the top to black at the bottom, through full colour in the middle.
    const int lightness = 255 - (255 * y) / (h - 1);
    for (int x = 0; x < w; ++x) image_.setPixelColor(x, y, QColor::fromHsl((359 * x) / w, 255, lightness));
  }
}

QColor ColourPicture::ColourAtLastPosition() const {
  const int x = std::clamp(last_.x(), 0, image_.width() - 1);
  const int y = std::clamp(last_.y(), 0, image_.height() - 1);
  return image_.pixelColor(x, y);
}

void ColourPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

void ColourPicture::mouseMoveEvent(QMouseEvent* event) {
  last_ = event->position().toPoint();
}

void ColourPicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit Clicked();
}

FrmSatN::FrmSatN(SatelliteContext& context, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), context_(context) {
  setObjectName("FrmSatN");
  setWindowTitle(QStringLiteral("Траектории нескольких ИСЗ"));
  auto* layout = new QVBoxLayout(this);
  rowsGrid_ = new QGridLayout;
  auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  rowsGrid_->addWidget(label("lblNorad", QStringLiteral("Norad №")), 0, 0);
  rowsGrid_->addWidget(label("lblstep", QStringLiteral("Шаг [сек]")), 0, 1);
  rowsGrid_->addWidget(label("lblcolor", QStringLiteral("Цвет")), 0, 2);
  layout->addLayout(rowsGrid_);
  cmdplus_ = new QPushButton(QStringLiteral("Добавить ИСЗ"), this);
  cmdplus_->setObjectName("cmdplus");
  chNum_ = new QCheckBox(QStringLiteral("Подписать траектории"), this);
  chNum_->setObjectName("chNum");
  pic_ = new ColourPicture(this);
  cmdok_ = new QPushButton(QStringLiteral("OK"), this);
  cmdok_->setObjectName("cmdok");
  layout->addWidget(cmdplus_);
  layout->addWidget(chNum_);
  layout->addWidget(pic_);
  layout->addWidget(cmdok_);

  // Two rows, or one per remembered number (up to the row limit).
  const std::vector<int>& remembered = context_.session.Frame().rememberedSatellites;
  const int wanted = std::clamp(static_cast<int>(remembered.size()), 2, kMaxRows);
  for (int i = 0; i < wanted; ++i) AddRow();
  for (std::size_t i = 0; i < remembered.size() && i < rows_.size(); ++i)
    rows_[i].number->setText(QString::fromStdString(FormatNumber(remembered[i], "0")));

  connect(cmdplus_, &QPushButton::clicked, this, &FrmSatN::PlusClicked);
  connect(pic_, &ColourPicture::Clicked, this, &FrmSatN::ColourPicked);
  connect(cmdok_, &QPushButton::clicked, this, &FrmSatN::OkClicked);
}

void FrmSatN::AddRow() {
  const int index = static_cast<int>(rows_.size());
  Row row;
  row.number = new QLineEdit(this);
  row.number->setObjectName("txtn");
  row.step = new QLineEdit(QStringLiteral("1.0"), this);
  row.step->setObjectName("txtstep");
  row.swatch = new QFrame(this);
  row.swatch->setObjectName("ShapeSat");
  row.swatch->setFixedSize(40, 16);
  rowsGrid_->addWidget(row.number, index + 1, 0);
  rowsGrid_->addWidget(row.step, index + 1, 1);
  rowsGrid_->addWidget(row.swatch, index + 1, 2);
  SetRowColour(row, kRowColours[index % kMaxRows]);
  const int target = index + 1;
  // The row being typed in is the one the palette colours: the palette takes no focus, so a click on it
  // straight after typing a number must not wait for the box to be left.
  const auto target_row = [this, target] { colourTarget_ = target; };
  for (QLineEdit* box : {row.number, row.step}) {
    connect(box, &QLineEdit::editingFinished, this, target_row);
    connect(box, &QLineEdit::textEdited, this, target_row);
  }
  rows_.push_back(row);
}

void FrmSatN::SetRowColour(Row& row, const QColor& colour) {
  row.colour = colour;
  row.swatch->setStyleSheet(QStringLiteral("border: 2px solid %1;").arg(colour.name()));
}

QColor FrmSatN::RowColour(int row) const {
  if (row < 1 || row > RowCount()) return {};
  return rows_[static_cast<std::size_t>(row - 1)].colour;
}

void FrmSatN::PlusClicked() {
  if (RowCount() < kMaxRows) return AddRow();
  ShowMessage(QStringLiteral("Больше 15 ИСЗ выбрать нельзя."), kMessageCaption, MessageButtons::Ok, this);
}

void FrmSatN::ColourPicked() {
  if (colourTarget_ < 1 || colourTarget_ > RowCount()) return;
  SetRowColour(rows_[static_cast<std::size_t>(colourTarget_ - 1)], pic_->ColourAtLastPosition());
}

void FrmSatN::OkClicked() {
  std::vector<SatelliteRequest> requests;
  for (const Row& row : rows_) {
    const double number = ReadUserNumber(row.number->text());
    if (number == 0) continue;
    double step = ReadUserNumber(row.step->text());
    // A step that is not positive would give no sampling at all; one second is the usual choice.
    if (!(step > 0)) step = 1;
    requests.push_back(SatelliteRequest{RoundToInt(number), step, ToRgb(row.colour)});
  }
  if (requests.empty())
    return static_cast<void>(ShowMessage(QStringLiteral("ИСЗ не заданы"), kMessageCaption, MessageButtons::Ok, this));
  ClearTrajectories(context_, true);
  const SeveralStep drawn = context_.session.SeveralTrajectories(requests, chNum_->isChecked());
  context_.showTrajectories();
  for (const std::string& message : drawn.messages)
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, this);
}

void FrmSatN::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}

FrmCrossings::FrmCrossings(const QStringList& lines, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)) {
  setObjectName("FrmCrossings");
  setWindowTitle(QStringLiteral("Все ИСЗ в кадре"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("lstCrossings");
  list_->addItems(lines);
  list_->setMinimumWidth(list_->sizeHintForColumn(0) + 30);
  layout->addWidget(list_);
}

void FrmCrossings::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}
