#include "base/ui/owned_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>

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

QRect LargestFreeRect(const QRect& area, const QList<QRect>& obstacles) {
  // Every side of a maximal free rectangle lies on a side of the area or of an obstacle: try them all.
  QList<int> lefts{area.left()}, rights{area.right()}, tops{area.top()}, bottoms{area.bottom()};
  for (const QRect& r : obstacles) {
    lefts << r.right() + 1;
    rights << r.left() - 1;
    tops << r.bottom() + 1;
    bottoms << r.top() - 1;
  }
  QRect best;
  long long bestArea = 0;
  for (int left : lefts)
    for (int right : rights)
      for (int top : tops)
        for (int bottom : bottoms) {
          const QRect candidate = QRect(QPoint(left, top), QPoint(right, bottom)).intersected(area);
          if (candidate.isEmpty()) continue;
          const long long size = static_cast<long long>(candidate.width()) * candidate.height();
          if (size <= bestArea) continue;
          if (std::none_of(obstacles.begin(), obstacles.end(),
                           [&](const QRect& r) { return r.intersects(candidate); })) {
            best = candidate;
            bestArea = size;
          }
        }
  return best;
}

void PlaceAvoiding(QWidget* window, const QList<QPoint>& frameCorners, const QList<QRect>& avoid) {
  const QSize size = FrameSize(window);
  const QRect area = AvailableArea(window);
  // Overlaps compare rectangle by rectangle in the order given: covering an earlier one weighs more.
  const auto overlaps = [&](const QRect& placed) {
    QList<long long> list;
    for (const QRect& r : avoid) {
      const QRect common = placed.intersected(r);
      list << (common.isEmpty() ? 0LL : static_cast<long long>(common.width()) * common.height());
    }
    return list;
  };
  const QList<long long> clear(avoid.size(), 0);
  QPoint best = frameCorners.isEmpty() ? window->pos() : frameCorners.front();
  QList<long long> least;
  for (const QPoint& corner : frameCorners) {
    const QPoint at = Inside(corner, size, area);
    const QList<long long> overlap = overlaps(QRect(at, size));
    if (at == corner && overlap == clear) return window->move(at);
    if (least.isEmpty() || overlap < least) {
      least = overlap;
      best = at;
    }
  }
  // Covering something: a window that can shrink takes the largest free part of the area, when that holds
  // the window at its least size.
  const bool resizable = window->minimumSize() != window->maximumSize();
  const QRect gap = LargestFreeRect(area, avoid);
  if (least != clear && resizable && !gap.isEmpty()) {
    const QSize decorations = size - window->size();
    const QSize room = gap.size() - decorations;
    // A window without a layout tells no least size: it keeps its own.
    const QSize hint = window->minimumSizeHint();
    const QSize smallest = hint.isValid() ? hint.expandedTo(window->minimumSize()) : window->size();
    if (room.width() >= smallest.width() && room.height() >= smallest.height()) {
      window->resize(window->size().boundedTo(room));
      return window->move(Inside(best, window->size() + decorations, gap));
    }
  }
  window->move(Inside(best, size, area));
}

void FitTextWindow(QWidget* window, QPlainTextEdit* text) {
  const QFontMetrics metrics(text->font());
  int widest = 0;
  const QStringList lines = text->toPlainText().split(QLatin1Char('\n'));
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  // The text's own margins and a scroll bar's room, so that the last column and line are not hidden.
  const int margins = 2 * static_cast<int>(text->document()->documentMargin()) + 2 * text->frameWidth() + 4;
  const QSize wantedText(widest + margins + text->verticalScrollBar()->sizeHint().width(),
                         static_cast<int>(lines.size()) * metrics.lineSpacing() + margins +
                             text->horizontalScrollBar()->sizeHint().height());
  const QSize around = window->size() - text->size();  // the window's other controls and its layout margins
  const QRect area = AvailableArea(window);
  const QSize decoration = FrameSize(window) - window->size();
  const QSize most = area.isValid() ? area.size() - decoration : wantedText + around;
  const QSize wanted = (wantedText + around).expandedTo(window->size()).boundedTo(most);
  if (wanted != window->size()) window->resize(wanted);
  text->moveCursor(QTextCursor::Start);
  text->verticalScrollBar()->setValue(0);
  text->horizontalScrollBar()->setValue(0);
}
