#include "basekit/MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

CVMessageHook& Hook()
{
    static CVMessageHook hook;
    return hook;
}

QMessageBox::Icon BoxIcon(CVIcon icon)
{
    switch (icon) {
    case CVIcon::Question:
        return QMessageBox::Question;
    case CVIcon::Information:
        return QMessageBox::Information;
    case CVIcon::Warning:
        return QMessageBox::Warning;
    case CVIcon::Error:
        return QMessageBox::Critical;
    case CVIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void SetMessageBoxHook(CVMessageHook hook)
{
    Hook() = std::move(hook);
}

CVAnswer CVMessageBox(QWidget* parent, const QString& text, CVIcon icon, CVButtons buttons)
{
    CVMessage message;
    message.text = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    message.title = QGuiApplication::applicationDisplayName();
    message.icon = icon;
    message.buttons = buttons;
    if (Hook())
        return Hook()(message);

    QMessageBox box(BoxIcon(icon), message.title, message.text,
                    buttons == CVButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    if (buttons == CVButtons::YesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int result = box.exec();
    if (buttons == CVButtons::Ok)
        return CVAnswer::Ok;
    return result == QMessageBox::Yes ? CVAnswer::Yes : CVAnswer::No;
}
