#pragma once
// "Траектории нескольких ИСЗ": up to 15 satellites, each with its own step and colour, drawn over the
// frame at once, optionally with name labels. Colours are picked from a colour picture.

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "desktop/satellite_context.h"

class QCheckBox;
class QFrame;
class QGridLayout;
class QLineEdit;
class QListWidget;
class QPushButton;

// The colour picture "Pic": hues across, from white at the top through full colour to black at the bottom.
class ColourPicture : public QWidget {
  Q_OBJECT
public:
  explicit ColourPicture(QWidget* parent = nullptr);
  // Colour of the picture pixel at the last mouse position over the picture.
  QColor ColourAtLastPosition() const;
  QSize sizeHint() const override { return image_.size(); }

signals:
  void Clicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  QImage image_;
  QPoint last_;
};

class FrmSatN : public QWidget {
  Q_OBJECT
public:
  FrmSatN(SatelliteContext& context, QWidget* parent = nullptr);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The row's swatch colour (rows 1-based).
  QColor RowColour(int row) const;
  // The row that takes the next picked colour (1-based; 0 = none yet).
  int ColourTarget() const { return colourTarget_; }

signals:
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private slots:
  void PlusClicked();
  void ColourPicked();
  void OkClicked();

private:
  struct Row {
    QLineEdit* number;
    QLineEdit* step;
    QFrame* swatch;
    QColor colour;
  };
  // Adds a row below the last with an empty number box and step "1.0".
  void AddRow();
  void SetRowColour(Row& row, const QColor& colour);

  SatelliteContext& context_;
  std::vector<Row> rows_;
  int colourTarget_ = 0;
  QGridLayout* rowsGrid_ = nullptr;
  QCheckBox* chNum_ = nullptr;
  ColourPicture* pic_ = nullptr;
  QPushButton* cmdplus_ = nullptr;
  QPushButton* cmdok_ = nullptr;
};

// "Все ИСЗ в кадре": the satellites predicted to cross the frame, one line each (number, name, entry and
// exit with their times and pixels, magnitude, sunlit or in shadow, range), in the list "lstCrossings".
class FrmCrossings : public QWidget {
  Q_OBJECT
public:
  FrmCrossings(const QStringList& lines, QWidget* parent = nullptr);

signals:
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  QListWidget* list_ = nullptr;
};
