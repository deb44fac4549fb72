#pragma once
// The program's message box: every message of the desktop program is shown
// here, titled "Razuzuda Rezer" and kept on top of other windows. Tests
// answer the boxes through SetMessageAnswerer instead of a person.

#include "salvage/disk/Messages.h"

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace salvage::ui {

struct TMessageRequest {
    QWidget* Owner = nullptr;
    QString Title;
    QString Text;  // as the caller gave it (lines may end with "\r")
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    // Captions that replace the standard ones of some buttons.
    QList<QPair<QMessageBox::StandardButton, QString>> ButtonTexts;
};

using TMessageAnswerer = std::function<QMessageBox::StandardButton(const TMessageRequest&)>;

// Installs an answerer (an empty one restores the real boxes); returns the previous one.
TMessageAnswerer SetMessageAnswerer(TMessageAnswerer answerer);

// Shows the box and returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text,
                                           QMessageBox::Icon icon = QMessageBox::NoIcon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The same with captions of its own for some of the buttons.
QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts);

// A plain notice: no owner, one OK button.
void ShowMessageBox(const QString& text);

// The about box, with the program's name and version.
void ShowAboutBox(QWidget* owner);

// Routes the engine's messages (salvage::ShowMessageBox, which workers may
// call on their own thread) to message boxes on the thread of `context`.
// Destroying the object restores the previous route.
class TEngineMessages {
public:
    explicit TEngineMessages(QWidget* owner);
    TEngineMessages(const TEngineMessages&) = delete;
    TEngineMessages& operator=(const TEngineMessages&) = delete;
    ~TEngineMessages();

private:
    MessageHook previous_;
};

} // namespace salvage::ui
