#include "appstate.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "testsupport.h"

#include <QAction>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QSettings windowSettings()
{
    return QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes"));
}

} // namespace

// Panes, focus mode, the stored window state, closing to the tray and the developer menu.
class TestMainWindowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY(m_settingsDir.isValid());
        OmbrelTest::isolateSettings(m_settingsDir.path());
    }

    void init()
    {
        windowSettings().clear();
        qunsetenv("NOTES_DEV");
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
        qunsetenv("NOTES_DEV");
    }

    void focusModeGivesTheEditorTheWholeWidth()
    {
        openWindow(1200);
        const QList<int> normal = m_window->splitter()->sizes();
        QCOMPARE(normal.mid(0, 2), (QList<int>{200, 260}));
        QCOMPARE(normal.at(2), m_window->splitter()->width() - 460 - 2 * m_window->splitter()->handleWidth());

        action("focusModeAction")->trigger();
        QVERIFY(m_window->isFocusMode());
        QVERIFY(action("focusModeAction")->isChecked());
        QVERIFY(!m_window->sidebarPane()->isVisible());
        QVERIFY(!m_window->listPane()->isVisible());
        QTRY_COMPARE(m_window->splitter()->sizes().at(2), m_window->splitter()->width());
        QVERIFY(windowSettings().value(QStringLiteral("mainWindow/focusMode")).toBool());

        action("focusModeAction")->trigger();
        QVERIFY(m_window->sidebarPane()->isVisible());
        QVERIFY(m_window->listPane()->isVisible());
        QTRY_COMPARE(m_window->splitter()->sizes(), normal);
        QVERIFY(!windowSettings().value(QStringLiteral("mainWindow/focusMode")).toBool());
    }

    void hiddenSidebarLeavesTheListAndEditor()
    {
        openWindow(1200);
        action("sidebarAction")->trigger();
        QVERIFY(!m_window->isSidebarVisible());
        QVERIFY(!m_window->sidebarPane()->isVisible());
        QVERIFY(m_window->listPane()->isVisible());
        QCOMPARE(m_window->splitter()->sizes().at(1), 260);
        QCOMPARE(windowSettings().value(QStringLiteral("mainWindow/notebookSidebarVisible")).toBool(), false);

        // Remembered across a restart.
        m_window.reset();
        openWindow(1200);
        QVERIFY(!m_window->isSidebarVisible());
        QVERIFY(!action("sidebarAction")->isChecked());
        QVERIFY(!m_window->sidebarPane()->isVisible());
    }

    void editorNeverNarrowerThanItsMinimum_data()
    {
        QTest::addColumn<bool>("focus");
        QTest::newRow("panes-shown") << false;
        QTest::newRow("focus-mode") << true;
    }

    void editorNeverNarrowerThanItsMinimum()
    {
        QFETCH(bool, focus);
        openWindow(320);
        if (focus)
            action("focusModeAction")->trigger();
        QCoreApplication::processEvents();
        QVERIFY2(m_window->splitter()->sizes().at(2) >= 100,
                 qPrintable(QString::number(m_window->splitter()->sizes().at(2))));
    }

    void storedSplitterSizes_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("valid") << QVariant(QStringLiteral("180,300,720")) << QList<int>{180, 300, 720};
        QTest::newRow("negative") << QVariant(QStringLiteral("200,-1,800")) << QList<int>{};
        QTest::newRow("two-numbers") << QVariant(QStringLiteral("200,260")) << QList<int>{};
        QTest::newRow("four-numbers") << QVariant(QStringLiteral("1,2,3,4")) << QList<int>{};
        QTest::newRow("not-numbers") << QVariant(QStringLiteral("a,b,c")) << QList<int>{};
        QTest::newRow("hexadecimal") << QVariant(QStringLiteral("0x10,20,30")) << QList<int>{};
        QTest::newRow("empty-part") << QVariant(QStringLiteral("200,,800")) << QList<int>{};
        QTest::newRow("missing") << QVariant() << QList<int>{};
    }

    void storedSplitterSizes()
    {
        QFETCH(QVariant, stored);
        QFETCH(QList<int>, expected);
        if (stored.isValid())
            windowSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), stored);
        openWindow(1200);
        QCOMPARE(m_window->normalSplitterSizes(), expected);
        const QList<int> sizes = m_window->splitter()->sizes();
        if (expected.isEmpty()) {
            QCOMPARE(sizes.at(0), 200);
            QCOMPARE(sizes.at(1), 260);
        } else {
            QCOMPARE(sizes.at(0), expected.at(0));
            QCOMPARE(sizes.at(1), expected.at(1));
        }
    }

    void closingStoresSizesSeenWithEveryPaneShown()
    {
        windowSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), QStringLiteral("180,300,720"));
        openWindow(1200);
        action("focusModeAction")->trigger();
        m_window->close();
        QCOMPARE(windowSettings().value(QStringLiteral("mainWindow/normalSplitterSizes")).toString(),
                 QStringLiteral("180,300,720"));
        QVERIFY(!windowSettings().value(QStringLiteral("mainWindow/geometry")).toByteArray().isEmpty());

        // The next start restores focus mode and the stored geometry.
        m_window.reset();
        m_window = std::make_unique<MainWindow>(m_state.get());
        QVERIFY(m_window->isFocusMode());
        QVERIFY(action("focusModeAction")->isChecked());
        QCOMPARE(m_window->normalSplitterSizes(), (QList<int>{180, 300, 720}));
    }

    // The first size and any restored geometry lie inside the screen's available area;
    // a stored geometry that already fits is kept as it is.
    void geometryFitsTheScreen_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QRect>("kept");
        QWidget probe;
        probe.setGeometry(50, 40, 1500, 1200);
        const QByteArray tooLarge = probe.saveGeometry();
        probe.setGeometry(5000, 4000, 400, 300);
        const QByteArray offScreen = probe.saveGeometry();
        probe.setGeometry(30, 40, 500, 350);
        const QByteArray fitting = probe.saveGeometry();
        QTest::newRow("none") << QByteArray() << QRect();
        QTest::newRow("garbage") << QByteArray("not a geometry") << QRect();
        QTest::newRow("larger-than-the-screen") << tooLarge << QRect();
        QTest::newRow("off-screen") << offScreen << QRect();
        QTest::newRow("fitting-is-kept") << fitting << QRect(30, 40, 500, 350);
    }

    void geometryFitsTheScreen()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QRect, kept);
        if (!stored.isEmpty())
            windowSettings().setValue(QStringLiteral("mainWindow/geometry"), stored);
        MainWindow window(m_state.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect available = window.screen()->availableGeometry();
        QVERIFY2(available.contains(window.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(window.frameGeometry().x()).arg(window.frameGeometry().y())
                                .arg(window.frameGeometry().width()).arg(window.frameGeometry().height())));
        if (kept.isValid())
            QCOMPARE(window.geometry(), kept);
        else if (stored.isEmpty() && available.width() > 1400 && available.height() > 1100)
            QCOMPARE(window.size(), QSize(1280, 1024));
    }

    void closeToTray_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("hides");
        QTest::newRow("tray-available") << true << true;
        QTest::newRow("no-tray") << false << false;
    }

    void closeToTray()
    {
        QFETCH(bool, trayAvailable);
        QFETCH(bool, hides);
        openWindow(1200);
        m_window->setTrayProbe([trayAvailable] { return trayAvailable; });
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), true);
        QVERIFY(m_window->trayIcon());
        QCOMPARE(m_window->closesToTray(), trayAvailable);

        const QString id = m_state->notes()->allNotes().first().id;
        m_window->noteList()->selectNote(id);
        QTest::keyClicks(m_window->editor(), QStringLiteral("Closing "));
        const bool closed = m_window->close();
        QCOMPARE(closed, !hides);
        QVERIFY(!m_window->isVisible());
        // The note is saved either way, without waiting for the idle time.
        QVERIFY(m_state->notes()->findById(id)->plainText().startsWith(QStringLiteral("Closing")));
        if (hides)
            QVERIFY(m_window->trayIcon()->isVisible());
    }

    void trayGoesAwayWhenNoLongerWanted()
    {
        openWindow(1200);
        m_window->setTrayProbe([] { return true; });
        m_state->preferences()->setBool(QStringLiteral("start_minimized"), true);
        QVERIFY(m_window->trayIcon());
        QVERIFY(!m_window->closesToTray());
        // With the icon in the tray, closing the last window must not end the application.
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        m_state->preferences()->setBool(QStringLiteral("start_minimized"), false);
        QVERIFY(!m_window->trayIcon());
        QVERIFY(QApplication::quitOnLastWindowClosed());
    }

    void sampleNotesEntryOnlyForDevelopers_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("present");
        QTest::newRow("one") << QByteArray("1") << true;
        QTest::newRow("true") << QByteArray("true") << false;
        QTest::newRow("zero-one") << QByteArray("01") << false;
        QTest::newRow("one-space") << QByteArray("1 ") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }

    void sampleNotesEntryOnlyForDevelopers()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, present);
        qputenv("NOTES_DEV", value);
        MainWindow window(m_state.get());
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("loadSampleNotesAction")) != nullptr, present);
    }

    void menusOfferOnlyWhatExists()
    {
        MainWindow window(m_state.get());
        const QList<QAction *> actions = window.findChildren<QAction *>();
        QStringList shortcuts;
        for (const QAction *action : actions) {
            if (!action->shortcut().isEmpty())
                shortcuts.append(action->shortcut().toString());
        }
        // One owner per key: Ctrl+I is Italic, nothing else.
        for (const QString &shortcut : std::as_const(shortcuts))
            QCOMPARE(shortcuts.count(shortcut), 1);
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("italicAction"))->shortcut(),
                 QKeySequence(QKeySequence::Italic));
        for (const char *name : {"newNoteAction", "moveToTrashAction", "newNoteWindowAction"}) {
            QCOMPARE(window.findChild<QAction *>(QString::fromLatin1(name))->shortcutContext(),
                     Qt::ApplicationShortcut);
        }
        // Note windows bind Ctrl+Backspace to their own note; an application-wide one
        // here would make the key ambiguous and do nothing anywhere.
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("quickTrashAction"))->shortcutContext(),
                 Qt::WindowShortcut);
    }

private:
    void openWindow(int width)
    {
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(width, 800);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QAction *action(const char *name) const
    {
        auto *found = m_window->findChild<QAction *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no action %s", name);
        return found;
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindow_layout.moc"
