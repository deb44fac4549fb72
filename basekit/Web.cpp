#include "basekit/Web.h"

#include <QDesktopServices>

namespace {

CVUrlOpener& Opener()
{
    static CVUrlOpener opener;
    return opener;
}

} // namespace

void SetUrlOpener(CVUrlOpener opener)
{
    Opener() = std::move(opener);
}

bool CVOpenUrl(const QUrl& url)
{
    if (Opener())
        return Opener()(url);
    return QDesktopServices::openUrl(url);
}

bool CVStartWebsite()
{
    return CVOpenUrl(QUrl(QString::fromLatin1(kKestrelWebsite)));
}

bool CVOnlinehelpandsupport()
{
    return CVOpenUrl(QUrl(QString::fromLatin1(kKestrelSupport)));
}
