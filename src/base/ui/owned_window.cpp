#include "base/ui/owned_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <limits>

Qt::WindowFlags OwnedWindowFlags(Qt::WindowFlags hints) {
  // A tool window with a parent is transient for it: the window manager stacks it above its owner.
  return Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | hints;
}

int CaptionWidth(const QString& caption) {
  // Title bars commonly use a bold face a little larger than the application's; the buttons take about
  // three squares of the title's height and the icon one more.
  QFont font = QApplication::font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 1.1 : 10);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(caption) + 5 * (metrics.height() + 8);
}

QRect AvailableArea(const QWidget* widget) {
  const QScreen* screen = widget && widget->screen() ? widget->screen() : QApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

namespace {

// The window's frame size; before the first show the frame is not known and the decorations are guessed.
QSize FrameSize(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect inner = window->geometry();
  if (window->isVisible() && frame.size() != inner.size()) return frame.size();
  return window->size() + QSize(8, 30);
}

// The corner nearest to wanted at which a frame of the given size lies inside the area.
QPoint Inside(QPoint wanted, QSize frame, const QRect& area) {
  if (area.isEmpty()) return wanted;
  const int x = std::clamp(wanted.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
  const int y = std::clamp(wanted.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
  return {x, y};
}

}  // namespace

void MoveInsideArea(QWidget* window, QPoint frameTopLeft) {
  window->move(Inside(frameTopLeft, FrameSize(window), AvailableArea(window)));
}

void PlaceAvoiding(QWidget* window, const QList<QPoint>& frameCorners, const QList<QRect>& avoid) {
  const QSize size = FrameSize(window);
  const QRect area = AvailableArea(window);
  QPoint best = frameCorners.isEmpty() ? window->pos() : frameCorners.front();
  long long leastOverlap = std::numeric_limits<long long>::max();
  for (const QPoint& corner : frameCorners) {
    const QPoint at = Inside(corner, size, area);
    const QRect placed(at, size);
    long long overlap = 0;
    for (const QRect& r : avoid) {
      const QRect common = placed.intersected(r);
      if (!common.isEmpty()) overlap += static_cast<long long>(common.width()) * common.height();
    }
    if (at == corner && overlap == 0) return window->move(at);
    if (overlap < leastOverlap) {
      leastOverlap = overlap;
      best = at;
    }
  }
  window->move(Inside(best, size, area));
}
