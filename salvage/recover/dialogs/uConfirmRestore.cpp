#include "salvage/recover/dialogs/uConfirmRestore.h"

#include "salvage/ui/Strings.h"

#include <QGridLayout>
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

} // namespace

TfrmConfirmRestore::TfrmConfirmRestore(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConfirmRestore"));
    setWindowTitle(Text(text::kConfirmRestoreTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    Image = new QLabel(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(32, 32));
    Image->setAlignment(Qt::AlignTop);
    Label1 = new QLabel(Text(text::kConfirmRestoreQuestion), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    rbOriginal = new QRadioButton(Text(text::kConfirmRestoreOriginal), this);
    rbOriginal->setObjectName(QStringLiteral("rbOriginal"));
    rbOriginal->setChecked(true);
    Label2 = new QLabel(Text(text::kConfirmRestoreOriginalNote), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    rbAlternative = new QRadioButton(Text(text::kConfirmRestoreAlternative), this);
    rbAlternative->setObjectName(QStringLiteral("rbAlternative"));
    Label3 = new QLabel(Text(text::kConfirmRestoreAlternativeNote), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    for (QLabel* note : {Label2, Label3}) {
        note->setWordWrap(true);
        note->setForegroundRole(QPalette::PlaceholderText);
    }
    btnOK = new QPushButton(Text(text::kOK), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(Text(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, [this] { done(kOKResult); });
    connect(btnCancel, &QPushButton::clicked, this, &TfrmConfirmRestore::reject);

    // The notes stand under their buttons, indented to the buttons' text.
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this) +
                       style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
    auto* choices = new QGridLayout;
    choices->setColumnMinimumWidth(0, indent);
    choices->addWidget(rbOriginal, 0, 0, 1, 2);
    choices->addWidget(Label2, 1, 1);
    choices->setRowMinimumHeight(2, 8);
    choices->addWidget(rbAlternative, 3, 0, 1, 2);
    choices->addWidget(Label3, 4, 1);
    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addSpacing(8);
    text->addLayout(choices);
    auto* top = new QHBoxLayout;
    top->addWidget(Image);
    top->addSpacing(8);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    Label2->setMinimumWidth(340);
    setFixedSize(sizeHint());
}

TfrmConfirmRestore::~TfrmConfirmRestore() = default;

void TfrmConfirmRestore::reject()
{
    done(kCancelResult);
}

} // namespace salvage::ui
