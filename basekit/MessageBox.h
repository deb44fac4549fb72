#pragma once
// The message boxes of the suite's dialog programs, behind one seam so that
// tests answer them without a window.

#include <QString>

#include <functional>

class QWidget;

enum class CVIcon { None, Question, Information, Warning, Error };
enum class CVButtons { Ok, YesNo };
enum class CVAnswer { Ok, Yes, No };

struct CVMessage {
    QString text;    // as shown: a "\r\n" of the program's texts is one line break
    QString title;
    CVIcon icon = CVIcon::None;
    CVButtons buttons = CVButtons::Ok;
};

// Shows a modal message box over parent, titled with the application's
// display name, and returns the answer. Escape or closing the box answers
// No (Yes/No) or Ok.
CVAnswer CVMessageBox(QWidget* parent, const QString& text, CVIcon icon, CVButtons buttons = CVButtons::Ok);

// Tests: every message box goes to hook instead (an empty function restores
// the real boxes).
using CVMessageHook = std::function<CVAnswer(const CVMessage&)>;
void SetMessageBoxHook(CVMessageHook hook);
