#include "frameinfo/ui/frm_exif.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <cctype>
#include <filesystem>

#include "base/numbers.h"
#include "base/texts.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"

namespace {

const std::string kAbsent = "N/A";

}  // namespace

FrmExif::FrmExif(const std::string& imagePath, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), display_(MakeExifDisplay(ReadExif(imagePath))) {
  setObjectName("FrmExif");
  setWindowTitle(QStringLiteral("Exif"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  AddRow(QStringLiteral("Дата"), "txtDate", display_.date, 0);
  AddRow(QStringLiteral("Время"), "txtTime", display_.time, 1);
  AddRow(QStringLiteral("Экспозиция"), "txtExposure", display_.exposure, 2);
  AddRow(QStringLiteral("Диафрагма"), "txtAperture", display_.aperture, 3);
  AddRow(QStringLiteral("Размер"), "txtSize", display_.size, 4);
  AddRow(QStringLiteral("ISO"), "txtIso", display_.iso, 5);
  imageCopy_ = new QToolButton(this);
  imageCopy_->setObjectName("ImageCopy");
  imageCopy_->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
  imageCopy_->setToolTip(QStringLiteral("Скопировать значения"));
  grid->addWidget(imageCopy_, 6, 1, Qt::AlignRight);
  connect(imageCopy_, &QToolButton::clicked, this, &FrmExif::CopyClicked);
}

QLineEdit* FrmExif::AddRow(const QString& caption, const char* name, const std::string& text, int row) {
  auto* grid = static_cast<QGridLayout*>(layout());
  auto* label = new QLabel(caption, this);
  auto* field = new QLineEdit(QString::fromStdString(text), this);
  field->setObjectName(QString::fromLatin1(name));
  field->setReadOnly(true);
  label->setBuddy(field);
  grid->addWidget(label, row, 0);
  grid->addWidget(field, row, 1);
  return field;
}

void FrmExif::CopyClicked() {
  // The camera's clock is taken as it is: no time-zone or clock correction.
  const QString date = display_.date == kAbsent ? QString() : QString::fromStdString(display_.date);
  const QString time = display_.time == kAbsent ? QString() : QString::fromStdString(display_.time);
  const QString exposure = display_.exposureSeconds < 0.0
                               ? QString()
                               : QString::fromStdString(FormatNumber(display_.exposureSeconds, "0.000"));
  if (date.isEmpty() && time.isEmpty() && exposure.isEmpty()) return;
  emit ValuesCopied(date, time, exposure);
}

bool IsJpegName(const std::string& imagePath) {
  // Only the file name counts, so that a point in a folder name is not taken for the extension.
  const std::string name = std::filesystem::path(imagePath).filename().string();
  const std::size_t point = name.rfind('.');
  if (point == std::string::npos || point + 1 >= name.size()) return false;
  return std::tolower(static_cast<unsigned char>(name[point + 1])) == 'j';
}

FrmExif* OpenExifWindow(bool programIdle, bool frameOpen, const std::string& imagePath, QWidget* parent) {
  if (!programIdle) return nullptr;
  if (!frameOpen) {
    ShowMessage(QString::fromUtf8(kNoFrameText));
    return nullptr;
  }
  if (!IsJpegName(imagePath)) {
    ShowMessage(QStringLiteral("Exif только у jpg-файлов"));
    return nullptr;
  }
  auto* window = new FrmExif(imagePath, parent);
  window->show();
  return window;
}
