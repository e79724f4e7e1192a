#pragma once
// "Выбрать файлы": chooses TLE files from one folder and imports them into the satellite database,
// optionally leaving out satellites whose perigee lies above a limit.

#include <QPointer>
#include <QWidget>

#include "base/ui/long_task.h"
#include "satdb/satdb.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class Frmz;

// True when a file's beginning looks like element sets: a two-line set's first line or an element
// message's keys. The file list shows only such files.
bool MayHoldElementSets(const QString& path);

// The one message that ends every import: files read of those chosen, sets read, new satellites, sets added,
// equal sets dropped, and the sets skipped with the reasons.
QString ImportSummary(const TleImportResult& result, int filesChosen);

class FrmDir : public QWidget {
  Q_OBJECT
public:
  // context gives the application folder (the first folder shown), the long-task flag and the progress
  // window shown during the import.
  FrmDir(TaskContext context, QWidget* parent = nullptr);
  // Shows a folder: its subfolders in Dir1 and its element-set files ("*.txt", "*.tle" and the element
  // messages "*.json", "*.xml", "*.csv") in File1 and List1.
  void SetDirectory(const QString& dir);
  // The folder shown.
  QString Directory() const { return dir_; }

signals:
  // The folder the chosen files were imported from, for the next time the window opens.
  void FolderUsed(const QString& dir);

private slots:
  void DriveChanged(int index);
  void DirActivated(QListWidgetItem* item);
  void AllClicked(bool checked);
  void OkClicked();

private:
  void CreateControls();
  void FillDrives();
  // Runs the import of the chosen files with the progress window, then closes.
  void RunImport(const std::vector<std::string>& paths, double perigeeLimitKm);

  TaskContext context_;
  QString dir_;
  QComboBox* drive1_ = nullptr;
  QLabel* lblDir_ = nullptr;
  QListWidget* dir1_ = nullptr;
  QListWidget* file1_ = nullptr;
  QListWidget* list1_ = nullptr;
  QCheckBox* chAll_ = nullptr;
  QCheckBox* chper_ = nullptr;
  QLineEdit* txtp_ = nullptr;
  QPushButton* cmdok_ = nullptr;
  QLineEdit* txtpath_ = nullptr;
};
