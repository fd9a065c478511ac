#include "testsupport.h"
#include "welcomescreen.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestWelcomeScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void signedOutOffersSignIn();
    void continueEmitsDismissOnly();
    void authChangesRelabelLink_data();
    void authChangesRelabelLink();
    void repeatedRefreshKeepsOneAction();
    void taglineFollowsPalette_data();
    void taglineFollowsPalette();

private:
    std::unique_ptr<WelcomeScreen> m_screen;
    QPalette m_originalPalette;
};

void TestWelcomeScreen::initTestCase()
{
    OmbrelTest::initTestEnvironment();
    m_originalPalette = QApplication::palette();
}

void TestWelcomeScreen::init()
{
    m_screen = std::make_unique<WelcomeScreen>(nullptr);
    m_screen->resize(640, 560);
    m_screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
}

void TestWelcomeScreen::cleanup()
{
    m_screen.reset();
    QApplication::setPalette(m_originalPalette);
}

void TestWelcomeScreen::signedOutOffersSignIn()
{
    QCOMPARE(m_screen->accountLink()->text(), QStringLiteral("Already have an account? Sign In"));
    QVERIFY(m_screen->browserHint()->isVisible());
    QCOMPARE(m_screen->browserHint()->text(), QStringLiteral("Opens in your web browser"));

    QSignalSpy signIn(m_screen.get(), &WelcomeScreen::signInRequested);
    QSignalSpy dismiss(m_screen.get(), &WelcomeScreen::dismissRequested);
    QTest::mouseClick(m_screen->accountLink(), Qt::LeftButton);
    QCOMPARE(signIn.count(), 1);
    QCOMPARE(dismiss.count(), 0);
}

void TestWelcomeScreen::continueEmitsDismissOnly()
{
    QCOMPARE(m_screen->continueButton()->text(), QStringLiteral("Continue Without an Account"));
    QVERIFY(m_screen->continueButton()->minimumHeight() >= 36);

    QSignalSpy signIn(m_screen.get(), &WelcomeScreen::signInRequested);
    QSignalSpy signOut(m_screen.get(), &WelcomeScreen::signOutRequested);
    QSignalSpy dismiss(m_screen.get(), &WelcomeScreen::dismissRequested);
    QTest::mouseClick(m_screen->continueButton(), Qt::LeftButton);
    QCOMPARE(dismiss.count(), 1);
    QCOMPARE(signIn.count(), 0);
    QCOMPARE(signOut.count(), 0);
}

void TestWelcomeScreen::authChangesRelabelLink_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hintVisible");
    QTest::addColumn<int>("signIns");
    QTest::addColumn<int>("signOuts");

    QTest::newRow("signed-in") << true << QStringLiteral("Sign Out") << false << 0 << 1;
    QTest::newRow("signed-out") << false << QStringLiteral("Already have an account? Sign In")
                                << true << 1 << 0;
}

void TestWelcomeScreen::authChangesRelabelLink()
{
    QFETCH(bool, signedIn);
    QFETCH(QString, text);
    QFETCH(bool, hintVisible);
    QFETCH(int, signIns);
    QFETCH(int, signOuts);

    // Pass through the opposite state first, as a sign-in or sign-out does.
    bool state = !signedIn;
    m_screen->setSignedInProbe([&state] { return state; });
    state = signedIn;
    m_screen->refreshAuthState();

    QCOMPARE(m_screen->accountLink()->text(), text);
    QCOMPARE(m_screen->browserHint()->isVisible(), hintVisible);

    QSignalSpy signIn(m_screen.get(), &WelcomeScreen::signInRequested);
    QSignalSpy signOut(m_screen.get(), &WelcomeScreen::signOutRequested);
    QTest::mouseClick(m_screen->accountLink(), Qt::LeftButton);
    QCOMPARE(signIn.count(), signIns);
    QCOMPARE(signOut.count(), signOuts);
    m_screen->setSignedInProbe({});
}

void TestWelcomeScreen::repeatedRefreshKeepsOneAction()
{
    bool signedIn = false;
    m_screen->setSignedInProbe([&signedIn] { return signedIn; });
    for (int i = 0; i < 6; ++i) {
        signedIn = !signedIn;
        m_screen->refreshAuthState();
        m_screen->refreshAuthState();
    }
    // Twelve refreshes, ending signed out.
    QSignalSpy signIn(m_screen.get(), &WelcomeScreen::signInRequested);
    QSignalSpy signOut(m_screen.get(), &WelcomeScreen::signOutRequested);
    QTest::mouseClick(m_screen->accountLink(), Qt::LeftButton);
    QCOMPARE(signIn.count(), 1);
    QCOMPARE(signOut.count(), 0);
    m_screen->setSignedInProbe({});
}

void TestWelcomeScreen::taglineFollowsPalette_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QString>("sheet");

    QTest::newRow("light") << QColor(0xF5, 0xF5, 0xF5) << QStringLiteral("color: #616161;");
    QTest::newRow("dark") << QColor(0x1E, 0x1E, 0x1E) << QStringLiteral("color: #9E9E9E;");
}

void TestWelcomeScreen::taglineFollowsPalette()
{
    QFETCH(QColor, window);
    QFETCH(QString, sheet);

    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, window);
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();

    const auto *tagline = m_screen->findChild<QLabel *>(QStringLiteral("tagline"));
    QVERIFY(tagline);
    QCOMPARE(tagline->text(), QStringLiteral("Capture as fast as paper.\nFind it faster."));
    QCOMPARE(tagline->styleSheet(), sheet);

    // A page built under this palette starts with the same colour.
    WelcomeScreen fresh(nullptr);
    QCOMPARE(fresh.findChild<QLabel *>(QStringLiteral("tagline"))->styleSheet(), sheet);
}

QTEST_MAIN(TestWelcomeScreen)
#include "tst_welcomescreen.moc"
