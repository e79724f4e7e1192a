#pragma once
// The EXIF window "Exif": date, time, exposure, aperture, size and ISO of the open JPEG frame, and a
// button that hands date, time and exposure to the frame-information panel.

#include <QWidget>
#include <string>

#include "frameinfo/exif.h"

class QLineEdit;
class QToolButton;

class FrmExif : public QWidget {
  Q_OBJECT
public:
  // Reads the EXIF values of the image file and shows them; a modeless window deleted when closed.
  explicit FrmExif(const std::string& imagePath, QWidget* parent = nullptr);
  // The texts shown and the exposure in seconds (-1 when unknown).
  const ExifDisplay& Display() const { return display_; }

signals:
  // Date ("dd.mm.yyyy"), time ("hh:mm:ss.sss") and exposure in seconds ("0.000") for the panel's date, UT
  // and exposure rows; an empty text means "leave that row as it is". Not emitted when all three are unknown.
  void ValuesCopied(const QString& dateText, const QString& timeText, const QString& exposureText);

private slots:
  void CopyClicked();

private:
  QLineEdit* AddRow(const QString& caption, const char* name, const std::string& text, int row);

  ExifDisplay display_;
  QToolButton* imageCopy_ = nullptr;
};

// True when the frame's file name has an extension whose first letter is "j" (jpg, jpeg, JPEG ...).
bool IsJpegName(const std::string& imagePath);

// The panel's EXIF button: nothing while the catalogue is not ready; "Кадр не открыт." without a frame;
// "Exif только у jpg-файлов" for other files; otherwise opens FrmExif modeless over the parent and
// returns it (nullptr in the other cases) so that the caller can connect ValuesCopied.
FrmExif* OpenExifWindow(bool programIdle, bool frameOpen, const std::string& imagePath, QWidget* parent = nullptr);
