#include "satdb/ui/frm_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

#include "base/numbers.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "satdb/satdb.h"

namespace {

// Item data holding a folder's full path in Dir1.
constexpr int kPathRole = Qt::UserRole;

}  // namespace

bool MayHoldElementSets(const QString& path) {
  // The first 64 KiB decide: a two-line set's first line ("1 NNNNN"), or the keys of an element message.
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = file.read(64 * 1024);
  static const QRegularExpression line1(QStringLiteral("(^|\n)1 [ 0-9A-Z]{5}"));
  const QString text = QString::fromLatin1(head);
  return line1.match(text).hasMatch() || text.contains(QStringLiteral("NORAD_CAT_ID")) ||
         text.contains(QStringLiteral("MEAN_MOTION"));
}

FrmDir::FrmDir(TaskContext context, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), context_(std::move(context)) {
  setObjectName("FrmDir");
  setWindowTitle(QStringLiteral("Выбрать файлы"));
  CreateControls();
  FillDrives();
  SetDirectory(QDir::homePath());  // the main window opens it in the folder used last, when there is one
}

void FrmDir::CreateControls() {
  drive1_ = new QComboBox(this);
  drive1_->setObjectName("Drive1");
  lblDir_ = new QLabel(this);
  lblDir_->setObjectName("lblDir");
  dir1_ = new QListWidget(this);
  dir1_->setObjectName("Dir1");
  file1_ = new QListWidget(this);  // the folder's files; List1 shows them for selection
  file1_->setObjectName("File1");
  file1_->setVisible(false);
  list1_ = new QListWidget(this);
  list1_->setObjectName("List1");
  list1_->setSelectionMode(QAbstractItemView::MultiSelection);
  list1_->setTextElideMode(Qt::ElideNone);  // whole file names, scrolled sideways when long
  chAll_ = new QCheckBox(QStringLiteral("Ввести все файлы"), this);
  chAll_->setObjectName("ChAll");
  chper_ = new QCheckBox(QStringLiteral("Не вводить ИСЗ с перигеем более чем [км]"), this);
  chper_->setObjectName("chper");
  chper_->setChecked(true);
  txtp_ = new QLineEdit(QStringLiteral("20000"), this);
  txtp_->setObjectName("txtp");
  cmdok_ = new QPushButton(QStringLiteral("OK"), this);
  cmdok_->setObjectName("cmdok");
  txtpath_ = new QLineEdit(this);
  txtpath_->setObjectName("txtpath");
  txtpath_->setPlaceholderText(QStringLiteral("Путь к папке с файлами TLE"));
  txtpath_->setToolTip(QStringLiteral("Введите путь к папке и нажмите Enter"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(drive1_, 0, 0);
  grid->addWidget(lblDir_, 1, 0);
  grid->addWidget(dir1_, 2, 0);
  grid->addWidget(list1_, 0, 1, 3, 2);
  grid->addWidget(chAll_, 3, 0);
  grid->addWidget(chper_, 4, 0);
  grid->addWidget(txtp_, 4, 1);
  grid->addWidget(cmdok_, 4, 2);
  grid->addWidget(txtpath_, 5, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  resize(720, 400);

  connect(drive1_, &QComboBox::currentIndexChanged, this, &FrmDir::DriveChanged);
  connect(dir1_, &QListWidget::itemActivated, this, &FrmDir::DirActivated);
  connect(chAll_, &QCheckBox::clicked, this, &FrmDir::AllClicked);
  connect(cmdok_, &QPushButton::clicked, this, &FrmDir::OkClicked);
  connect(txtpath_, &QLineEdit::returnPressed, this, [this] {
    const QString typed = QDir::fromNativeSeparators(txtpath_->text().trimmed());
    if (QFileInfo(typed).isDir())
      SetDirectory(typed);
    else if (QFileInfo(typed).isFile())
      SetDirectory(QFileInfo(typed).absolutePath());
  });
}

void FrmDir::FillDrives() {
  const QSignalBlocker blocker(drive1_);
  for (const QFileInfo& drive : QDir::drives()) drive1_->addItem(QDir::toNativeSeparators(drive.absolutePath()));
}

void FrmDir::SetDirectory(const QString& dir) {
  const QDir folder(dir);
  dir_ = folder.absolutePath();
  lblDir_->setText(QDir::toNativeSeparators(dir_));
  txtpath_->setText(QDir::toNativeSeparators(dir_));
  {
    // Keep the drive list on the folder's drive without reacting to it.
    const QSignalBlocker blocker(drive1_);
    for (int i = 0; i < drive1_->count(); ++i) {
      if (dir_.startsWith(QDir::fromNativeSeparators(drive1_->itemText(i)), Qt::CaseInsensitive)) {
        drive1_->setCurrentIndex(i);
      }
    }
  }
  dir1_->clear();
  if (!folder.isRoot()) {
    auto* up = new QListWidgetItem(QStringLiteral(".."), dir1_);
    up->setData(kPathRole, QDir::cleanPath(folder.absoluteFilePath(QStringLiteral(".."))));
  }
  for (const QFileInfo& sub : folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    auto* item = new QListWidgetItem(sub.fileName(), dir1_);
    item->setData(kPathRole, sub.absoluteFilePath());
  }
  // The file list follows the folder, and the selection list is refilled from it in its order.
  file1_->clear();
  for (const QString& name :
       folder.entryList({QStringLiteral("*.txt"), QStringLiteral("*.tle"), QStringLiteral("*.json"),
                         QStringLiteral("*.xml"), QStringLiteral("*.csv")},
                        QDir::Files, QDir::Name | QDir::IgnoreCase))
    if (MayHoldElementSets(folder.filePath(name))) file1_->addItem(name);
  list1_->clear();
  for (int i = 0; i < file1_->count(); ++i) list1_->addItem(file1_->item(i)->text());
}

void FrmDir::DriveChanged(int index) {
  if (index >= 0) SetDirectory(QDir::fromNativeSeparators(drive1_->itemText(index)));
}

void FrmDir::DirActivated(QListWidgetItem* item) {
  if (item) SetDirectory(item->data(kPathRole).toString());
}

void FrmDir::AllClicked(bool checked) {
  for (int i = 0; i < list1_->count(); ++i) list1_->item(i)->setSelected(checked);
}

void FrmDir::OkClicked() {
  if (list1_->count() == 0) {
    close();
    return;
  }
  std::vector<std::string> paths;
  const QDir folder(dir_);
  for (int i = 0; i < list1_->count(); ++i) {
    if (list1_->item(i)->isSelected()) {
      paths.push_back(QDir::toNativeSeparators(folder.filePath(list1_->item(i)->text())).toStdString());
    }
  }
  double limit = ParseNumber(txtp_->text().replace(',', '.').toStdString());
  if (chper_->isChecked() && limit < 7000 &&
      ShowMessage(QStringLiteral("Вы уверены в значении граничного перигея?"), kMessageCaption, MessageButtons::YesNo,
                  this) == MessageAnswer::No) {
    return;
  }
  if (!chper_->isChecked()) limit = -1;
  if (paths.empty()) {
    close();
    return;
  }
  emit FolderUsed(dir_);
  RunImport(paths, limit);
}

QString ImportSummary(const TleImportResult& r, int filesChosen) {
  // Every set read ends in exactly one of the counts.
  const int skipped = r.setsAboveLimit + r.setsBadNumber + r.setsNumberTooLarge + r.writeFailures;
  const int read = r.filesCreated + r.setsMerged + r.setsDuplicate + skipped;
  QString text = QStringLiteral("Ввод TLE %1.\nПрочитано файлов: %2 из %3, наборов TLE: %4.\n")
                     .arg(r.cancelled ? QStringLiteral("прерван") : QStringLiteral("закончен"))
                     .arg(r.filesRead)
                     .arg(filesChosen)
                     .arg(read);
  text += QStringLiteral("Новых ИСЗ: %1. Добавлено наборов: %2.\nОтброшено равных наборов: %3.\n")
              .arg(r.filesCreated)
              .arg(r.filesCreated + r.setsMerged)
              .arg(r.setsDuplicate);
  text += QStringLiteral("Пропущено наборов: %1").arg(skipped);
  if (skipped > 0) {
    QStringList why;
    if (r.setsAboveLimit > 0) why << QStringLiteral("перигей выше границы — %1").arg(r.setsAboveLimit);
    if (r.setsBadNumber > 0) why << QStringLiteral("неверный номер ИСЗ — %1").arg(r.setsBadNumber);
    if (r.setsNumberTooLarge > 0) why << QStringLiteral("номер больше 339999 — %1").arg(r.setsNumberTooLarge);
    if (r.writeFailures > 0) why << QStringLiteral("не записаны — %1").arg(r.writeFailures);
    text += " (" + why.join(QStringLiteral("; ")) + ")";
  }
  return text + ".";
}

void FrmDir::RunImport(const std::vector<std::string>& paths, double perigeeLimitKm) {
  hide();
  QApplication::processEvents();
  TleImportResult result;
  {
    // The import leaves the other commands available: it claims only the long-task flag.
    LongTaskGuard guard({context_.longTaskRunning, nullptr}, context_.progress, QStringLiteral("Ввод TLE."), true,
                        this);
    result = ImportTleFiles(paths, perigeeLimitKm, context_.appDir, guard.Task());
  }
  for (const std::string& message : ImportMessagesWithCauses(result)) {
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, parentWidget());
  }
  ShowMessage(ImportSummary(result, static_cast<int>(paths.size())), kMessageCaption, MessageButtons::Ok,
              parentWidget());
  close();
}
