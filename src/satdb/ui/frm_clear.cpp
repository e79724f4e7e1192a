#include "satdb/ui/frm_clear.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/calendar.h"
#include "base/numbers.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "satdb/satdb.h"

namespace {

// A text box's number, with "," accepted as the decimal point.
double BoxNumber(const QLineEdit* box) {
  return ParseNumber(box->text().replace(',', '.').toStdString());
}

}  // namespace

double ClockMjdUtc(const QDateTime& utc) {
  const QDate date = utc.date();
  const QTime time = utc.time();
  return MjdFromDate(date.year(), date.month(), date.day(), time.hour() + time.minute() / 60.0);
}

FrmClear::FrmClear(TaskContext context, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), context_(std::move(context)) {
  setObjectName("FrmClear");
  setWindowTitle(QStringLiteral("Очистка базы данных"));
  CreateControls();
}

void FrmClear::CreateControls() {
  chP_ = new QCheckBox(QStringLiteral("Удалить tle для ИСЗ с перигеем больше"), this);
  chP_->setObjectName("chP");
  chP_->setChecked(true);
  txtPerig_ = new QLineEdit(QStringLiteral("20000"), this);
  txtPerig_->setObjectName("txtPerig");
  lblkm_ = new QLabel(QStringLiteral("км"), this);
  lblkm_->setObjectName("lblkm");
  chd_ = new QCheckBox(QStringLiteral("Удалить tle с давностью больше"), this);
  chd_->setObjectName("Chd");
  chd_->setChecked(true);
  txtd_ = new QLineEdit(QStringLiteral("100"), this);
  txtd_->setObjectName("txtd");
  lbld_ = new QLabel(QStringLiteral("суток"), this);
  lbld_->setObjectName("lbld");
  cmdok_ = new QPushButton(QStringLiteral("OK"), this);
  cmdok_->setObjectName("cmdok");

  auto* grid = new QGridLayout(this);
  grid->addWidget(chP_, 0, 0);
  grid->addWidget(txtPerig_, 0, 1);
  grid->addWidget(lblkm_, 0, 2);
  grid->addWidget(chd_, 1, 0);
  grid->addWidget(txtd_, 1, 1);
  grid->addWidget(lbld_, 1, 2);
  grid->addWidget(cmdok_, 2, 1);
  connect(cmdok_, &QPushButton::clicked, this, &FrmClear::OkClicked);
}

QString CleanupQuestion(const CleanupResult& preview) {
  return QStringLiteral("Будут удалены файлы ИСЗ: %1 из %2 и наборы TLE: %3 из %4.\nУдалить?")
      .arg(preview.filesDeleted)
      .arg(preview.filesTotal)
      .arg(preview.setsDeleted)
      .arg(preview.setsTotal);
}

QString CleanupReport(const CleanupResult& done) {
  QString text = QStringLiteral("Удалено файлов ИСЗ: %1 из %2, наборов TLE: %3 из %4.")
                     .arg(done.filesDeleted)
                     .arg(done.filesTotal)
                     .arg(done.setsDeleted)
                     .arg(done.setsTotal);
  if (done.cancelled) text += QStringLiteral(" Очистка прервана.");
  return text;
}

CleanupResult FrmClear::RunCleanup(const CleanupLimits& limits, double nowMjd) {
  LongTaskGuard guard({context_.longTaskRunning, &context_.catalogueReady}, context_.progress,
                      QStringLiteral("Очистка файлов Tle."), true, this);
  return CleanDatabase(context_.appDir, limits, nowMjd, guard.Task());
}

void FrmClear::OkClicked() {
  CleanupLimits limits;
  if (chP_->isChecked()) limits.perigeeKm = BoxNumber(txtPerig_);
  if (chd_->isChecked()) limits.ageDays = BoxNumber(txtd_);
  if (limits.perigeeKm || limits.ageDays) {
    hide();
    QApplication::processEvents();
    auto say = [this](const QString& text) { ShowMessage(text, kMessageCaption, MessageButtons::Ok, parentWidget()); };
    // Nothing is deleted before the user has seen how much would go, and agreed.
    const double nowMjd = ClockMjdUtc(QDateTime::currentDateTimeUtc());
    limits.countOnly = true;
    const CleanupResult preview = RunCleanup(limits, nowMjd);
    if (preview.cancelled) return void(close());
    if (preview.filesTotal == 0) {
      for (const std::string& message : preview.messages) say(QString::fromStdString(message));
      return void(close());
    }
    if (preview.setsDeleted == 0 && preview.filesDeleted == 0) {
      say(QStringLiteral("Удалять нечего: файлов ИСЗ %1, наборов TLE %2.")
              .arg(preview.filesTotal)
              .arg(preview.setsTotal));
      return void(close());
    }
    if (ShowMessage(CleanupQuestion(preview), kMessageCaption, MessageButtons::YesNoDefaultNo, parentWidget()) !=
        MessageAnswer::Yes)
      return void(close());
    limits.countOnly = false;
    const CleanupResult result = RunCleanup(limits, nowMjd);
    for (const std::string& message : result.messages) say(QString::fromStdString(message));
    say(CleanupReport(result));
  }
  close();
}
