#include "desktop/frm_frame.h"

#include <QPainter>
#include <algorithm>

#include "base/ui/owned_window.h"

QString FragmentCaption(int x, int y) {
  auto number = [](int v) { return (v >= 0 ? QStringLiteral(" ") : QString()) + QString::number(v); };
  return "(" + number(x) + "," + number(y) + ")";
}

FrmFrame::FrmFrame(QWidget* parent) : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)) {
  setObjectName("FrmFrame");
  setWindowTitle(QStringLiteral("Фрагмент"));
  SetFragmentSide(155);
}

void FrmFrame::SetFragmentSide(int fragmentSide) {
  fragmentSide_ = fragmentSide;
  // Wide enough for the longest caption, so that the window system never cuts the position short.
  setFixedSize(std::max(fragmentSide + 10, CaptionWidth(FragmentCaption(-99999, -99999))), fragmentSide + 30);
  update();
}

void FrmFrame::ShowFragment(const QImage& buffer, int zoom) {
  fragment_ = buffer;
  zoom_ = zoom > 0 ? zoom : 1;
  update();
}

void FrmFrame::SetPosition(int x, int y) {
  setWindowTitle(FragmentCaption(x, y));
}

int FrmFrame::FragmentLeft() const {
  return std::max(0, (width() - fragmentSide_ - 10) / 2);
}

void FrmFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  painter.translate(FragmentLeft(), 0);
  if (!fragment_.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, fragment_.width() * zoom_, fragment_.height() * zoom_), fragment_);
  }
  const int c = fragmentSide_ / 2;
  painter.setPen(QColor(128, 200, 210));
  painter.drawLine(0, c, fragmentSide_, c);
  painter.drawLine(c, 0, c, fragmentSide_);
}
