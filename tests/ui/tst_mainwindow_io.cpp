#include "appstate.h"
#include "archivefixtures.h"
#include "importdialog.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "statusbar.h"
#include "testsupport.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace ArchiveFixtures;

// The File menu's import, export, backup and restore entries and the header bar's export.
class TestMainWindowIo : public QObject
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
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_files = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_prompts = {};
        m_prompts.warn = [this](QWidget *, const QString &title, const QString &text) {
            m_shown.append(title + QLatin1Char(':') + text);
        };
        m_prompts.inform = m_prompts.warn;
        m_prompts.confirm = [this](QWidget *, const QString &title, const QString &text) {
            m_shown.append(title + QLatin1Char(':') + text);
            return true;
        };
        m_window->setIoPrompts(m_prompts);
        m_window->resize(1000, 700);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_shown.clear();
    }
    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_files.reset();
        m_dataDir.reset();
    }

    void fileMenuHasTheEntries();
    void backupThenRestoreSkipsExistingNotes();
    void failedBackupWarns();
    void exportFromMenuAndHeaderBar_data();
    void exportFromMenuAndHeaderBar();
    void importOpensModelessWizard();

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    IoPrompts m_prompts;
    QStringList m_shown;
};

void TestMainWindowIo::fileMenuHasTheEntries()
{
    QMenu *file = m_window->menuBar()->actions().first()->menu();
    QStringList texts;
    for (QAction *entry : file->actions())
        texts.append(entry->isSeparator() ? QStringLiteral("-") : entry->text());
    const qsizetype import = texts.indexOf(QStringLiteral("Import..."));
    QVERIFY(import > 0);
    QCOMPARE(texts.mid(import - 1, 10),
             (QStringList{QStringLiteral("-"), QStringLiteral("Import..."), QStringLiteral("Export..."),
                          QStringLiteral("-"), QStringLiteral("Print..."), QStringLiteral("Print Preview..."),
                          QStringLiteral("-"), QStringLiteral("Backup Database..."),
                          QStringLiteral("Restore Database..."), QStringLiteral("-")}));
    QCOMPARE(action("importAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+I")));
    QCOMPARE(action("exportAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QVERIFY(action("backupAction")->shortcut().isEmpty());
}

void TestMainWindowIo::backupThenRestoreSkipsExistingNotes()
{
    const int notes = int(m_state->notes()->allNotes().size());
    QVERIFY(notes > 0);
    const QString zip = m_files->filePath(QStringLiteral("chosen.zip"));
    QString proposed;
    m_prompts.saveFile = [&](QWidget *, const QString &title, const QString &suggested, const QString &filter) {
        proposed = title + QLatin1Char('|') + suggested + QLatin1Char('|') + filter;
        return zip;
    };
    m_prompts.openFile = [&](QWidget *, const QString &, const QString &) { return zip; };
    m_window->setIoPrompts(m_prompts);

    action("backupAction")->trigger();
    QCOMPARE(proposed, QStringLiteral("Save Backup|ombrel-notes-backup.zip|ZIP Archive (*.zip)"));
    QVERIFY(QFile::exists(zip));
    QCOMPARE(m_window->statusBarWidget()->currentMessage(), QStringLiteral("Backup saved: %1 notes").arg(notes));

    action("restoreAction")->trigger();
    QCOMPARE(m_shown, (QStringList{
        QStringLiteral("Restore Backup:Import notes from backup? Existing notes with the same ID will be skipped."),
        QStringLiteral("Restore Complete:Imported: 0\nSkipped: %1\nErrors: 0").arg(notes)}));
}

void TestMainWindowIo::failedBackupWarns()
{
    m_prompts.saveFile = [&](QWidget *, const QString &, const QString &, const QString &) {
        return m_files->filePath(QStringLiteral("missing/dir/b.zip"));
    };
    m_window->setIoPrompts(m_prompts);
    action("backupAction")->trigger();
    QCOMPARE(m_shown.size(), 1);
    QVERIFY2(m_shown.first().startsWith(QStringLiteral("Backup Failed:Failed to create ZIP: ")), qPrintable(m_shown.first()));
}

void TestMainWindowIo::exportFromMenuAndHeaderBar_data()
{
    QTest::addColumn<bool>("fromHeader");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("bundle");
    QTest::addColumn<QString>("expectedFile");
    QTest::newRow("menu-markdown") << false << 0 << false << "out.md";
    QTest::newRow("header-html") << true << 1 << false << "out.html";
    QTest::newRow("menu-bundle") << false << 0 << true << "out.zip";
}

void TestMainWindowIo::exportFromMenuAndHeaderBar()
{
    QFETCH(bool, fromHeader);
    QFETCH(int, format);
    QFETCH(bool, bundle);
    QFETCH(QString, expectedFile);

    const Note note = m_state->notes()->allNotes().first();
    m_window->noteList()->selectNote(note.id);
    QCOMPARE(m_window->editor()->currentNoteId(), note.id);

    QString suggestedName;
    m_prompts.exportOptions = [&](QWidget *) {
        return std::optional<IoPrompts::ExportChoice>({format, bundle});
    };
    m_prompts.saveFile = [&](QWidget *, const QString &, const QString &suggested, const QString &) {
        suggestedName = suggested;
        return m_files->filePath(QFileInfo(expectedFile).completeBaseName() + QFileInfo(suggested).suffix().prepend(QLatin1Char('.')));
    };
    m_window->setIoPrompts(m_prompts);
    if (fromHeader)
        Q_EMIT m_window->headerBar()->exportRequested();
    else
        action("exportAction")->trigger();

    const QString written = m_files->filePath(expectedFile);
    QVERIFY2(QFile::exists(written), qPrintable(suggestedName));
    QVERIFY(suggestedName.endsWith(QFileInfo(expectedFile).suffix()));
    QCOMPARE(m_window->statusBarWidget()->currentMessage(), QStringLiteral("Exported to %1").arg(written));
    if (bundle)
        QCOMPARE(entryNames(written).first(), QStringLiteral("out.md"));
    QVERIFY(m_shown.isEmpty());
}

void TestMainWindowIo::importOpensModelessWizard()
{
    QWidget *wizard = m_window->openImportDialog();
    QVERIFY(wizard);
    QVERIFY(!wizard->isModal());
    QVERIFY(wizard->testAttribute(Qt::WA_DeleteOnClose));
    QPointer<QWidget> guard(wizard);
    wizard->close();
    QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(TestMainWindowIo)
#include "tst_mainwindow_io.moc"
