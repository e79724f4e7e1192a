#pragma once
// The observing places window "Место наблюдения": the list of places from the places file, choosing
// one for the frame, and adding a new place (with the coordinate entry dialog beside it).

#include <QWidget>
#include <string>
#include <vector>

#include "frameinfo/places.h"

class QLineEdit;
class QListWidget;
class QRadioButton;

class FrmStation : public QWidget {
  Q_OBJECT
public:
  // Loads the places file of appDir (appDir ends with a separator) and lists its places, the first one
  // selected; an unusable file is reported and gives an empty list. A modeless window deleted when closed.
  explicit FrmStation(const std::string& appDir, QWidget* parent = nullptr);
  // The places listed, in file order.
  const std::vector<ObserverSite>& Sites() const { return sites_; }

signals:
  // "Выбрать" with a place selected: the place for the frame (emitted just before the window closes).
  void PlaceChosen(const ObserverSite& site);

private slots:
  void ChooseClicked();
  void AddClicked();

private:
  QWidget* createAddGroup();
  QLineEdit* createCoordinateRow(QWidget* group, int row, const QString& caption, const char* boxName,
                                 const char* first, const char* second, const char* buttonName,
                                 QRadioButton*& secondOption);
  void Load();

  std::string appDir_;
  std::vector<ObserverSite> sites_;
  QListWidget* listS_;
  QLineEdit* txtname_;
  QLineEdit* txtLong_;
  QLineEdit* txtLat_;
  QLineEdit* txtcod_;
  QLineEdit* txtHeight_;
  QRadioButton* optW_;
  QRadioButton* optS_;
};

// A name from a file as text for the screen: UTF-8 when its bytes are valid UTF-8, else Windows-1251.
QString PlaceNameText(const std::string& bytes);
