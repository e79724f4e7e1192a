// Where the main window puts the frame window, the fragment window and the windows it opens: inside the
// screen's available area and off the frame's picture.

#include <QList>
#include <QMenuBar>

#include "astrometry/ui/frm_txt.h"
#include "base/ui/owned_window.h"
#include "desktop/form1.h"
#include "desktop/frm_frame.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "frameinfo/ui/frm_par.h"

void MainWindow::PlaceFrameWindows() {
  // The frame window at the top right of the screen's available area, below the menu; the fragment window
  // on its left, or wherever it does not cover the picture.
  const QRect area = AvailableArea(this);
  const int top = area.top() + menuBar()->sizeHint().height() + 30;
  MoveInsideArea(form1_, QPoint(area.right() - 33 - form1_->width(), top));
  const QRect picture =
      form1_->frameGeometry().isValid() ? QRect(form1_->pos(), form1_->size() + QSize(8, 30)) : QRect();
  const int gap = 4;
  const int fragmentWidth = fragment_->width() + 8;
  PlaceAvoiding(fragment_,
                {QPoint(picture.left() - fragmentWidth - gap, picture.top()),
                 QPoint(picture.left(), picture.bottom() + gap), QPoint(area.left(), picture.bottom() + gap)},
                {picture, panel_ ? panel_->frameGeometry() : QRect()});
}

void MainWindow::PlaceClearOfFrame(QWidget* window, QPoint preferred) {
  // Tried in turn: the preferred corner, below the panel, below the frame window's picture, the bottom right
  // and the bottom left corners; the first where the window covers neither the frame's picture, the fragment,
  // the panel, the measurement text, the hint nor another open window (in that order of importance).
  const QRect area = AvailableArea(this);
  // Of the frame window, the picture with its readouts and controls; the empty margin below them may be covered.
  const QRect picture(form1_->pos(),
                      QSize(form1_->width() + 8, 30 + std::min(form1_->height(), form1_->childrenRect().bottom() + 2)));
  QList<QRect> avoid;
  if (form1_->isVisible() && form1_ != window) avoid << picture;
  QList<QWidget*> others{fragment_, panel_, textWindow_, hint_};
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isWindow() && !others.contains(child) && child != form1_) others << child;
  for (const QWidget* other : others)
    if (other && other != window && other->isVisible()) avoid << QRect(other->pos(), other->size() + QSize(8, 30));
  QList<QPoint> corners{preferred};
  if (panel_) corners << QPoint(panel_->frameGeometry().left(), panel_->frameGeometry().bottom() + 4);
  corners << QPoint(picture.left(), picture.bottom() + 4)
          << area.bottomRight() - QPoint(window->width(), window->height())
          << QPoint(area.left(), area.bottom() - window->height());
  PlaceAvoiding(window, corners, avoid);
}

QPoint MainWindow::BesidePanel() const {
  if (!panel_) return QPoint(x() + width() / 3, y() + height() / 3);
  const QRect beside = panel_->frameGeometry();
  return QPoint(beside.right() + 5, beside.top());
}
