#include "desktop/form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "base/ui/owned_window.h"
#include "image/display_stretch.h"

Form1::Form1(QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint)) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Кадр"));
  lblname_ = new QLabel(QStringLiteral("Режим"), this);
  lblname_->setObjectName("lblname");
  lblname_->setGeometry(3, 5, 260, 18);
  lblc_ = new QLabel(QStringLiteral("RA= ; DEC="), this);
  lblc_->setObjectName("lblc");
  lblc_->setGeometry(280, 5, 300, 18);
  txtstr_ = new QLineEdit(QStringLiteral(" "), this);
  txtstr_->setObjectName("txtstr");
  txtstr_->setReadOnly(true);
  txtstr_->setGeometry(250, 25, 220, 22);
  pic_ = new FramePicture(this);
  pic_->setGeometry(3, 50, 600, 400);
  txtst_ = new QLabel(pic_);
  txtst_->setObjectName("txtst");
  txtst_->setStyleSheet("color: rgb(255,255,0);");
  txtst_->hide();
  CreateViewControls();
  setFixedSize(640, 500);
}

void Form1::SetPicture(const QImage& image, int displayWidth, int displayHeight, double displayScale) {
  displayScale_ = displayScale > 0 ? displayScale : 1.0;
  displaySize_ = QSize(displayWidth, displayHeight);
  pyramid_.SetImage(image, displaySize_);
  zoom_ = 1.0;
  origin_ = QPointF(0, 0);
  StretchChanged();
  pic_->setGeometry(3, 50, displayWidth, displayHeight);
  setFixedSize(displayWidth + 40, displayHeight + 100);
  const int row = 50 + displayHeight + 8;
  cmdfit_->move(3, row);
  lblzoom_->move(cmdfit_->geometry().right() + 8, row + 4);
  chstretch_->move(lblzoom_->geometry().right() + 8, row + 2);
  sldgamma_->move(chstretch_->geometry().right() + 8, row + 2);
  ViewChanged();
}

void Form1::CreateViewControls() {
  cmdfit_ = new QPushButton(QStringLiteral("Вписать"), this);
  cmdfit_->setObjectName("cmdfit");
  cmdfit_->setToolTip(
      QStringLiteral("Показать кадр целиком (колесо мыши меняет масштаб, "
                     "средняя или правая кнопка сдвигает кадр)"));
  cmdfit_->setFocusPolicy(Qt::NoFocus);
  cmdfit_->adjustSize();
  lblzoom_ = new QLabel(this);
  lblzoom_->setObjectName("lblzoom");
  lblzoom_->setFixedWidth(60);
  chstretch_ = new QCheckBox(QStringLiteral("Растяжка яркости"), this);
  chstretch_->setObjectName("chstretch");
  chstretch_->setToolTip(QStringLiteral("Уровни черного и белого по гистограмме кадра; только для показа"));
  chstretch_->setFocusPolicy(Qt::NoFocus);
  chstretch_->adjustSize();
  sldgamma_ = new QSlider(Qt::Horizontal, this);
  sldgamma_->setObjectName("sldgamma");
  sldgamma_->setToolTip(QStringLiteral("Гамма растяжки"));
  sldgamma_->setRange(3, 40);  // gamma in tenths
  sldgamma_->setValue(10);
  sldgamma_->setFixedWidth(120);
  sldgamma_->setFocusPolicy(Qt::NoFocus);
  connect(cmdfit_, &QPushButton::clicked, this, &Form1::FitView);
  connect(chstretch_, &QCheckBox::toggled, this, [this](bool on) { SetStretch(on, gamma_); });
  connect(sldgamma_, &QSlider::valueChanged, this, [this](int tenths) { SetStretch(stretchOn_, tenths / 10.0); });
}

void Form1::SetStretch(bool on, double gamma) {
  stretchOn_ = on;
  gamma_ = gamma;
  if (chstretch_->isChecked() != on) chstretch_->setChecked(on);
  StretchChanged();
  pic_->update();
}

void Form1::StretchChanged() {
  if (stretchOn_)
    pyramid_.SetStretchTable(StretchTable(AutoStretchPoints(pyramid_.BrightnessHistogram()), gamma_));
  else
    pyramid_.ClearStretch();
}

void Form1::SetView(double zoom, QPointF origin) {
  // From the whole frame up to 8 screen pixels per frame pixel.
  const double most = std::max(1.0, 8.0 * displayScale_);
  zoom_ = std::clamp(zoom, 1.0, most);
  const double spanX = displaySize_.width() - displaySize_.width() / zoom_;
  const double spanY = displaySize_.height() - displaySize_.height() / zoom_;
  origin_ =
      QPointF(std::clamp(origin.x(), 0.0, std::max(0.0, spanX)), std::clamp(origin.y(), 0.0, std::max(0.0, spanY)));
  ViewChanged();
}

void Form1::ZoomAt(QPointF picturePoint, double factor) {
  const QPointF fixed = PictureToDisplay(picturePoint);
  double zoom = zoom_ * factor;
  if (std::fabs(zoom - 1.0) < 1e-6 || zoom < 1.0) zoom = 1.0;
  zoom = std::min(zoom, std::max(1.0, 8.0 * displayScale_));
  SetView(zoom, fixed - picturePoint / zoom);
}

void Form1::FitView() {
  SetView(1.0, QPointF(0, 0));
}

QString Form1::ZoomText() const {
  const double screenPerFrame = zoom_ / displayScale_;
  auto number = [](double v) {
    return QString::fromStdString(FormatNumber(v, std::fabs(v - std::round(v)) < 0.05 ? "0" : "0.0"));
  };
  if (screenPerFrame >= 0.999) return number(screenPerFrame) + ":1";
  return "1:" + number(1.0 / screenPerFrame);
}

QPointF Form1::DisplayToPicture(QPointF display) const {
  return (display - origin_) * zoom_;
}

QPointF Form1::PictureToDisplay(QPointF picture) const {
  return origin_ + picture / zoom_;
}

void Form1::ViewChanged() {
  lblzoom_->setText(ZoomText());
  if (!txtst_->isHidden()) txtst_->move(DisplayToPicture(timeLabelAt_).toPoint());
  pic_->update();
}

void Form1::keyPressEvent(QKeyEvent* event) {
  // "+" and "-" zoom around the cursor when it is over the picture, else around the picture's centre;
  // "0" shows the whole frame.
  const QPoint cursor = pic_->mapFromGlobal(QCursor::pos());
  const QPointF centre =
      pic_->rect().contains(cursor) ? QPointF(cursor) : QPointF(pic_->width() / 2.0, pic_->height() / 2.0);
  if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal) return ZoomAt(centre, 2.0);
  if (event->key() == Qt::Key_Minus) return ZoomAt(centre, 0.5);
  if (event->key() == Qt::Key_0) return FitView();
  QWidget::keyPressEvent(event);
}

void Form1::PaintPicture(QPainter& painter) const {
  // Display point d shows the frame pixel whose centre is at d * displayScale (1-based pixel centres),
  // that is the 0-based continuous position d * displayScale - 0.5.
  const QPointF topLeft = origin_ * displayScale_ - QPointF(0.5, 0.5);
  const QSizeF span = QSizeF(pic_->width(), pic_->height()) / zoom_ * displayScale_;
  if (zoom_ <= 1.0)  // the whole frame, as laid out: no half-pixel shift
    pyramid_.Draw(painter, QRectF(QPointF(0, 0), span), pic_->rect());
  else
    pyramid_.Draw(painter, QRectF(topLeft, span), pic_->rect());
}

void Form1::SetModeCaption(const QString& caption) {
  lblname_->setText(caption);
}

QString Form1::ModeCaption() const {
  return lblname_->text();
}

void Form1::SetSkyReadout(const QString& label, const QString& text) {
  lblc_->setText(label);
  txtstr_->setText(text);
}

void Form1::PlaceMarkingFrame(double cx, double cy, int side, double sideImage) {
  frameCentre_ = QPointF(cx, cy);
  frameSide_ = side;
  frameSideImage_ = sideImage;
  frameVisible_ = true;
  pic_->update();
}

void Form1::SetMarkingFrameColour(const QColor& colour) {
  frameColour_ = colour;
  pic_->update();
}

void Form1::ShowTimeLabel(const QString& text, QPointF topLeft) {
  txtst_->setText(text);
  txtst_->adjustSize();
  timeLabelAt_ = topLeft;
  txtst_->move(DisplayToPicture(topLeft).toPoint());
  txtst_->show();
}

void Form1::HideTimeLabel() {
  txtst_->hide();
}

bool Form1::TimeLabelVisible() const {
  return !txtst_->isHidden();
}

void Form1::AddOverlay(OverlayKind kind, const OverlayItem& item) {
  overlays_[kind].push_back(item);
  pic_->update();
}

void Form1::RemoveOverlay(OverlayKind kind) {
  overlays_.erase(kind);
  pic_->update();
}

int Form1::OverlayCount(OverlayKind kind) const {
  auto it = overlays_.find(kind);
  return it == overlays_.end() ? 0 : static_cast<int>(it->second.size());
}

const std::vector<OverlayItem>& Form1::Overlay(OverlayKind kind) const {
  static const std::vector<OverlayItem> none;
  auto it = overlays_.find(kind);
  return it == overlays_.end() ? none : it->second;
}

void Form1::changeEvent(QEvent* event) {
  // The window keeps its laid-out size: a maximised state returns to normal.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
    setWindowState(windowState() & ~Qt::WindowMaximized);
  QWidget::changeEvent(event);
}

void Form1::closeEvent(QCloseEvent* event) {
  // The main window decides what closing means (it ignores this while the program shuts down).
  emit CloseRequested();
  QWidget::closeEvent(event);
}

void Form1::PaintOverlays(QPainter& painter) const {
  // Shapes measured on the frame (mark outlines, the marking frame) grow with the zoom; symbols with a
  // side in screen pixels (catalogue stars, trajectory points) and labels keep their size.
  painter.setBrush(Qt::NoBrush);
  for (const auto& [kind, items] : overlays_) {
    for (const OverlayItem& item : items) {
      painter.setPen(item.colour);
      if (item.screenRect.isValid() && (zoom_ <= 1.0 || item.sideImage <= 0)) {
        const QRectF r(DisplayToPicture(item.screenRect.topLeft()), QSizeF(item.screenRect.size()) * zoom_);
        // At the laid-out size an outline is drawn as it stands, on whole pixels.
        if (zoom_ <= 1.0)
          painter.drawRect(item.screenRect);
        else
          painter.drawRect(r);
        continue;
      }
      const QPointF c = DisplayToPicture(QPointF(item.centre.x() / displayScale_, item.centre.y() / displayScale_));
      if (!item.text.isEmpty()) {  // a label's point is its top-left corner
        painter.drawText(QPointF(c.x(), c.y() + painter.fontMetrics().ascent()), item.text);
        continue;
      }
      double side = item.sideImage > 0 ? item.sideImage / displayScale_ * zoom_ : item.sideScreen;
      if (side < 3) side = 3;
      painter.drawRect(QRectF(c.x() - side / 2, c.y() - side / 2, side, side));
    }
  }
  if (frameVisible_ && frameSide_ > 0) {
    painter.setPen(frameColour_);
    const double side =
        zoom_ > 1.0 && frameSideImage_ > 0 ? frameSideImage_ / displayScale_ * zoom_ : frameSide_ * zoom_;
    const QPointF c = DisplayToPicture(frameCentre_);
    painter.drawRect(QRectF(c.x() - side / 2, c.y() - side / 2, side, side));
  }
}

FramePicture::FramePicture(Form1* owner) : QWidget(owner), owner_(owner) {
  setObjectName("Pic");
  setMouseTracking(true);
  setCursor(Qt::CrossCursor);
}

void FramePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  owner_->PaintPicture(painter);
  owner_->PaintOverlays(painter);
}

void FramePicture::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    const QPointF moved = event->position() - dragFrom_;
    dragFrom_ = event->position();
    owner_->SetView(owner_->zoom_, owner_->origin_ - moved / owner_->zoom_);
  }
  const QPointF display = owner_->PictureToDisplay(event->position());
  emit owner_->MouseMoved(display.x(), display.y());
}

void FramePicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit owner_->Clicked();
  if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) {
    dragging_ = true;
    dragFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
  }
}

void FramePicture::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && !(event->buttons() & (Qt::MiddleButton | Qt::RightButton))) {
    dragging_ = false;
    setCursor(Qt::CrossCursor);
  }
}

void FramePicture::wheelEvent(QWheelEvent* event) {
  // One notch of the wheel zooms by the square root of two.
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0) return;
  owner_->ZoomAt(event->position(), std::pow(std::sqrt(2.0), notches));
  const QPointF display = owner_->PictureToDisplay(event->position());
  emit owner_->MouseMoved(display.x(), display.y());
  event->accept();
}
