#pragma once
// Windows owned by the main window: the window flags that make the window system keep them above their
// owner (and minimise and close them with it), and placement inside the screen's available area.

#include <QList>
#include <QPoint>
#include <QRect>
#include <Qt>

class QPlainTextEdit;
class QString;
class QWidget;

// Flags of a tool window owned by its parent window: a transient utility window with a title, plus extra
// title-bar hints (close, minimise).
Qt::WindowFlags OwnedWindowFlags(Qt::WindowFlags hints = {});

// The available area (screen without panels and docks) of the screen showing the widget, or of the
// primary screen; an empty rectangle when there is no screen.
QRect AvailableArea(const QWidget* widget);

// The width a window needs for its caption to show uncut in the title bar: the text in the title font plus
// room for the window system's icon and buttons, screen pixels.
int CaptionWidth(const QString& caption);

// Moves a top-level window so that its frame lies inside the available area, as close to the requested
// top-left corner of its frame as the area allows.
void MoveInsideArea(QWidget* window, QPoint frameTopLeft);

// Moves a top-level window to the first of the candidate frame corners at which its frame lies inside the
// available area and overlaps none of the rectangles to avoid (listed most important first). When none
// qualifies, a resizable window shrinks into the largest free part of the area if it fits there at its least
// size; otherwise it goes to the candidate that covers the earlier rectangles least, pulled inside the area.
void PlaceAvoiding(QWidget* window, const QList<QPoint>& frameCorners, const QList<QRect>& avoid);

// The largest rectangle of the area that meets none of the obstacles (empty when the area is covered).
QRect LargestFreeRect(const QRect& area, const QList<QRect>& obstacles);

// Sizes a text window to its text: large enough for every line of text without scrolling, no larger than
// the available area allows (with the window's frame), never smaller than it was; then shows the text from
// its first line.
void FitTextWindow(QWidget* window, QPlainTextEdit* text);
