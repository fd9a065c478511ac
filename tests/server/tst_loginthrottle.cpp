#include "loginthrottle.h"
#include "testsupport.h"

#include <QTest>

using namespace OmbrServer;

namespace {
constexpr qint64 kStart = 1000000000;
const QString kAccount = QStringLiteral("ada@example.com");
const QString kAddress = QStringLiteral("127.0.0.1");
} // namespace

class TestLoginThrottle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void delayAfterFailures_data();
    void delayAfterFailures();
    void successClearsTheAccountButNotTheAddress();
    void oneAddressGuessingManyAccountsIsSlowed();
    void quietHourForgetsFailures();
};

void TestLoginThrottle::delayAfterFailures_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<qint64>("expectedDelayMs");
    QTest::newRow("first-attempt") << 0 << qint64(0) << qint64(0);
    QTest::newRow("fifth-failure-waits-one-second") << 5 << qint64(0) << qint64(1000);
    QTest::newRow("part-of-the-wait-passed") << 5 << qint64(400) << qint64(600);
    QTest::newRow("wait-over") << 5 << qint64(1000) << qint64(0);
    QTest::newRow("tenth-failure") << 10 << qint64(0) << qint64(32000);
}

void TestLoginThrottle::delayAfterFailures()
{
    QFETCH(int, failures);
    QFETCH(qint64, elapsedMs);
    QFETCH(qint64, expectedDelayMs);
    LoginThrottle throttle;
    for (int i = 0; i < failures; ++i)
        throttle.recordFailure(kAccount, kAddress, kStart);
    QCOMPARE(throttle.delayFor(kAccount, kAddress, kStart + elapsedMs), expectedDelayMs);
    // Another account from another address is not affected.
    QCOMPARE(throttle.delayFor(QStringLiteral("bob@example.com"), QStringLiteral("10.0.0.2"), kStart), qint64(0));
}

void TestLoginThrottle::successClearsTheAccountButNotTheAddress()
{
    LoginThrottle throttle;
    for (int i = 0; i < LoginThrottle::kFreeAddressFailures; ++i)
        throttle.recordFailure(kAccount, kAddress, kStart);
    throttle.recordSuccess(kAccount);
    QCOMPARE(throttle.delayFor(kAccount, QStringLiteral("10.0.0.9"), kStart), qint64(0));
    QVERIFY(throttle.delayFor(kAccount, kAddress, kStart) > 0);
}

void TestLoginThrottle::oneAddressGuessingManyAccountsIsSlowed()
{
    LoginThrottle throttle;
    for (int i = 0; i < LoginThrottle::kFreeAddressFailures; ++i)
        throttle.recordFailure(QStringLiteral("user%1@example.com").arg(i), kAddress, kStart);
    QVERIFY(throttle.delayFor(QStringLiteral("fresh@example.com"), kAddress, kStart) > 0);
    QCOMPARE(throttle.delayFor(QStringLiteral("fresh@example.com"), QStringLiteral("10.0.0.9"), kStart), qint64(0));
}

void TestLoginThrottle::quietHourForgetsFailures()
{
    LoginThrottle throttle;
    for (int i = 0; i < 12; ++i)
        throttle.recordFailure(kAccount, kAddress, kStart);
    const qint64 later = kStart + LoginThrottle::kForgetAfterMs;
    QCOMPARE(throttle.delayFor(kAccount, kAddress, later), qint64(0));
    // Counting starts over: one new failure does not bring back the old delay.
    throttle.recordFailure(kAccount, kAddress, later);
    QCOMPARE(throttle.delayFor(kAccount, kAddress, later), qint64(0));
}

QTEST_GUILESS_MAIN(TestLoginThrottle)
#include "tst_loginthrottle.moc"
