#include "basekit/DlgVireoAbout.h"

#include "basekit/HoverButton2.h"
#include "basekit/Web.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "2.0.0"
#endif

CDlgVireoAbout::CDlgVireoAbout(QWidget* parent, bool showWebsite) : CDlgMainWnd(parent)
{
    setWindowTitle(QStringLiteral("About Kestrel"));
    SetCaptionText(QStringLiteral("About Kestrel"));
    resize(420, 260);
    PlaceCaptionButtons(QPoint(372, 4), QPoint(392, 4), QSize(18, 18));
    MinimiseButton()->hide();

    auto* name = new QLabel(QStringLiteral("<b>Kestrel</b> suite, version %1").arg(QLatin1String(KESTREL_VERSION)), this);
    name->setGeometry(24, 90, 372, 22);
    auto* notice = new QLabel(
        QStringLiteral("Tools that look after your computer: recovery of deleted files, clean-up, "
                       "tuning and privacy. Kestrel never writes to a disk it recovers from."),
        this);
    notice->setWordWrap(true);
    notice->setGeometry(24, 118, 372, 54);
    if (showWebsite) {
        auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(kKestrelWebsite)), this);
        link->setObjectName(QStringLiteral("websiteLink"));
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(link, &QLabel::linkActivated, this, [] { CVStartWebsite(); });
        link->setGeometry(24, 180, 300, 20);
    }
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(316, 218, 80, 26);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}
