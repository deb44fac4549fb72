#include "salvage/wizard/uConfirmRestore.h"

#include "salvage/ui/Strings.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace salvage::ui {

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QLabel* Note(const char* text, QWidget* parent)
{
    auto* label = new QLabel(Text(text), parent);
    label->setWordWrap(true);
    label->setContentsMargins(22, 0, 0, 8);
    return label;
}

} // namespace

TfrmConfirmRestore::TfrmConfirmRestore(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfirmRestore"));
    setWindowTitle(Text(text::kConfirmRestoreTitle));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    Label1 = new QLabel(Text(text::kConfirmRestoreQuestion), this);
    rbOriginal = new QRadioButton(Text(text::kConfirmRestoreOriginal), this);
    rbOriginal->setObjectName(QStringLiteral("rbOriginal"));
    rbOriginal->setChecked(true);
    Label2 = Note(text::kConfirmRestoreOriginalNote, this);
    rbAlternative = new QRadioButton(Text(text::kConfirmRestoreAlternative), this);
    rbAlternative->setObjectName(QStringLiteral("rbAlternative"));
    Label3 = Note(text::kConfirmRestoreAlternativeNote, this);
    btnOK = new QPushButton(Text(text::kOK), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(Text(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* body = new QVBoxLayout;
    body->addWidget(Label1);
    body->addSpacing(8);
    body->addWidget(rbOriginal);
    body->addWidget(Label2);
    body->addWidget(rbAlternative);
    body->addWidget(Label3);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedWidth(420);
}

} // namespace salvage::ui
