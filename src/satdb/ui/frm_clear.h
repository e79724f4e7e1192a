#pragma once
// "Очистка базы данных": deletes the database files of satellites above a perigee limit or without
// recent element sets, and prunes old sets from the others.

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include "base/ui/long_task.h"
#include "satdb/satdb.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Frmz;

// The question asked before a cleanup deletes anything, from a count-only run: how many satellite files and
// element sets would go, out of how many.
QString CleanupQuestion(const CleanupResult& preview);
// What a cleanup did, said after it.
QString CleanupReport(const CleanupResult& done);

class FrmClear : public QWidget {
  Q_OBJECT
public:
  // context gives the application folder, the readiness and long-task flags and the progress window
  // shown during the cleanup.
  FrmClear(TaskContext context, QWidget* parent = nullptr);

private slots:
  void OkClicked();

private:
  void CreateControls();
  // One cleanup run (or count) under the long-task guard.
  CleanupResult RunCleanup(const CleanupLimits& limits, double nowMjd);

  TaskContext context_;
  QCheckBox* chP_ = nullptr;
  QLineEdit* txtPerig_ = nullptr;
  QLabel* lblkm_ = nullptr;
  QCheckBox* chd_ = nullptr;
  QLineEdit* txtd_ = nullptr;
  QLabel* lbld_ = nullptr;
  QPushButton* cmdok_ = nullptr;
};

// The current UTC time as an MJD with whole minutes (seconds are not used).
double ClockMjdUtc(const QDateTime& utc);
