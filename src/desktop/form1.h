#pragma once
// The frame window "Кадр": the scaled picture, the square marking frame that follows the mouse,
// the mode and sky-position labels, and the overlays (marks, catalogue stars, trajectories).
// The picture can be zoomed around the cursor (mouse wheel), panned (drag with the middle or right
// button) and stretched for display. Positions everywhere else stay in display pixels (the frame's
// pixels divided by the display scale), so marks and the cursor are exact at every zoom.

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

#include "desktop/frame_render.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// The kinds of overlay drawn over the picture, each removable as a whole.
enum class OverlayKind {
  StarMarks,
  TrackEnds,
  CatalogueStars,
  MagnitudeLabels,
  LocalReference,
  TrajectoryPoints,
  TrajectoryLabels,
  Centre
};

// One overlay shape: an outlined rectangle (image pixels, centre and side), or a text label at a point.
struct OverlayItem {
  QRect screenRect;       // when valid: an outline at these display pixels of the picture, drawn as it stands
                          // (when zoomed in, from centre and sideImage if they are given)
  QPointF centre;         // image pixels (1-based)
  double sideImage = 0;   // rectangle side in image pixels; 0 for a text label
  double sideScreen = 0;  // rectangle side in screen pixels, used when sideImage is 0 and there is no text
  QColor colour;
  QString text;
};

class FramePicture;

class Form1 : public QWidget {
  Q_OBJECT
public:
  explicit Form1(QWidget* parent = nullptr);

  // Shows a picture (already decoded) scaled to the display size; lays the window out and fixes its size.
  void SetPicture(const QImage& image, int displayWidth, int displayHeight, double displayScale);
  // The mode caption of lblname.
  void SetModeCaption(const QString& caption);
  QString ModeCaption() const;
  // The sky label lblc and the sky text txtstr.
  void SetSkyReadout(const QString& label, const QString& text);
  // Places the marking frame centred on display point (cx, cy) with the given side in display pixels;
  // shows it. When zoomed in, a side in frame pixels (sideImage > 0) draws it exactly.
  void PlaceMarkingFrame(double cx, double cy, int side, double sideImage = 0);
  void SetMarkingFrameColour(const QColor& colour);
  QPointF MarkingFrameCentre() const { return frameCentre_; }
  int MarkingFrameSide() const { return frameSide_; }
  QColor MarkingFrameColour() const { return frameColour_; }
  // The trajectory time label beside the marking frame.
  void ShowTimeLabel(const QString& text, QPointF topLeft);
  void HideTimeLabel();
  bool TimeLabelVisible() const;

  void AddOverlay(OverlayKind kind, const OverlayItem& item);
  // Removes every shape of one kind.
  void RemoveOverlay(OverlayKind kind);
  int OverlayCount(OverlayKind kind) const;
  const std::vector<OverlayItem>& Overlay(OverlayKind kind) const;

  FramePicture* Picture() const { return pic_; }

  // The view: zoom in screen pixels per display pixel (1 shows the whole frame) and the display point at
  // the picture's top-left corner.
  double ViewZoom() const { return zoom_; }
  QPointF ViewOrigin() const { return origin_; }
  // Sets zoom and origin, kept within the whole frame and 8 screen pixels per frame pixel.
  void SetView(double zoom, QPointF origin);
  // Multiplies the zoom by factor, keeping the frame point under the picture point (widget pixels) in place.
  void ZoomAt(QPointF picturePoint, double factor);
  // Shows the whole frame again ("Вписать").
  void FitView();
  // The view's scale as frame pixels to screen pixels: "1:10", "1:2.5", "1:1", "4:1".
  QString ZoomText() const;
  // Switches the display stretch (automatic black and white points) and sets its gamma.
  void SetStretch(bool on, double gamma);
  bool StretchOn() const { return stretchOn_; }
  // Display pixels to picture (widget) pixels and back, under the current view.
  QPointF DisplayToPicture(QPointF display) const;
  QPointF PictureToDisplay(QPointF picture) const;

signals:
  // Mouse position over the picture in screen pixels (real values).
  void MouseMoved(double x, double y);
  void Clicked();
  // The user closed the window with its title-bar button.
  void CloseRequested();

protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  friend class FramePicture;
  void PaintOverlays(class QPainter& painter) const;
  void PaintPicture(class QPainter& painter) const;
  void CreateViewControls();
  void ViewChanged();
  void StretchChanged();

  QLabel* lblname_;
  QLabel* lblc_;
  QLineEdit* txtstr_;
  QLabel* txtst_;
  FramePicture* pic_;
  QPushButton* cmdfit_;
  QLabel* lblzoom_;
  QCheckBox* chstretch_;
  QSlider* sldgamma_;
  FramePyramid pyramid_;
  QSize displaySize_;
  double displayScale_ = 1.0;
  double zoom_ = 1.0;
  QPointF origin_;
  bool stretchOn_ = false;
  double gamma_ = 1.0;
  QPointF timeLabelAt_;
  QPointF frameCentre_;
  int frameSide_ = 0;
  double frameSideImage_ = 0;
  bool frameVisible_ = false;
  QColor frameColour_{220, 230, 250};
  std::map<OverlayKind, std::vector<OverlayItem>> overlays_;
};

// The picture area of the frame window (objectName "Pic").
class FramePicture : public QWidget {
  Q_OBJECT
public:
  explicit FramePicture(Form1* owner);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

private:
  Form1* owner_;
  QPointF dragFrom_;  // where a pan drag last was, widget pixels
  bool dragging_ = false;
};
