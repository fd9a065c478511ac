#include "serverdatabase.h"
#include "sessionstore.h"
#include "testsupport.h"
#include "userstore.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace OmbrServer;

namespace {
QString isoIn(qint64 seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(seconds).toString(Qt::ISODateWithMs);
}
} // namespace

class TestSessionStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init();
    void cleanup();
    void refreshTokenIsUsableOnce();
    void endedSessionsAreNotActive_data();
    void endedSessionsAreNotActive();
    void purgeForgetsEndedSessionsAndOldTokens();
    void revokeAllExceptKeepsOnlyTheNamedSession();

private:
    QString newSession(const QString &tokenHash, const QString &expiresAt = isoIn(3600));

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerDatabase> m_database;
    std::unique_ptr<SessionStore> m_sessions;
    QString m_userId = QStringLiteral("user-1");
};

void TestSessionStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_database = std::make_unique<ServerDatabase>();
    QString error;
    QVERIFY2(m_database->open(m_dir->filePath(QStringLiteral("server.db")), &error), qPrintable(error));
    UserRecord user;
    user.id = m_userId;
    user.email = QStringLiteral("ada@example.com");
    user.passwordHash = QStringLiteral("x");
    user.createdAt = ServerDatabase::isoNow();
    UserStore users(*m_database);
    QCOMPARE(int(users.create(user)), int(UserStore::CreateResult::Created));
    QCOMPARE(int(users.create(user)), int(UserStore::CreateResult::Exists));
    m_sessions = std::make_unique<SessionStore>(*m_database);
}

void TestSessionStore::cleanup()
{
    m_sessions.reset();
    m_database.reset();
    m_dir.reset();
}

QString TestSessionStore::newSession(const QString &tokenHash, const QString &expiresAt)
{
    const auto session = m_sessions->create(m_userId, QStringLiteral("agent"), QStringLiteral("127.0.0.1"), tokenHash,
                                            expiresAt);
    return session ? session->id : QString();
}

void TestSessionStore::refreshTokenIsUsableOnce()
{
    const QString id = newSession(QStringLiteral("h1"));
    QVERIFY(!id.isEmpty());
    const QString later = isoIn(7200);
    const auto first = m_sessions->rotate(QStringLiteral("h1"), QStringLiteral("h2"), later);
    QCOMPARE(int(first.status), int(SessionStore::RotateStatus::Rotated));
    QCOMPARE(first.session.id, id);
    QCOMPARE(m_sessions->activeSessions(m_userId).value(0).expiresAt, later);

    QCOMPARE(int(m_sessions->rotate(QStringLiteral("h1"), QStringLiteral("h3"), isoIn(7200)).status),
             int(SessionStore::RotateStatus::Reused));
    QVERIFY(!m_sessions->activeSession(id, m_userId));
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("h2"), QStringLiteral("h4"), isoIn(7200)).status),
             int(SessionStore::RotateStatus::Inactive));
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("never"), QStringLiteral("h5"), isoIn(7200)).status),
             int(SessionStore::RotateStatus::Unknown));
}

void TestSessionStore::endedSessionsAreNotActive_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("expired") << QStringLiteral("expired");
    QTest::newRow("revoked") << QStringLiteral("revoked");
    QTest::newRow("revoked-by-refresh-token") << QStringLiteral("logout");
    QTest::newRow("other-user-asks") << QStringLiteral("other-user");
}

void TestSessionStore::endedSessionsAreNotActive()
{
    QFETCH(QString, how);
    const QString live = newSession(QStringLiteral("live"));
    const QString id = newSession(QStringLiteral("h"), how == QLatin1String("expired") ? isoIn(-1) : isoIn(3600));
    QString user = m_userId;
    if (how == QLatin1String("revoked"))
        QVERIFY(m_sessions->revoke(id, m_userId));
    else if (how == QLatin1String("logout"))
        QVERIFY(m_sessions->revokeByRefreshToken(QStringLiteral("h")));
    else if (how == QLatin1String("other-user"))
        user = QStringLiteral("user-2");
    QVERIFY(!m_sessions->activeSession(id, user));
    QVERIFY(m_sessions->activeSession(live, m_userId));
    if (how != QLatin1String("other-user")) {
        const QList<SessionRecord> active = m_sessions->activeSessions(m_userId);
        QCOMPARE(active.size(), 1);
        QCOMPARE(active.first().id, live);
    }
}

void TestSessionStore::purgeForgetsEndedSessionsAndOldTokens()
{
    const QString ended = newSession(QStringLiteral("e1"));
    QVERIFY(m_sessions->revoke(ended, m_userId));
    const QString live = newSession(QStringLiteral("l1"));
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("l1"), QStringLiteral("l2"), isoIn(3600)).status),
             int(SessionStore::RotateStatus::Rotated));

    QVERIFY(m_sessions->purge(isoIn(60), isoIn(60)));
    QSqlQuery query(m_database->connection());
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM sessions WHERE id = '%1'").arg(ended)) && query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    QVERIFY(query.exec(QStringLiteral("SELECT token_hash FROM refresh_tokens")));
    QStringList left;
    while (query.next())
        left.append(query.value(0).toString());
    QCOMPARE(left, QStringList{QStringLiteral("l2")});
    // The live session goes on with its current token; the purged old one is merely unknown.
    QVERIFY(m_sessions->activeSession(live, m_userId));
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("l1"), QStringLiteral("x"), isoIn(3600)).status),
             int(SessionStore::RotateStatus::Unknown));
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("l2"), QStringLiteral("l3"), isoIn(3600)).status),
             int(SessionStore::RotateStatus::Rotated));
}

void TestSessionStore::revokeAllExceptKeepsOnlyTheNamedSession()
{
    const QString kept = newSession(QStringLiteral("a"));
    newSession(QStringLiteral("b"));
    newSession(QStringLiteral("c"));
    QVERIFY(m_sessions->revokeAllExcept(m_userId, kept));
    const QList<SessionRecord> active = m_sessions->activeSessions(m_userId);
    QCOMPARE(active.size(), 1);
    QCOMPARE(active.first().id, kept);
}

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_sessionstore.moc"
