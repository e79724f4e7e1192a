#include "desktop/frm_splash.h"

#include <QLabel>
#include <QVBoxLayout>

FrmSplash::FrmSplash(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName("frmSplash");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("Orvia — версия 0.1"), this);
  name->setObjectName("lblVersion");
  QFont f = name->font();
  f.setPointSize(f.pointSize() + 6);
  f.setBold(true);
  name->setFont(f);
  layout->addWidget(name);
  layout->addWidget(new QLabel(QStringLiteral("Отождествление ИСЗ по снимку звездного неба"), this));
  layout->addWidget(new QLabel(QStringLiteral("Последнее обновление: декабрь 2026"), this));
  layout->addWidget(new QLabel(QStringLiteral("Связь: команда разработчиков Orvia"), this));
  setFocusPolicy(Qt::StrongFocus);
}

void FrmSplash::mousePressEvent(QMouseEvent*) {
  close();
}

void FrmSplash::keyPressEvent(QKeyEvent*) {
  close();
}
