#include "passwordhash.h"
#include "secrets.h"
#include "testsupport.h"

#include <QPasswordDigestor>
#include <QTest>

using namespace OmbrServer;

class TestPasswordHash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void defaultHashIsSlowAndSalted();
    void hashIsStandardPbkdf2Sha256();
    void verifyRejectsStoredTextItDidNotWrite_data();
    void verifyRejectsStoredTextItDidNotWrite();
};

void TestPasswordHash::defaultHashIsSlowAndSalted()
{
    const QString first = PasswordHash::create(QStringLiteral("correct horse"));
    const QString second = PasswordHash::create(QStringLiteral("correct horse"));
    QVERIFY(first.startsWith(QLatin1String("pbkdf2_sha256$")));
    QVERIFY(first.section(QLatin1Char('$'), 1, 1).toInt() >= 600000);
    QVERIFY2(first != second, "two hashes of one password must differ by their salt");
    QVERIFY(PasswordHash::verify(QStringLiteral("correct horse"), first));
    QVERIFY(!PasswordHash::verify(QStringLiteral("correct horse "), first));
}

void TestPasswordHash::hashIsStandardPbkdf2Sha256()
{
    // Any PBKDF2 implementation must be able to check what we store.
    const QString stored = PasswordHash::create(QStringLiteral("pässwörd"), 1000);
    const QStringList parts = stored.split(QLatin1Char('$'));
    QCOMPARE(parts.size(), 4);
    QByteArray salt;
    QByteArray key;
    QVERIFY(base64UrlDecode(parts.at(2).toLatin1(), &salt));
    QVERIFY(base64UrlDecode(parts.at(3).toLatin1(), &key));
    QCOMPARE(key, QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, QStringLiteral("pässwörd").toUtf8(),
                                                     salt, 1000, 32));
}

void TestPasswordHash::verifyRejectsStoredTextItDidNotWrite_data()
{
    QTest::addColumn<QString>("stored");
    const QString valid = PasswordHash::create(QStringLiteral("pw"), 1000);
    const QStringList parts = valid.split(QLatin1Char('$'));
    QTest::newRow("empty") << QString();
    QTest::newRow("other-scheme") << QStringList{QStringLiteral("argon2id"), parts[1], parts[2], parts[3]}.join(u'$');
    QTest::newRow("zero-iterations") << QStringList{parts[0], QStringLiteral("0"), parts[2], parts[3]}.join(u'$');
    QTest::newRow("absurd-iterations") << QStringList{parts[0], QStringLiteral("2000000000"), parts[2], parts[3]}.join(u'$');
    QTest::newRow("empty-salt") << QStringList{parts[0], parts[1], QString(), parts[3]}.join(u'$');
    QTest::newRow("short-key") << QStringList{parts[0], parts[1], parts[2], parts[3].left(10)}.join(u'$');
}

void TestPasswordHash::verifyRejectsStoredTextItDidNotWrite()
{
    QFETCH(QString, stored);
    QVERIFY(!PasswordHash::verify(QStringLiteral("pw"), stored));
}

QTEST_GUILESS_MAIN(TestPasswordHash)
#include "tst_passwordhash.moc"
