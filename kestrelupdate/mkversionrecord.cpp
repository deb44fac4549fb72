// Writes a version record: the installed "version.zip" of a build, or the
// file an update server serves.
//   mkversionrecord OUT FIRST SECOND THIRD DATE
// DATE is a local date and time in ISO 8601 ("2026-12-01" or
// "2026-12-01T09:30:00").
#include "kestrelupdate/OleDate.h"
#include "kestrelupdate/VersionRecord.h"

#include <QDateTime>
#include <QString>

#include <cstdio>
#include <limits>

namespace {

bool ParseNumber(const char* text, std::uint32_t& out)
{
    bool ok = false;
    const qulonglong value = QString::fromUtf8(text).toULongLong(&ok);
    if (!ok || value > std::numeric_limits<std::uint32_t>::max())
        return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kestrelupdate;
    if (argc != 6) {
        std::fprintf(stderr, "usage: mkversionrecord OUT FIRST SECOND THIRD DATE\n");
        return 2;
    }
    VersionRecord record;
    if (!ParseNumber(argv[2], record.first) || !ParseNumber(argv[3], record.second) ||
        !ParseNumber(argv[4], record.third)) {
        std::fprintf(stderr, "mkversionrecord: the version numbers must be whole numbers below 2^32\n");
        return 2;
    }
    QDateTime date = QDateTime::fromString(QString::fromUtf8(argv[5]), Qt::ISODate);
    if (!date.isValid())
        date = QDateTime(QDate::fromString(QString::fromUtf8(argv[5]), Qt::ISODate), QTime(0, 0));
    if (!date.isValid()) {
        std::fprintf(stderr, "mkversionrecord: \"%s\" is not an ISO 8601 date\n", argv[5]);
        return 2;
    }
    record.date = ToOleDate(date);
    if (!SaveVersionFile(argv[1], record)) {
        std::fprintf(stderr, "mkversionrecord: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
