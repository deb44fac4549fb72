#include "kestrel/DlgAboutKestrel.h"

#include "kestrel/Strings.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>

CDlgAboutKestrel::CDlgAboutKestrel(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Kestrel"));
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(kestrel::kIcon).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("Kestrel Version 1.0"), this), 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("The suite's launcher: start, install and manage the Kestrel tools."), this),
                      1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
