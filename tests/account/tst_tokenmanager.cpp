#include "filetokenstore.h"
#include "memorytokenstore.h"
#include "ombclaims.h"
#include "testsupport.h"
#include "testtokens.h"
#include "tokenmanager.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace OmbrAccount;
using OmbrelTest::makeJwt;
using OmbrelTest::tokenExpiringIn;

namespace {

// An exchange the test answers by hand, to hold a refresh in flight.
struct ManualExchange
{
    int calls = 0;
    QString lastRefreshToken;
    TokenManager::OnSuccess onSuccess;
    TokenManager::OnFailure onFailure;

    TokenManager::RefreshCallback callback()
    {
        return [this](const QString &refreshToken, TokenManager::OnSuccess success, TokenManager::OnFailure failure) {
            ++calls;
            lastRefreshToken = refreshToken;
            onSuccess = std::move(success);
            onFailure = std::move(failure);
        };
    }
};

} // namespace

class TestTokenManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void accessTokenHonoursExpiryMargin_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("handedOut");
        QTest::newRow("31s-ahead") << tokenExpiringIn(31) << true;
        QTest::newRow("29s-ahead") << tokenExpiringIn(29) << false;
        QTest::newRow("an-hour-ahead") << tokenExpiringIn(3600) << true;
        QTest::newRow("expired") << tokenExpiringIn(-10) << false;
        QTest::newRow("no-exp") << makeJwt({{"sub", "u"}}) << false;
        QTest::newRow("exp-as-text") << makeJwt({{"exp", "99999999999"}}) << false;
        QTest::newRow("payload-not-json") << QStringLiteral("aGVhZA.bm90IGpzb24.c2ln") << false;
        QTest::newRow("payload-json-array") << makeJwt({}).replace(QLatin1String("e30"), QLatin1String("W10")) << false;
        QTest::newRow("one-part") << QStringLiteral("justonepart") << false;
        QTest::newRow("bad-base64") << QStringLiteral("a.!!!$$$.c") << false;
    }
    void accessTokenHonoursExpiryMargin()
    {
        QFETCH(QString, token);
        QFETCH(bool, handedOut);
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        manager.setTokens(token, QStringLiteral("refresh"));
        QCOMPARE(manager.accessToken(), handedOut ? token : QString());
        // Whatever is not handed out must be refreshed while a refresh token exists.
        QCOMPARE(manager.needsRefresh(), !handedOut);
    }

    void needsRefresh_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<bool>("expected");
        QTest::newRow("nothing") << QString() << QString() << false;
        QTest::newRow("refresh-only") << QString() << QStringLiteral("r") << true;
        QTest::newRow("valid-access") << tokenExpiringIn(600) << QStringLiteral("r") << false;
        QTest::newRow("expired-access-no-refresh") << tokenExpiringIn(-5) << QString() << false;
        QTest::newRow("expired-access-with-refresh") << tokenExpiringIn(-5) << QStringLiteral("r") << true;
    }
    void needsRefresh()
    {
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QFETCH(bool, expected);
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        manager.setTokens(access, refresh);
        QCOMPARE(manager.needsRefresh(), expected);
    }

    void concurrentRefreshesShareOneExchangeInOrder()
    {
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        ManualExchange exchange;
        manager.setRefreshCallback(exchange.callback());
        manager.setTokens(tokenExpiringIn(-1), QStringLiteral("old-refresh"));

        QList<QString> completions;
        for (const char *name : {"first", "second", "third"}) {
            manager.refresh([&completions, name](bool ok) {
                completions.append(QString::fromLatin1(name) + (ok ? QLatin1Char('+') : QLatin1Char('-')));
            });
        }
        QCOMPARE(exchange.calls, 1);
        QCOMPARE(exchange.lastRefreshToken, QStringLiteral("old-refresh"));
        QVERIFY(completions.isEmpty());

        const QString fresh = tokenExpiringIn(900);
        exchange.onSuccess(fresh, QStringLiteral("new-refresh"));
        QCOMPARE(completions, (QList<QString>{"first+", "second+", "third+"}));
        QCOMPARE(manager.accessToken(), fresh);
        QCOMPARE(manager.refreshToken(), QStringLiteral("new-refresh"));

        // The next refresh is a new exchange, not the finished one again.
        manager.refresh(nullptr);
        QCOMPARE(exchange.calls, 2);
    }

    void failedExchangeKeepsTokensAndReportsFalse()
    {
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        ManualExchange exchange;
        manager.setRefreshCallback(exchange.callback());
        const QString expired = tokenExpiringIn(-1);
        manager.setTokens(expired, QStringLiteral("r"));
        QList<bool> results;
        manager.refresh([&](bool ok) { results.append(ok); });
        manager.refresh([&](bool ok) { results.append(ok); });
        exchange.onFailure();
        QCOMPARE(results, (QList<bool>{false, false}));
        QCOMPARE(manager.refreshToken(), QStringLiteral("r"));
        // An exchange that answers twice changes nothing the second time.
        exchange.onSuccess(tokenExpiringIn(900), QStringLiteral("late"));
        QCOMPARE(manager.refreshToken(), QStringLiteral("r"));
    }

    void refreshWithoutRefreshTokenFailsAtOnce()
    {
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        ManualExchange exchange;
        manager.setRefreshCallback(exchange.callback());
        bool called = false;
        bool result = true;
        manager.refresh([&](bool ok) {
            called = true;
            result = ok;
        });
        QVERIFY(called);
        QVERIFY(!result);
        QCOMPARE(exchange.calls, 0);
    }

    void callbackMayRefreshAgain()
    {
        TokenManager manager(std::make_unique<OmbrelTest::MemoryTokenStore>());
        ManualExchange exchange;
        manager.setRefreshCallback(exchange.callback());
        manager.setTokens(QString(), QStringLiteral("r"));
        manager.refresh([&](bool) { manager.refresh(nullptr); });
        exchange.onFailure();
        // Re-entering from the completion started a fresh exchange instead of deadlocking.
        QCOMPARE(exchange.calls, 2);
    }

    void signOutDuringRefreshDoesNotRestoreSession()
    {
        auto store = std::make_unique<OmbrelTest::MemoryTokenStore>();
        auto *storePtr = store.get();
        TokenManager manager(std::move(store));
        ManualExchange exchange;
        manager.setRefreshCallback(exchange.callback());
        manager.setTokens(tokenExpiringIn(-1), QStringLiteral("r"));
        bool result = true;
        manager.refresh([&](bool ok) { result = ok; });
        manager.clear();
        exchange.onSuccess(tokenExpiringIn(900), QStringLiteral("revived"));
        QVERIFY(!result);
        QVERIFY(manager.refreshToken().isEmpty());
        QVERIFY(!storePtr->values.contains(QLatin1String(RefreshTokenKey)));
    }

    void clearThenLoadGivesEmptyTokens()
    {
        QTemporaryDir dir;
        const QString path = FileTokenStore::pathIn(dir.path());
        {
            TokenManager manager(std::make_unique<FileTokenStore>(path));
            manager.setTokens(tokenExpiringIn(600), QStringLiteral("r"));
        }
        TokenManager manager(std::make_unique<FileTokenStore>(path));
        manager.loadTokens();
        QCOMPARE(manager.refreshToken(), QStringLiteral("r"));
        manager.clear();
        manager.loadTokens();
        QVERIFY(manager.accessToken().isEmpty());
        QVERIFY(manager.refreshToken().isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    void fileStoreIsOwnerOnlyAndSurvivesGarbage_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::newRow("no-file") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x00\xff not json", 12);
        QTest::newRow("json-array") << QByteArray("[1,2]");
        QTest::newRow("wrong-types") << QByteArray(R"({"ombrel_access_token":5,"ombrel_refresh_token":null})");
    }
    void fileStoreIsOwnerOnlyAndSurvivesGarbage()
    {
        QFETCH(QByteArray, existing);
        QTemporaryDir dir;
        const QString path = FileTokenStore::pathIn(dir.path());
        if (!existing.isEmpty()) {
            QVERIFY(OmbrelTest::writeFile(path, existing));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        }
        FileTokenStore store(path);
        QCOMPARE(store.load(QLatin1String(AccessTokenKey)), std::nullopt);
        QVERIFY(store.save(QLatin1String(RefreshTokenKey), QStringLiteral("secret")));
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(FileTokenStore(path).load(QLatin1String(RefreshTokenKey)), QStringLiteral("secret"));
    }

    void decodeClaims_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("groupId");
        QTest::addColumn<QString>("role");
        const QJsonObject omb{{"group_id", "g-1"}, {"role", "owner"}};
        QTest::newRow("full") << makeJwt({{"custom", QJsonObject{{"omb", omb}}}}) << "g-1" << "owner";
        QTest::newRow("custom-without-omb") << makeJwt({{"custom", QJsonObject{{"x", 1}}}}) << "" << "";
        QTest::newRow("omb-not-object") << makeJwt({{"custom", QJsonObject{{"omb", "text"}}}}) << "" << "";
        QTest::newRow("role-only") << makeJwt({{"custom", QJsonObject{{"omb", QJsonObject{{"role", "member"}}}}}})
                                   << "" << "member";
        QTest::newRow("not-a-jwt") << QStringLiteral("garbage") << "" << "";
        QTest::newRow("empty") << QString() << "" << "";
    }
    void decodeClaims()
    {
        QFETCH(QString, token);
        QFETCH(QString, groupId);
        QFETCH(QString, role);
        const OmbClaims claims = OmbrAccount::decodeClaims(token);
        QCOMPARE(claims.groupId, groupId);
        QCOMPARE(claims.role, role);
        QCOMPARE(claims.isOwner(), role == QLatin1String("owner"));
    }
};

QTEST_GUILESS_MAIN(TestTokenManager)
#include "tst_tokenmanager.moc"
