#include "appstate.h"
#include "authclient.h"
#include "client.h"
#include "filetokenstore.h"
#include "loopbackhttpserver.h"
#include "mainwindow.h"
#include "noterepository.h"
#include "notewindow.h"
#include "paths.h"
#include "statusbar.h"
#include "testsupport.h"
#include "testtokens.h"
#include "welcomescreen.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using OmbrelTest::LoopbackHttpServer;

// The account as the windows show it: the session restored at start, the File-menu
// entries, the welcome link and the status text, against a scripted loopback service.
class TestMainWindowAccount : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QList<QUrl> m_opened;

    void start()
    {
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        // No note open, so the right pane follows the account state alone.
        m_state->setCurrentNoteId(QString());
        m_state->account()->authClient()->setUrlOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
        m_window = std::make_unique<MainWindow>(m_state.get());
    }
    QString statusText() const
    {
        return m_window->statusBarWidget()->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
    }
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }
    void storeSession(const QString &access, const QString &refresh)
    {
        OmbrAccount::FileTokenStore store(OmbrAccount::FileTokenStore::pathIn(dataDirectory()));
        QVERIFY(store.save(QLatin1String(OmbrAccount::AccessTokenKey), access));
        QVERIFY(store.save(QLatin1String(OmbrAccount::RefreshTokenKey), refresh));
    }

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        OmbrelTest::isolateSettings(m_settingsDir.path());
    }
    void init()
    {
        QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes")).clear();
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->start());
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{200, "{}"}; });
        qputenv("AUTH_BASE_URL", m_server->url().toString().toUtf8());
        m_opened.clear();
    }
    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_server.reset();
        m_dataDir.reset();
        qunsetenv("AUTH_BASE_URL");
    }

    void storedSessionShowsSignedInAndSignOutForgetsIt()
    {
        const QString access = OmbrelTest::tokenExpiringIn(900);
        storeSession(access, QStringLiteral("r"));
        start();
        QVERIFY(m_state->account()->isAuthenticated());
        QCOMPARE(statusText(), QStringLiteral("Signed in"));
        QVERIFY(!action("signInAction")->isVisible());
        QVERIFY(action("signOutAction")->isVisible());
        QCOMPARE(m_window->welcomeScreen()->accountLink()->text(), QStringLiteral("Sign Out"));
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->editorPage());

        const QList<Note> notes = m_state->notes()->allNotes();
        QVERIFY(!notes.isEmpty());
        NoteWindow noteWindow(m_state.get(), notes.first().id);
        const auto noteWindowStatus = [&] {
            return noteWindow.statusBarWidget()->findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
        };
        QCOMPARE(noteWindowStatus(), QStringLiteral("Signed in"));

        action("signOutAction")->trigger();
        QCOMPARE(statusText(), QStringLiteral("Not signed in"));
        QCOMPARE(noteWindowStatus(), QStringLiteral("Not signed in"));
        QVERIFY(action("signInAction")->isVisible());
        QVERIFY(!action("signOutAction")->isVisible());
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->welcomeScreen());
        QVERIFY(!QFile::exists(OmbrAccount::FileTokenStore::pathIn(dataDirectory())));
        QTRY_COMPARE(m_server->countFor("POST", "/api/v1/realms/ombrel/auth/logout"), 1);
        QCOMPARE(m_server->requests.last().header("authorization"), "Bearer " + access.toUtf8());
    }

    void welcomeLinkSignsInThroughBrowser()
    {
        start();
        QCOMPARE(statusText(), QStringLiteral("Not signed in"));
        m_window->centralStack()->setCurrentWidget(m_window->editorPage());
        action("signInAction")->trigger();
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->welcomeScreen());
        QVERIFY(m_opened.isEmpty());

        QTest::mouseClick(m_window->welcomeScreen()->accountLink(), Qt::LeftButton);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().path(), QStringLiteral("/ombrel/account/login"));
        const QUrlQuery query(m_opened.first());
        const QUrl redirect(query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));

        QTcpSocket browser;
        browser.connectToHost(QHostAddress::LocalHost, quint16(redirect.port()));
        QVERIFY(browser.waitForConnected(3000));
        browser.write("GET /callback?access_token=" + OmbrelTest::tokenExpiringIn(900).toUtf8()
                      + "&refresh_token=r&state=" + query.queryItemValue(QStringLiteral("state")).toUtf8()
                      + " HTTP/1.1\r\n\r\n");
        QTRY_COMPARE(statusText(), QStringLiteral("Signed in"));
        QCOMPARE(m_window->welcomeScreen()->accountLink()->text(), QStringLiteral("Sign Out"));
        QVERIFY(m_window->welcomeScreen()->browserHint()->isHidden());
        QCOMPARE(m_window->centralStack()->currentWidget(), m_window->editorPage());

        // The link now signs out, and only that: one click, one sign-out.
        QSignalSpy completed(m_state->account()->authClient(), &OmbrAccount::AuthClient::logoutCompleted);
        QTest::mouseClick(m_window->welcomeScreen()->accountLink(), Qt::LeftButton);
        QCOMPARE(completed.count(), 1);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_window->welcomeScreen()->accountLink()->text(), QStringLiteral("Already have an account? Sign In"));
    }

    void revokedSessionAtStartShowsSignedOut()
    {
        m_server->setHandler([](const auto &) { return LoopbackHttpServer::Response{401, R"({"error":"revoked"})"}; });
        storeSession(OmbrelTest::tokenExpiringIn(-120), QStringLiteral("revoked"));
        start();
        QTRY_COMPARE(m_state->account()->authClient()->state(), OmbrAccount::AuthState::Unauthenticated);
        QCOMPARE(statusText(), QStringLiteral("Not signed in"));
        QVERIFY(action("signInAction")->isVisible());
        QCOMPARE(m_server->countFor("POST", "/api/v1/realms/ombrel/auth/token/refresh"), 1);
    }
};

QTEST_MAIN(TestMainWindowAccount)
#include "tst_mainwindow_account.moc"
