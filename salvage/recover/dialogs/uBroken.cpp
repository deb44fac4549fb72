#include "salvage/recover/dialogs/uBroken.h"

#include "salvage/ui/Strings.h"
#include "salvage/ui/uMessageBox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

namespace salvage::ui {
namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

constexpr int ResultOf(TBrokenNameResult result)
{
    return static_cast<int>(result);
}

// One letter or digit; a blank shows as "_".
constexpr const char* kSymbolMask = "N;_";

} // namespace

TFrmBroken::TFrmBroken(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmBroken"));
    setWindowTitle(Text(text::kBrokenTitle));
    // No title-bar buttons: the dialog closes through its own buttons only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    lblBroken = new QLabel(Text(text::kBrokenOldLabel), this);
    lblBroken->setObjectName(QStringLiteral("lblBroken"));
    edtOldName = new QLineEdit(this);
    edtOldName->setObjectName(QStringLiteral("edtOldName"));
    edtOldName->setReadOnly(true);
    edtOldName->setFocusPolicy(Qt::NoFocus);
    lblNew = new QLabel(Text(text::kBrokenNewLabel), this);
    lblNew->setObjectName(QStringLiteral("lblNew"));
    edtNewName = new QLineEdit(this);
    edtNewName->setObjectName(QStringLiteral("edtNewName"));
    lblBroken->setBuddy(edtOldName);
    lblNew->setBuddy(edtNewName);

    chkChangeAll = new QCheckBox(Text(text::kBrokenChangeAll), this);
    chkChangeAll->setObjectName(QStringLiteral("chkChangeAll"));
    edtSymbol = new QLineEdit(this);
    edtSymbol->setObjectName(QStringLiteral("edtSymbol"));
    edtSymbol->setInputMask(QLatin1String(kSymbolMask));
    edtSymbol->setMaxLength(1);
    edtSymbol->setEnabled(false);
    edtSymbol->setAlignment(Qt::AlignCenter);
    edtSymbol->setFixedWidth(edtSymbol->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    edtSymbol->installEventFilter(this);

    btnSkip = new QPushButton(Text(text::kBrokenSkip), this);
    btnSkip->setObjectName(QStringLiteral("btnSkip"));
    btnSkipAll = new QPushButton(Text(text::kBrokenSkipAll), this);
    btnSkipAll->setObjectName(QStringLiteral("btnSkipAll"));
    btnRename = new QPushButton(Text(text::kBrokenRename), this);
    btnRename->setObjectName(QStringLiteral("btnRename"));
    btnRename->setDefault(true);
    // Wide enough for "Rename All" from the start: the row does not jump.
    btnRename->setMinimumWidth(btnRename->fontMetrics().horizontalAdvance(Text(text::kBrokenRenameAll)) + 24);

    connect(chkChangeAll, &QCheckBox::clicked, this, &TFrmBroken::chkChangeAllClick);
    connect(edtSymbol, &QLineEdit::textChanged, this, &TFrmBroken::edtSymbolChange);
    connect(btnSkip, &QPushButton::clicked, this, [this] { done(ResultOf(TBrokenNameResult::Skip)); });
    connect(btnSkipAll, &QPushButton::clicked, this, [this] { done(ResultOf(TBrokenNameResult::SkipAll)); });
    connect(btnRename, &QPushButton::clicked, this, &TFrmBroken::btnRenameClick);

    auto* fields = new QGridLayout;
    fields->addWidget(lblBroken, 0, 0);
    fields->addWidget(edtOldName, 0, 1);
    fields->addWidget(lblNew, 1, 0);
    fields->addWidget(edtNewName, 1, 1);
    auto* symbolRow = new QHBoxLayout;
    symbolRow->addWidget(chkChangeAll);
    symbolRow->addWidget(edtSymbol);
    symbolRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnRename);
    buttons->addWidget(btnSkip);
    buttons->addWidget(btnSkipAll);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(symbolRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edtNewName->setMinimumWidth(240);

    setTabOrder(edtNewName, chkChangeAll);
    setTabOrder(chkChangeAll, edtSymbol);
    setTabOrder(edtSymbol, btnRename);
    setTabOrder(btnRename, btnSkip);
    setTabOrder(btnSkip, btnSkipAll);
    SetColours();
}

TFrmBroken::~TFrmBroken() = default;

void TFrmBroken::SetColours()
{
    // Fields that take no input have the button face behind them, the others
    // the window colour.
    const QPalette base = palette();
    for (QLineEdit* field : {edtOldName, edtNewName, edtSymbol}) {
        QPalette p = base;
        const bool grey = field->isReadOnly() || !field->isEnabled();
        const QColor colour = grey ? base.color(QPalette::Active, QPalette::Button) : base.color(QPalette::Active, QPalette::Base);
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, QPalette::Base, colour);
        field->setPalette(p);
    }
}

TBrokenNameAnswer TFrmBroken::AskBrokenName(const std::string& brokenName)
{
    const QString name = QString::fromStdString(brokenName);
    edtOldName->setText(name);
    edtNewName->setText(name);
    TBrokenNameAnswer answer;
    answer.ModalResult = exec();
    answer.NewName = edtNewName->text().toStdString();
    answer.OldName = edtOldName->text().toStdString();
    answer.Symbol = Symbol().toStdString();
    return answer;
}

void TFrmBroken::ResetForJob()
{
    edtSymbol->clear();
    chkChangeAll->setChecked(false);
    chkChangeAllClick();
}

QString TFrmBroken::Symbol() const
{
    return edtSymbol->text();
}

void TFrmBroken::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (edtNewName->isEnabled())
        edtNewName->setFocus(Qt::OtherFocusReason);
    else
        edtSymbol->setFocus(Qt::OtherFocusReason);
    emit shown();
}

void TFrmBroken::chkChangeAllClick()
{
    const bool all = chkChangeAll->isChecked();
    edtSymbol->setEnabled(all);
    edtNewName->setEnabled(!all);
    if (all) {
        edtNewName->clear();
        btnRename->setText(Text(text::kBrokenRenameAll));
    } else {
        edtNewName->setText(edtOldName->text());
        btnRename->setText(Text(text::kBrokenRename));
    }
    SetColours();
}

void TFrmBroken::edtSymbolChange()
{
    edtSymbol->setCursorPosition(0);
}

bool TFrmBroken::eventFilter(QObject* watched, QEvent* event)
{
    // A typed character replaces the one in the field.
    if (watched == edtSymbol && event->type() == QEvent::KeyPress &&
        !static_cast<QKeyEvent*>(event)->text().isEmpty() && static_cast<QKeyEvent*>(event)->text().at(0).isPrint())
        edtSymbol->selectAll();
    return QDialog::eventFilter(watched, event);
}

void TFrmBroken::btnRenameClick()
{
    if (chkChangeAll->isChecked()) {
        const QString symbol = Symbol();
        if (!symbol.isEmpty() && symbol != QLatin1String("_") && IsValidFileName(symbol.toStdString())) {
            done(ResultOf(TBrokenNameResult::RenameAll));
            return;
        }
        ShowMessageBox(this, Text(text::kBrokenInvalidSymbol) + QStringLiteral(" \"") + edtSymbol->displayText() +
                                 QStringLiteral("\"."));
        return;
    }
    const QString name = edtNewName->text();
    if (!name.isEmpty() && IsValidFileName(name.toStdString())) {
        done(ResultOf(TBrokenNameResult::Rename));
        return;
    }
    ShowMessageBox(this, Text(text::kBrokenInvalidName) + QStringLiteral(" \"") + name + QStringLiteral("\""));
}

void TFrmBroken::reject()
{
    done(ResultOf(TBrokenNameResult::Skip));
}

// --- The worker's question ------------------------------------------------------

TBrokenNameAsker::TBrokenNameAsker(TFrmBroken& dialog)
    : dialog_(dialog),
      relay_(
          [target = &dialog](TBrokenNameRelay::Task task) {
              // Queued to the dialog's thread. The dialog outlives the asker,
              // and the asker the worker.
              QMetaObject::invokeMethod(target, std::move(task), Qt::QueuedConnection);
          },
          [&dialog](const std::string& name) { return dialog.AskBrokenName(name); },
          [&dialog] {
              if (dialog.isVisible())
                  dialog.done(ResultOf(TBrokenNameResult::Skip));
          })
{
}

TBrokenNameAsker::~TBrokenNameAsker() = default;

TBrokenNameAnswer TBrokenNameAsker::Ask(const std::string& brokenName)
{
    return relay_.Ask(brokenName);
}

void TBrokenNameAsker::StartJob()
{
    dialog_.ResetForJob();
    relay_.Reset();
}

void TBrokenNameAsker::Cancel()
{
    relay_.Cancel();
}

void TBrokenNameAsker::Hold()
{
    relay_.Hold();
}

void TBrokenNameAsker::Release()
{
    relay_.Release();
}

} // namespace salvage::ui
