#pragma once
// The frame-information panel "Параметры": the circumstances the user types, and read-only rows
// showing the plate solution and the Moon.

#include <QWidget>
#include <array>

#include "astrometry/plate.h"
#include "frameinfo/frame_info.h"
#include "frameinfo/places.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

class FrmPar : public QWidget {
  Q_OBJECT
public:
  explicit FrmPar(QWidget* parent = nullptr);

  // Puts every default text into the user rows, program rows 1 to 8, centre boxes and supplementary rows.
  void ResetPanel();
  // Shows a loaded record's user values in the forms of a loaded file (start date and time, UT error,
  // exposure, site with hemisphere options, centre boxes).
  void ShowUserInfo(const FrameInfo& info);
  // Shows a loaded record, plate solution and Moon values in the panel (user rows, program rows 1 to 9,
  // supplementary rows) in the forms of a loaded file.
  void ShowFrameInfo(const FrameInfo& info, const PlateSolution& plate, const std::string& moonVisibility,
                     float moonPhase, float moonDistance);
  // Shows the plate solution in program rows 2 to 8.
  void ShowPlate(const PlateSolution& plate, const std::string& fieldSizeText);
  // Shows the Moon's visibility, phase and distance in the supplementary rows.
  void ShowMoon(const std::string& visibility, float phase, float distanceDeg);
  // The texts CollectFrameInfo reads.
  PanelEntries Entries() const;
  // Replaces row 3's text (the clamped UT error).
  void SetUtErrorText(const QString& text);
  // Program row i (1..9) and supplementary row i (1..3).
  void SetProgramRow(int row, const QString& text);
  QString ProgramRow(int row) const;
  void SetSupplementRow(int row, const QString& text);
  QString SupplementRow(int row) const;
  // True while "Координаты ЦП заданы" is selected.
  bool CentreGiven() const;
  // Copies EXIF values into the start date, start time and exposure rows; an empty text leaves its row alone.
  void CopyExifValues(const QString& dateText, const QString& timeText, const QString& exposureText);
  // Clears "Не учитывать видимость".
  void ClearIgnoreVisibility();
  // The application directory (with its trailing separator) whose places file the ImageFile button lists.
  void SetAppDir(const std::string& appDir) { appDir_ = appDir; }
  // Shows a chosen place's longitude and latitude in rows 5 and 6 (magnitudes with "0.00000", the
  // hemisphere options following the signs) and its height, and announces its station code.
  void ShowPlace(const ObserverSite& site);

signals:
  // "Не учитывать видимость" changed: consider is true when the box is cleared.
  void VisibilityChanged(bool consider);
  void ExifRequested();
  // A place was chosen in the places window: its IOD station code for the frame information.
  void StationChosen(std::int16_t code);

private slots:
  void CentreOptionChanged();
  void OpenPlaces();

private:
  // Removes a leading minus sign from a longitude or latitude box and selects W or S instead.
  void TakeMinusSign(QLineEdit* box, QRadioButton* negative);
  std::array<QLineEdit*, 7> txtp_{};    // 1..6
  std::array<QLineEdit*, 10> txtm_{};   // 1..9
  std::array<QLineEdit*, 4> txtsup_{};  // 1..3
  QRadioButton* optE_;
  QRadioButton* optW_;
  QRadioButton* optN_;
  QRadioButton* optS_;
  QRadioButton* opt1_;
  QRadioButton* opt2_;
  QLineEdit* txtra_;
  QLineEdit* txtdec_;
  QLineEdit* txtzone_;
  QLineEdit* txtHeight_;
  QCheckBox* chAltAz_;  // the centre given as the camera's altitude and azimuth instead of RA and DEC
  QLineEdit* txtAlt_;
  QLineEdit* txtAz_;
  QCheckBox* chElev_;
  QCheckBox* chkFixedCamera_;  // the camera stood still on its tripod
  std::string appDir_;
};
