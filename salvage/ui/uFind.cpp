#include "salvage/ui/uFind.h"

#include "salvage/ui/Strings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace salvage::ui {
namespace {

// The design's client area; the dialog grows only when the user's font needs it.
constexpr QSize kDesignSize(347, 81);

} // namespace

TfrmFind::TfrmFind(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QString::fromUtf8(text::kFindTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    lblFindWhat = new QLabel(QString::fromUtf8(text::kFindWhat), this);
    lblFindWhat->setObjectName(QStringLiteral("lblFindWhat"));
    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    lblFindWhat->setBuddy(edtName);
    chkDeleteonly = new QCheckBox(QString::fromUtf8(text::kFindDeletedOnly), this);
    chkDeleteonly->setObjectName(QStringLiteral("chkDeleteonly"));
    chkDeleteonly->setChecked(true);
    btnFind = new QPushButton(QString::fromUtf8(text::kFindNextButton), this);
    btnFind->setObjectName(QStringLiteral("btnFind"));
    btnFind->setDefault(true);
    btnCancel = new QPushButton(QString::fromUtf8(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnFind, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The text and its box on the left, the two buttons on the right.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(6);
    layout->addWidget(lblFindWhat, 0, 0);
    layout->addWidget(edtName, 0, 1);
    layout->addWidget(chkDeleteonly, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(btnFind, 0, 2);
    layout->addWidget(btnCancel, 1, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    setTabOrder(edtName, chkDeleteonly);
    setTabOrder(chkDeleteonly, btnFind);
    setTabOrder(btnFind, btnCancel);

    // A fixed border: the design size, or what the texts need.
    setFixedSize(sizeHint().expandedTo(kDesignSize));
}

TfrmFind::~TfrmFind() = default;

QString TfrmFind::Pattern() const
{
    return edtName->text();
}

bool TfrmFind::DeletedOnly() const
{
    return chkDeleteonly->isChecked();
}

void TfrmFind::showEvent(QShowEvent* event)
{
    // Centred on the screen, the last text ready to be replaced.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    edtName->selectAll();
    edtName->setFocus();
    QDialog::showEvent(event);
}

} // namespace salvage::ui
