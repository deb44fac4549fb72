#include "salvage/recover/dialogs/uRecoveryReport.h"

#include "salvage/search/SizeText.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uMessageBox.h"

#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QUrl>

namespace salvage::ui {
namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QString Count(std::uint64_t n, const char* one, const char* many)
{
    return n == 1 ? Text(one) : Text(many).arg(n);
}

// A list of names, the first few of them, each with its reason.
constexpr std::size_t kListed = 5;

template <class Items, class Line>
void AppendList(QStringList& lines, const Items& items, Line line)
{
    std::size_t shown = 0;
    for (const auto& item : items) {
        if (shown++ == kListed) {
            lines << QStringLiteral("    ") + Text(text::kReportMore).arg(items.size() - kListed);
            break;
        }
        lines << QStringLiteral("    ") + line(item);
    }
}

// A file below the target folder by its path there; anything else in full.
QString Named(const QString& folder, const std::string& path, const std::string& message)
{
    QString shown = QString::fromStdString(path);
    QString base = QDir::fromNativeSeparators(folder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    if (shown.startsWith(base) && shown.size() > base.size())
        shown = shown.mid(base.size());
    QString line = QDir::toNativeSeparators(shown);
    if (!message.empty())
        line += QStringLiteral(": ") + QString::fromStdString(message);
    return line;
}

} // namespace

QString RecoveryReportText(const TRecoverySummary& summary, const QString& folder, bool stopped)
{
    QStringList lines;
    lines << Text(stopped ? text::kReportStopped : text::kReportFinished);
    lines << Text(text::kReportFolder).arg(QDir::toNativeSeparators(folder));
    lines << QString();
    if (!summary.OpenError.empty())
        lines << QString::fromStdString(summary.OpenError) << QString();

    const std::uint64_t onDisk = summary.FilesOnDisk();
    const QString bytes = QString::fromStdString(
        FormatSize(static_cast<std::int64_t>(summary.BytesWritten), QLocale().decimalPoint().at(0).toLatin1()));
    if (onDisk == 0)
        lines << Text(text::kReportNothingWritten);
    else if (onDisk == 1)
        lines << Text(text::kReportWrittenOne).arg(bytes);
    else
        lines << Text(text::kReportWrittenMany).arg(onDisk).arg(bytes);
    if (summary.FilesRenamed != 0)
        lines << Count(summary.FilesRenamed, text::kReportRenamedOne, text::kReportRenamedMany);
    if (summary.FilesPartial != 0) {
        lines << Count(summary.FilesPartial, text::kReportPartialOne, text::kReportPartialMany);
        AppendList(lines, summary.PartialFiles,
                   [&folder](const TRecoveredFile& f) { return Named(folder, f.Path, f.Message); });
    }
    if (!summary.Failures.empty()) {
        lines << Count(summary.Failures.size(), text::kReportFailedOne, text::kReportFailedMany);
        AppendList(lines, summary.Failures, [&folder](const TRecoveryFailure& f) { return Named(folder, f.Path, f.Message); });
    }
    if (summary.Skipped != 0)
        lines << Count(summary.Skipped, text::kReportSkippedOne, text::kReportSkippedMany);
    return lines.join(QLatin1Char('\r'));
}

void ShowRecoveryReport(QWidget* owner, const TRecoverySummary& summary, const QString& folder, bool stopped)
{
    const bool lost = !summary.OpenError.empty() || !summary.Failures.empty() || summary.FilesPartial != 0;
    const QMessageBox::StandardButton answer =
        ShowMessageBox(owner, RecoveryReportText(summary, folder, stopped),
                       lost ? QMessageBox::Warning : QMessageBox::Information, QMessageBox::Open | QMessageBox::Close,
                       {{QMessageBox::Open, Text(text::kReportOpenFolder)}, {QMessageBox::Close, Text(text::kReportClose)}});
    if (answer == QMessageBox::Open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace salvage::ui
