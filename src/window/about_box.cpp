#include "window/about_box.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace ov {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/ov58xx/icon.svg").pixmap(32, 32));
    auto* text = new QLabel(QString::fromUtf8(kAboutText), this);
    text->setObjectName("aboutText");
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(text, 0, 1);
    grid->addWidget(ok, 0, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace ov
