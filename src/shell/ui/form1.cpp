#include "shell/ui/form1.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint) {
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
  setFixedSize(640, 500);
}

void Form1::SetPicture(const QImage& image, int displayWidth, int displayHeight, double displayScale) {
  displayScale_ = displayScale > 0 ? displayScale : 1.0;
  scaled_ =
      QPixmap::fromImage(image.scaled(displayWidth, displayHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  pic_->setGeometry(3, 50, displayWidth, displayHeight);
  setFixedSize(displayWidth + 40, displayHeight + 100);
  pic_->update();
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

void Form1::PlaceMarkingFrame(double cx, double cy, int side) {
  frameCentre_ = QPointF(cx, cy);
  frameSide_ = side;
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
  txtst_->move(topLeft.toPoint());
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

void Form1::PaintOverlays(QPainter& painter) const {
  for (const auto& [kind, items] : overlays_) {
    for (const OverlayItem& item : items) {
      if (item.screenRect.isValid()) {
        painter.setPen(item.colour);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(item.screenRect);
        continue;
      }
      const QPointF c(item.centre.x() / displayScale_, item.centre.y() / displayScale_);
      painter.setPen(item.colour);
      if (!item.text.isEmpty()) {  // a label's point is its top-left corner
        painter.drawText(QPointF(c.x(), c.y() + painter.fontMetrics().ascent()), item.text);
        continue;
      }
      double side = item.sideImage > 0 ? item.sideImage / displayScale_ : item.sideScreen;
      if (side < 3) side = 3;
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(QRectF(c.x() - side / 2, c.y() - side / 2, side, side));
    }
  }
  if (frameVisible_ && frameSide_ > 0) {
    painter.setPen(frameColour_);
    painter.setBrush(Qt::NoBrush);
    const double half = frameSide_ / 2.0;
    painter.drawRect(QRectF(frameCentre_.x() - half, frameCentre_.y() - half, frameSide_, frameSide_));
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
  if (!owner_->scaled_.isNull()) painter.drawPixmap(0, 0, owner_->scaled_);
  owner_->PaintOverlays(painter);
}

void FramePicture::mouseMoveEvent(QMouseEvent* event) {
  emit owner_->MouseMoved(event->position().x(), event->position().y());
}

void FramePicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit owner_->Clicked();
}
