#pragma once
// The fragment window "Фрагмент": the pixels under the marking frame, magnified without smoothing,
// with a crosshair through the centre.

#include <QImage>
#include <QWidget>

class FrmFrame : public QWidget {
  Q_OBJECT
public:
  explicit FrmFrame(QWidget* parent = nullptr);
  // Sizes the window for a fragment side in screen pixels: fragmentSide + 10 wide (wider when the caption
  // needs it), fragmentSide + 30 high.
  void SetFragmentSide(int fragmentSide);
  // Shows a w x h colour buffer stretched by zoom, at the top, centred across the window.
  void ShowFragment(const QImage& buffer, int zoom);
  // The caption "( x, y)": each number preceded by a blank when not negative.
  void SetPosition(int x, int y);
  const QImage& Fragment() const { return fragment_; }
  int FragmentSide() const { return fragmentSide_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  // Left edge of the fragment in the window, screen pixels.
  int FragmentLeft() const;
  QImage fragment_;
  int zoom_ = 1;
  int fragmentSide_ = 0;
};

// The caption of the fragment window for an image position, "( 512, 384)".
QString FragmentCaption(int x, int y);
