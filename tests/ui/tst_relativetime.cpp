#include "relativetime.h"
#include "testsupport.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

class TestRelativeTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void thresholds_data();
    void thresholds();
    void invalidTimeIsEmpty();
    void utcTimesCompareAsLocal();

private:
    QLocale m_previousLocale;
};

namespace {

// Mid-June: clear of daylight-saving changes in the zones tests run in.
QDateTime local(int year, int month, int day, int hour, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

const QDateTime Noon = local(2024, 6, 20, 12); // a Thursday

} // namespace

void TestRelativeTime::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    m_previousLocale = QLocale();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestRelativeTime::cleanupTestCase()
{
    QLocale::setDefault(m_previousLocale);
}

void TestRelativeTime::thresholds_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");

    QTest::newRow("same-instant") << Noon << Noon << "just now";
    QTest::newRow("59-seconds") << Noon.addSecs(-59) << Noon << "just now";
    QTest::newRow("60-seconds") << Noon.addSecs(-60) << Noon << "1m ago";
    QTest::newRow("3599-seconds") << Noon.addSecs(-3599) << Noon << "59m ago";
    QTest::newRow("3600-seconds") << Noon.addSecs(-3600) << Noon << "1h ago";
    QTest::newRow("86399-seconds") << Noon.addSecs(-86399) << Noon << "23h ago";
    QTest::newRow("86400-seconds-previous-day") << Noon.addSecs(-86400) << Noon << "Yesterday";
    QTest::newRow("30-hours-previous-day") << Noon.addSecs(-30 * 3600) << Noon << "Yesterday";
    // 25 hours back but two calendar days: not "Yesterday".
    QTest::newRow("25-hours-two-days-back") << local(2024, 6, 18, 23, 30) << local(2024, 6, 20, 0, 30)
                                            << "Tuesday";
    QTest::newRow("late-yesterday-under-a-day") << local(2024, 6, 19, 23, 0) << local(2024, 6, 20, 0, 30)
                                                << "1h ago";
    QTest::newRow("3-days") << Noon.addDays(-3) << Noon << "Monday";
    QTest::newRow("6-days") << Noon.addDays(-6) << Noon << "Friday";
    QTest::newRow("exactly-7-days") << Noon.addDays(-7) << Noon << "Jun 13";
    QTest::newRow("7-days-early-morning") << local(2024, 6, 13, 0, 1) << Noon << "Jun 13";
    QTest::newRow("last-year") << local(2023, 12, 1, 9) << Noon << "Dec 1, 2023";
    QTest::newRow("future-this-year") << local(2024, 8, 1, 9) << Noon << "Aug 1";
    QTest::newRow("future-one-second") << Noon.addSecs(1) << Noon << "Jun 20";
    QTest::newRow("future-another-year") << local(2025, 1, 5, 9) << Noon << "Jan 5, 2025";
}

void TestRelativeTime::thresholds()
{
    QFETCH(QDateTime, time);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    QCOMPARE(formatRelativeTime(time, now), expected);
}

void TestRelativeTime::invalidTimeIsEmpty()
{
    QCOMPARE(formatRelativeTime(QDateTime()), QString());
    QCOMPARE(formatRelativeTime(QDateTime(), Noon), QString());
    QCOMPARE(formatRelativeTime(QDateTime::currentDateTime()), QStringLiteral("just now"));
}

void TestRelativeTime::utcTimesCompareAsLocal()
{
    // Stored times are UTC; the age must not shift by the zone offset.
    const QDateTime now = QDateTime::currentDateTime();
    QCOMPARE(formatRelativeTime(now.toUTC().addSecs(-125), now), QStringLiteral("2m ago"));
    QCOMPARE(formatRelativeTime(now.toUTC().addSecs(-7200), now.toUTC()), QStringLiteral("2h ago"));
}

QTEST_MAIN(TestRelativeTime)
#include "tst_relativetime.moc"
