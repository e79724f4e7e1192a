#pragma once
// The frame window "Кадр": the scaled picture, the square marking frame that follows the mouse,
// the mode and sky-position labels, and the overlays (marks, catalogue stars, trajectories).

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

class QLabel;
class QLineEdit;

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
  QRect screenRect;       // when valid: an outline at these screen pixels of the picture, drawn as it stands
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
  // Places the marking frame centred on screen point (cx, cy) with the given side; shows it.
  void PlaceMarkingFrame(double cx, double cy, int side);
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

signals:
  // Mouse position over the picture in screen pixels (real values).
  void MouseMoved(double x, double y);
  void Clicked();

protected:
  void changeEvent(QEvent* event) override;

private:
  friend class FramePicture;
  void PaintOverlays(class QPainter& painter) const;

  QLabel* lblname_;
  QLabel* lblc_;
  QLineEdit* txtstr_;
  QLabel* txtst_;
  FramePicture* pic_;
  QPixmap scaled_;
  double displayScale_ = 1.0;
  QPointF frameCentre_;
  int frameSide_ = 0;
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

private:
  Form1* owner_;
};
