#include "columns.h"
#include "testsupport.h"

#include <QTest>

// Stored timestamps read back exactly as the general ISO parser reads them.
class TestColumns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void timestampsReadLikeIsoParser_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("written-form") << QStringLiteral("2024-05-01T09:30:00.123Z");
        QTest::newRow("leap-day") << QStringLiteral("2024-02-29T23:59:59.999Z");
        QTest::newRow("not-a-leap-year") << QStringLiteral("2023-02-29T10:00:00.000Z");
        QTest::newRow("month-13") << QStringLiteral("2024-13-01T10:00:00.000Z");
        QTest::newRow("hour-24") << QStringLiteral("2024-05-01T24:00:00.000Z");
        QTest::newRow("second-60") << QStringLiteral("2024-05-01T10:00:60.000Z");
        QTest::newRow("offset-instead-of-z") << QStringLiteral("2024-05-01T09:30:00.123+02:00");
        QTest::newRow("no-milliseconds") << QStringLiteral("2024-05-01T09:30:00Z");
        QTest::newRow("space-separator") << QStringLiteral("2024-05-01 09:30:00.123Z");
        QTest::newRow("letters-in-digits") << QStringLiteral("2024-0a-01T09:30:00.123Z");
        QTest::newRow("full-width-digits") << QStringLiteral("２０２４-05-01T09:30:00.123Z");
        QTest::newRow("empty") << QString();
        QTest::newRow("junk-of-same-length") << QStringLiteral("xxxxxxxxxxxxxxxxxxxxxxxx");
    }

    void timestampsReadLikeIsoParser()
    {
        QFETCH(QString, text);
        const QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
        const QDateTime actual = Columns::toDateTime(text);
        QCOMPARE(actual.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(actual, expected);
            QCOMPARE(actual.timeSpec(), Qt::UTC);
        }
        if (!text.isEmpty())
            QCOMPARE(Columns::toOptionalDateTime(text)->isValid(), expected.isValid());
    }

    void writtenFormRoundTrips()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QCOMPARE(Columns::toDateTime(Columns::fromDateTime(now)), now);
    }
};

QTEST_GUILESS_MAIN(TestColumns)
#include "tst_columns.moc"
