#include "astrometry/ui/frm_txt.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>

#include "base/ui/owned_window.h"

namespace {

// Gap between the panel and the window, screen pixels.
constexpr int kPlacementGap = 4;

}  // namespace

FrmTxt::FrmTxt(QWidget* parent) : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)) {
  setObjectName("FrmTxt");
  setWindowTitle(QStringLiteral("Измерение трека"));
  resize(460, 420);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  txtcom_ = new QPlainTextEdit(this);
  txtcom_->setObjectName("txtcom");
  txtcom_->setReadOnly(true);  // still selectable, so that lines can be copied
  txtcom_->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtcom_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(txtcom_);
}

void FrmTxt::AppendMeasurementLine(const QString& line, bool replace) {
  if (replace) {
    content_ = line;
  } else {
    content_ += QStringLiteral("\r\n");
    content_ += line;
  }
  ShowContent();
}

void FrmTxt::SetText(const QString& text) {
  content_ = text;
  ShowContent();
}

MeasurementLineSink FrmTxt::LineSink() {
  // The window may be closed by the user while a measurement runs; lines then go nowhere.
  QPointer<FrmTxt> self(this);
  return [self](const std::string& line, bool replace) {
    if (self) self->AppendMeasurementLine(QString::fromStdString(line), replace);
  };
}

void FrmTxt::PlaceBeside(const QWidget* panel) {
  if (!panel) return;
  const QRect frame = panel->frameGeometry();
  move(frame.right() + 1 + kPlacementGap, frame.top());
}

void FrmTxt::ShowContent() {
  QString shown = content_;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  txtcom_->setPlainText(shown);
  txtcom_->verticalScrollBar()->setValue(0);  // the track's middle and length stand in the first lines
}

void FrmTxt::FitToContent() {
  FitTextWindow(this, txtcom_);
}
