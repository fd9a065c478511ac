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
    void endedSessionsAreNotActive_data();
    void endedSessionsAreNotActive();
    void purgeForgetsEndedSessionsAndOldTokens();

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

void TestSessionStore::endedSessionsAreNotActive_data()
{
    QTest::addColumn<bool>("expired"); // otherwise ended by its refresh token (sign-out)
    QTest::newRow("expired") << true;
    QTest::newRow("revoked-by-refresh-token") << false;
}

void TestSessionStore::endedSessionsAreNotActive()
{
    QFETCH(bool, expired);
    const QString live = newSession(QStringLiteral("live"));
    const QString id = newSession(QStringLiteral("h"), expired ? isoIn(-1) : isoIn(3600));
    if (!expired)
        QVERIFY(m_sessions->revokeByRefreshToken(QStringLiteral("h")));
    QVERIFY(!m_sessions->activeSession(id, m_userId));
    QVERIFY(m_sessions->activeSession(live, m_userId));
    const QList<SessionRecord> active = m_sessions->activeSessions(m_userId);
    QCOMPARE(active.size(), 1);
    QCOMPARE(active.first().id, live);
    QCOMPARE(int(m_sessions->rotate(QStringLiteral("h"), QStringLiteral("h2"), isoIn(3600)).status),
             int(SessionStore::RotateStatus::Inactive));
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

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_sessionstore.moc"
