#include "salvage/ui/uHelp.h"

#include "salvage/ui/Strings.h"
#include "salvage/ui/uMessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace salvage::ui {

QString HelpFolder()
{
    const QString program = QCoreApplication::applicationDirPath();
    QStringList candidates;
    if (const QString chosen = qEnvironmentVariable("KESTREL_HELP_DIR"); !chosen.isEmpty())
        candidates << chosen;
    // Beside the program, then the install tree seen from bin/ and from the
    // suite folder libexec/kestrel/.
    candidates << program + QStringLiteral("/help") << program + QStringLiteral("/../share/doc/kestrel/help")
               << program + QStringLiteral("/../../share/doc/kestrel/help");
#if defined(KESTREL_BUILD_HELP_DIR)
    candidates << QStringLiteral(KESTREL_BUILD_HELP_DIR);
#endif
    for (const QString& folder : candidates)
        if (QFileInfo::exists(folder + QStringLiteral("/index.html")))
            return QDir::cleanPath(folder);
    return {};
}

void OpenHelp(QWidget* owner, const QString& page)
{
    const QString folder = HelpFolder();
    if (folder.isEmpty()) {
        ShowMessageBox(owner, QString::fromUtf8(text::kHelpMissing), QMessageBox::Warning);
        return;
    }
    const QString file = page.section(QLatin1Char('#'), 0, 0);
    const QString fragment = page.section(QLatin1Char('#'), 1);
    QUrl url = QUrl::fromLocalFile(folder + QLatin1Char('/') + file);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    QDesktopServices::openUrl(url);
}

} // namespace salvage::ui
