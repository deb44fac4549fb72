#include "salvage/ui/uMessageBox.h"

#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <mutex>

namespace salvage::ui {
namespace {

std::mutex& AnswererMutex()
{
    static std::mutex m;
    return m;
}

TMessageAnswerer& Answerer()
{
    static TMessageAnswerer answerer;
    return answerer;
}

TMessageAnswerer CurrentAnswerer()
{
    std::lock_guard lock(AnswererMutex());
    return Answerer();
}

// The texts keep the Windows line break of a lone carriage return; a label
// wants line feeds.
QString DisplayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::Icon IconOf(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton Show(const TMessageRequest& request)
{
    if (const TMessageAnswerer answerer = CurrentAnswerer())
        return answerer(request);
    QMessageBox box(request.Icon, request.Title, DisplayText(request.Text), request.Buttons, request.Owner);
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (request.Buttons.testFlag(QMessageBox::Yes))
        box.setDefaultButton(QMessageBox::Yes);
    for (const auto& [button, caption] : request.ButtonTexts)
        if (QAbstractButton* b = box.button(button))
            b->setText(caption);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

TMessageAnswerer SetMessageAnswerer(TMessageAnswerer answerer)
{
    std::lock_guard lock(AnswererMutex());
    std::swap(Answerer(), answerer);
    return answerer;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons)
{
    if (text.isEmpty())
        return QMessageBox::NoButton;
    return Show({owner, QString::fromUtf8(text::kProgramName), text, icon, buttons, {}});
}

QMessageBox::StandardButton ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           const QList<QPair<QMessageBox::StandardButton, QString>>& buttonTexts)
{
    if (text.isEmpty())
        return QMessageBox::NoButton;
    return Show({owner, QString::fromUtf8(text::kProgramName), text, icon, buttons, buttonTexts});
}

void ShowMessageBox(const QString& text)
{
    ShowMessageBox(nullptr, text);
}

void ShowAboutBox(QWidget* owner)
{
    const QString body = QString::fromUtf8(text::kAboutText).arg(QStringLiteral(KESTREL_VERSION));
    const TMessageRequest request{owner, QString::fromUtf8(text::kAboutTitle), body, QMessageBox::NoIcon,
                                  QMessageBox::Ok, {}};
    if (const TMessageAnswerer answerer = CurrentAnswerer()) {
        answerer(request);
        return;
    }
    QMessageBox box(owner);
    box.setWindowTitle(request.Title);
    box.setTextFormat(Qt::RichText);
    box.setText(body);
    box.setIconPixmap(ProgramIcon().pixmap(64, 64));
    box.exec();
}

TEngineMessages::TEngineMessages(QWidget* owner)
{
    QPointer<QWidget> target(owner);
    previous_ = SetMessageHook([target](const std::string& message, MessageIcon icon) {
        const QString text = QString::fromStdString(message);
        const QMessageBox::Icon qtIcon = IconOf(icon);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        // Workers report from their own thread: the box opens on the main
        // thread, and the worker does not wait for it.
        auto show = [target, text, qtIcon] { ShowMessageBox(target.data(), text, qtIcon); };
        if (QThread::currentThread() == app->thread())
            show();
        else
            QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
    });
}

TEngineMessages::~TEngineMessages()
{
    SetMessageHook(std::move(previous_));
}

} // namespace salvage::ui
