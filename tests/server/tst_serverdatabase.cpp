#include "serverdatabase.h"
#include "testsupport.h"
#include "userstore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace OmbrServer;

class TestServerDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void reopeningKeepsDataAndSchema();
    void newerSchemaIsRefused();
    void threadsWriteThroughTheirOwnConnections();
};

void TestServerDatabase::reopeningKeepsDataAndSchema()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.db"));
    QString error;
    {
        ServerDatabase database;
        QVERIFY2(database.open(path, &error), qPrintable(error));
        UserRecord user;
        user.id = QStringLiteral("u");
        user.email = QStringLiteral("a@b.c");
        user.passwordHash = QStringLiteral("h");
        user.createdAt = ServerDatabase::isoNow();
        QCOMPARE(int(UserStore(database).create(user)), int(UserStore::CreateResult::Created));
    }
    ServerDatabase database;
    QVERIFY2(database.open(path, &error), qPrintable(error));
    QVERIFY(UserStore(database).findByEmail(QStringLiteral("a@b.c")));
    QSqlQuery query(database.connection());
    QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("wal"));
}

void TestServerDatabase::newerSchemaIsRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("future"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version=999"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("future"));
    ServerDatabase database;
    QString error;
    QVERIFY(!database.open(path, &error));
    QVERIFY2(error.contains(QLatin1String("newer")), qPrintable(error));
}

void TestServerDatabase::threadsWriteThroughTheirOwnConnections()
{
    QTemporaryDir dir;
    ServerDatabase database;
    QString error;
    QVERIFY2(database.open(dir.filePath(QStringLiteral("s.db")), &error), qPrintable(error));
    UserStore users(database);
    constexpr int kThreads = 6;
    constexpr int kUsersEach = 20;
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kUsersEach; ++i) {
                UserRecord user;
                user.id = QStringLiteral("u-%1-%2").arg(t).arg(i);
                user.email = QStringLiteral("u%1-%2@example.com").arg(t).arg(i);
                user.passwordHash = QStringLiteral("h");
                user.createdAt = ServerDatabase::isoNow();
                if (users.create(user) == UserStore::CreateResult::Created)
                    ++created;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(created.load(), kThreads * kUsersEach);
    QVERIFY(users.findByEmail(QStringLiteral("u5-19@example.com")));
}

QTEST_GUILESS_MAIN(TestServerDatabase)
#include "tst_serverdatabase.moc"
