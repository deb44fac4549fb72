#include "salvage/ui/uInstallCheck.h"

#include "salvage/ui/uAdminRestart.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uHelp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <vector>

namespace salvage::ui {

namespace {

// The local files a page links to (href and src), relative to its folder.
QStringList LocalLinks(const QString& page)
{
    QFile file(page);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString html = QString::fromUtf8(file.readAll());
    static const QRegularExpression link(QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"));
    QStringList links;
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QUrl url(it.next().captured(1));
        if (!url.scheme().isEmpty() || url.path().isEmpty())
            continue;  // another site, mail, or a place in the same page
        links << url.path();
    }
    return links;
}

bool CheckHelp(QTextStream& out)
{
    const QString folder = HelpFolder();
    if (folder.isEmpty()) {
        out << "help: missing\n";
        return false;
    }
    out << "help: " << folder << '\n';
    // Every page reachable from the index, each read once.
    const QDir dir(folder);
    QStringList queue{QStringLiteral("index.html")};
    QSet<QString> seen(queue.begin(), queue.end());
    bool whole = true;
    while (!queue.isEmpty()) {
        const QString page = queue.takeFirst();
        for (const QString& target : LocalLinks(dir.filePath(page))) {
            const QString path = QDir::cleanPath(QFileInfo(dir.filePath(page)).dir().filePath(target));
            const QString name = dir.relativeFilePath(path);
            if (seen.contains(name))
                continue;
            seen.insert(name);
            if (!QFileInfo(path).isFile()) {
                out << "help: " << page << " links to the missing " << target << '\n';
                whole = false;
            } else if (name.endsWith(QStringLiteral(".html"))) {
                queue << name;
            }
        }
    }
    out << "help: " << seen.size() << " files linked from index.html\n";
    return whole;
}

bool CheckPictures(QTextStream& out)
{
    std::vector<const QIcon*> icons;
    for (int i = 0; i < kFileImageCount; ++i)
        icons.push_back(&FileImage(i));
    for (int i = 1; i <= 3; ++i)
        icons.push_back(&DriveImage(i));
    for (TToolImage tool : {TToolImage::Wizard, TToolImage::Analyze, TToolImage::Recover, TToolImage::Stop,
                            TToolImage::Find, TToolImage::Filter, TToolImage::Help, TToolImage::OpenImage})
        icons.push_back(&ToolImage(tool));
    icons.push_back(&ProgramIcon());
    int missing = 0;
    for (const QIcon* icon : icons)
        if (icon->pixmap(16, 16).isNull() || icon->pixmap(64, 64).isNull())
            ++missing;
    out << "pictures: " << icons.size() - static_cast<std::size_t>(missing) << " of " << icons.size() << '\n';
    return missing == 0;
}

bool CheckPolicy(QTextStream& out)
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString folder =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/polkit-1/actions"));
    const QString policy = QDir(folder).filePath(QLatin1String(kAdminPolicyFile));
    if (!PolicyNamesProgram(policy, program)) {
        out << "policy: " << policy << " does not name " << program << '\n';
        return false;
    }
    out << "policy: pkexec "
        << AdminRestartArguments(program, {}, QProcessEnvironment(), folder).join(QLatin1Char(' ')) << '\n';
    return true;
}

} // namespace

bool CheckInstall(QTextStream& out)
{
    const bool help = CheckHelp(out);
    const bool pictures = CheckPictures(out);
    const bool policy = CheckPolicy(out);
    return help && pictures && policy;
}

} // namespace salvage::ui
