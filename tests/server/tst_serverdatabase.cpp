#include "serverdatabase.h"
#include "testsupport.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>


using namespace OmbrServer;

class TestServerDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void newerSchemaIsRefused();
};

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

QTEST_GUILESS_MAIN(TestServerDatabase)
#include "tst_serverdatabase.moc"
