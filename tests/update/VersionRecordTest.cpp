// The version record's bytes, the rules that compare two records, and the
// OLE dates they carry.
#include "kestrelupdate/OleDate.h"
#include "kestrelupdate/UpdateStrings.h"
#include "kestrelupdate/VersionRecord.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <fstream>
#include <limits>
#include <vector>

using namespace kestrelupdate;

Q_DECLARE_METATYPE(kestrelupdate::VersionRecord)

namespace {

VersionRecord Record(std::uint32_t a, std::uint32_t b, std::uint32_t c, double date,
                     DateStatus status = DateStatus::Valid)
{
    return {a, b, c, status, date};
}

void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

class VersionRecordTest : public QObject {
    Q_OBJECT

private slots:
    void layoutIsLittleEndianFieldsInOrder()
    {
        // 2.1.7, valid, 2024-03-01 12:00 (45352.5 = 0x40E6251000000000)
        const std::vector<std::uint8_t> bytes = {
            0x02, 0, 0, 0,  0x01, 0, 0, 0,  0x07, 0, 0, 0,  0x00, 0, 0, 0,
            0x00, 0x00, 0x00, 0x00, 0x10, 0x25, 0xE6, 0x40};
        const auto record = ParseVersionRecord(bytes);
        QVERIFY(record);
        QCOMPARE(record->first, 2u);
        QCOMPARE(record->second, 1u);
        QCOMPARE(record->third, 7u);
        QCOMPARE(record->dateStatus, DateStatus::Valid);
        QCOMPARE(record->date, 45352.5);
        const auto again = SerializeVersionRecord(*record);
        QVERIFY(std::equal(again.begin(), again.end(), bytes.begin()));

        const std::vector<std::uint8_t> statusNull = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        QCOMPARE(ParseVersionRecord(statusNull)->dateStatus, DateStatus::Null);
        QVERIFY(!ParseVersionRecord(std::span(bytes).first(23)));
    }

    void loadKeepsTheRecordWhenTheFileIsMissingOrShort()
    {
        QTemporaryDir dir;
        const VersionRecord start = Record(9, 9, 9, 100.0);
        VersionRecord record = start;
        QVERIFY(!LoadVersionFile(dir.filePath("absent.zip").toStdString(), record));
        QVERIFY(Equal(record, start));

        const auto full = SerializeVersionRecord(Record(3, 4, 5, 45000.25));
        WriteBytes(dir.filePath("short.zip"), {full.begin(), full.begin() + 23});
        QVERIFY(!LoadVersionFile(dir.filePath("short.zip").toStdString(), record));
        QVERIFY(Equal(record, start));

        // Bytes after the record are not read.
        std::vector<std::uint8_t> longer(full.begin(), full.end());
        longer.insert(longer.end(), {0xFF, 0xFF, 0xFF});
        WriteBytes(dir.filePath("long.zip"), longer);
        QVERIFY(LoadVersionFile(dir.filePath("long.zip").toStdString(), record));
        QVERIFY(Equal(record, Record(3, 4, 5, 45000.25)));

        QVERIFY(SaveVersionFile(dir.filePath("saved.zip").toStdString(), Record(1, 2, 3, 7.5)));
        QVERIFY(LoadVersionFile(dir.filePath("saved.zip").toStdString(), record));
        QVERIFY(Equal(record, Record(1, 2, 3, 7.5)));
    }

    void decision_data()
    {
        QTest::addColumn<VersionRecord>("downloaded");
        QTest::addColumn<VersionRecord>("installed");
        QTest::addColumn<bool>("older");
        QTest::addColumn<bool>("equal");

        // The cases a user meets are checked over the wire (UpdateCheckTest);
        // these are the rules' corners.
        const double day = 45000.5;
        const VersionRecord installed = Record(2, 5, 3, day);
        QTest::newRow("all lower, earlier day") << Record(1, 4, 2, day - 1) << installed << true << false;
        QTest::newRow("all lower, same day after rounding up") << Record(1, 4, 2, day - 0.4) << installed << false << false;
        QTest::newRow("all lower, later day") << Record(1, 4, 2, day + 3) << installed << false << false;
        QTest::newRow("two lower, one equal") << Record(1, 4, 3, day - 10) << installed << false << false;
        QTest::newRow("all lower, downloaded date invalid")
            << Record(1, 4, 2, day - 10, DateStatus::Invalid) << installed << false << false;
        QTest::newRow("both null dates") << Record(2, 5, 3, 1.0, DateStatus::Null) << Record(2, 5, 3, 9.0, DateStatus::Null)
                                         << false << true;
        QTest::newRow("two invalid dates never equal")
            << Record(2, 5, 3, day, DateStatus::Invalid) << Record(2, 5, 3, day, DateStatus::Invalid) << false << false;
        QTest::newRow("null against valid") << Record(2, 5, 3, day, DateStatus::Null) << installed << false << false;
        QTest::newRow("unknown status from a file")
            << Record(2, 5, 3, day, static_cast<DateStatus>(7)) << Record(2, 5, 3, day, static_cast<DateStatus>(7))
            << false << false;
        QTest::newRow("NaN date") << Record(2, 5, 3, std::numeric_limits<double>::quiet_NaN()) << installed << false
                                  << false;
    }

    void decision()
    {
        QFETCH(VersionRecord, downloaded);
        QFETCH(VersionRecord, installed);
        QFETCH(bool, older);
        QFETCH(bool, equal);
        QCOMPARE(Older(downloaded, installed), older);
        QCOMPARE(Equal(downloaded, installed), equal);
        QCOMPARE(IsNewer(downloaded, installed), !older && !equal);
    }

    void oleDatesMatchTheCalendar()
    {
        QCOMPARE(ToOleDate(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
        QCOMPARE(ToOleDate(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
        QCOMPARE(ToOleDate(QDateTime(QDate(2024, 3, 1), QTime(12, 0))), 45352.5);
        QCOMPARE(ToOleDate(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);

        QCOMPARE(*FromOleDate(45352.5), QDateTime(QDate(2024, 3, 1), QTime(12, 0)));
        QCOMPARE(*FromOleDate(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        // A fraction that rounds to midnight belongs to the next day.
        QCOMPARE(*FromOleDate(10.9999999999), QDateTime(QDate(1900, 1, 10), QTime(0, 0)));
        QVERIFY(FromOleDate(2958465.5));  // 9999-12-31
        QVERIFY(!FromOleDate(2958466.0));
        QVERIFY(!FromOleDate(-657435.0));
        QVERIFY(!FromOleDate(std::numeric_limits<double>::infinity()));

        QCOMPARE(OleDay(45352.0), 45352.0);
        QCOMPARE(OleDay(45352.01), 45353.0);
    }

    void recordDatesForTheWindow()
    {
        QCOMPARE(FormatRecordDate(DateStatus::Null, 45352.5), QString());
        QCOMPARE(FormatRecordDate(DateStatus::Invalid, 45352.5), QString::fromUtf8(text::kInvalidDateTime));
        QCOMPARE(FormatRecordDate(DateStatus::Valid, 1e300), QString::fromUtf8(text::kInvalidDateTime));
        QCOMPARE(FormatRecordDate(DateStatus::Valid, std::numeric_limits<double>::quiet_NaN()),
                 QString::fromUtf8(text::kInvalidDateTime));
        const QString shown = FormatRecordDate(DateStatus::Valid, 45352.5);
        QVERIFY2(shown.contains(QLocale().toString(QDate(2024, 3, 1), QLocale::ShortFormat)), qPrintable(shown));
        QCOMPARE(FormatRecordDate(DateStatus::Valid, 45352.0), QLocale().toString(QDate(2024, 3, 1), QLocale::ShortFormat));
    }
};

QTEST_GUILESS_MAIN(VersionRecordTest)
#include "VersionRecordTest.moc"
