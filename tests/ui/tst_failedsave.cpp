#include "appstate.h"
#include "database.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "notewindow.h"
#include "statusbar.h"
#include "smallfilesystem.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

namespace {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// A second connection holding the write lock, as another program would.
class WriteLock
{
public:
    explicit WriteLock(const QString &path)
        : m_name(newId())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_held = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~WriteLock()
    {
        release();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool isHeld() const { return m_held; }
    void release()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (m_held)
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
        m_held = false;
    }

private:
    QString m_name;
    bool m_held = false;
};

void typeAtEnd(NoteEditor *editor, const QString &text)
{
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
    editor->insertPlainText(text);
}

} // namespace

// What the windows do when a note cannot be written: the text stays, unsaved and said
// so, is retried, and is never dropped without the user's word.
class TestFailedSave : public QObject
{
    Q_OBJECT

private:
    // The main window or a note window showing the note.
    struct Host
    {
        QPointer<QWidget> window;
        NoteEditor *editor = nullptr;
        StatusBar *statusBar = nullptr;
    };

    bool openState()
    {
        m_state = std::make_unique<AppState>();
        if (!m_state->initialize())
            return false;
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            auto *window = new NoteWindow(state, noteId);
            connect(window, &NoteWindow::windowClosed, state, &AppState::noteWindowClosed);
            return window;
        });
        Note note;
        note.id = newId();
        note.body = QStringLiteral("[{\"insert\":\"Groceries\\n\"}]");
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        if (!m_state->notes()->insert(note))
            return false;
        m_noteId = note.id;
        return true;
    }

    Host openHost(bool noteWindow, const UnsavedNotePrompt &prompt = {})
    {
        Host host;
        if (noteWindow) {
            m_state->openNoteWindow(m_noteId);
            auto *window = qobject_cast<NoteWindow *>(m_state->noteWindow(m_noteId));
            window->setUnsavedNotePrompt(prompt);
            host = {window, window->editor(), window->statusBarWidget()};
        } else {
            m_state->setCurrentNoteId(m_noteId);
            m_mainWindow = std::make_unique<MainWindow>(m_state.get());
            m_mainWindow->setUnsavedNotePrompt(prompt);
            m_mainWindow->show();
            host = {m_mainWindow.get(), m_mainWindow->editor(), m_mainWindow->statusBarWidget()};
        }
        return host;
    }

    QString storedBody() const
    {
        const std::optional<Note> note = m_state->notes()->findById(m_noteId);
        return note ? note->body : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY(m_settingsDir.isValid());
        OmbrelTest::isolateSettings(m_settingsDir.path());
    }

    void init()
    {
        m_data = std::make_unique<OmbrelTest::ScopedDataDir>();
    }

    void cleanup()
    {
        m_mainWindow.reset();
        m_state.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_data.reset();
    }

    void failedSaveStaysUnsavedAndIsRetried_data()
    {
        QTest::addColumn<bool>("noteWindow");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("shown");
        QTest::newRow("main-window-locked") << false << false << "Not saved: the database is locked";
        QTest::newRow("note-window-locked") << true << false << "Not saved: the database is locked";
        QTest::newRow("main-window-disk-full") << false << true << "Not saved: the disk is full";
        QTest::newRow("note-window-disk-full") << true << true << "Not saved: the disk is full";
    }

    void failedSaveStaysUnsavedAndIsRetried()
    {
        QFETCH(bool, noteWindow);
        QFETCH(bool, diskFull);
        QFETCH(QString, shown);

        std::unique_ptr<OmbrelTest::SmallFileSystem> disk;
        if (diskFull) {
            disk = std::make_unique<OmbrelTest::SmallFileSystem>(QStringLiteral("2m"));
            if (!disk->isMounted())
                QSKIP("a 2 MB tmpfs cannot be mounted here (needs root)");
            qputenv("NOTES_DATA_DIR", disk->path().toUtf8());
        }
        QVERIFY(openState());
        Host host = openHost(noteWindow);
        QVERIFY(host.editor && !host.editor->isReadOnly());
        const QString before = storedBody();

        std::unique_ptr<WriteLock> lock;
        QString marker = QStringLiteral("milk eggs bread");
        if (diskFull) {
            disk->fill();
            // More than the write-ahead log has room for, so the write needs new blocks.
            marker += QStringLiteral(" flour").repeated(120000);
        } else {
            lock = std::make_unique<WriteLock>(m_state->databaseFile());
            QVERIFY(lock->isHeld());
        }

        QElapsedTimer sinceTyping;
        sinceTyping.start();
        typeAtEnd(host.editor, marker);
        QTRY_VERIFY2_WITH_TIMEOUT(host.statusBar->wordText().contains(shown),
                                  qPrintable(host.statusBar->wordText()), 8000);
        // The idle tick plus a short wait for the lock, not Qt's five-second default.
        QVERIFY2(sinceTyping.elapsed() < 4000, qPrintable(QString::number(sinceTyping.elapsed())));
        QVERIFY(!host.editor->isSaved());
        const auto wordColour = [&host] {
            return host.statusBar->findChild<QLabel *>(QStringLiteral("wordLabel"))->palette().color(QPalette::WindowText);
        };
        const QColor quiet(QStringLiteral("#78909C"));
        QVERIFY(wordColour() != quiet);
        QVERIFY(!host.statusBar->wordText().contains(QStringLiteral("· Saved")));
        QCOMPARE(storedBody(), before);
        QVERIFY(host.window->isVisible());

        // Still failing a while later, still said so.
        QTest::qWait(2500);
        QVERIFY(!host.editor->isSaved());
        QVERIFY(host.statusBar->wordText().contains(shown));

        if (diskFull)
            disk->release();
        else
            lock->release();
        QTRY_VERIFY_WITH_TIMEOUT(host.editor->isSaved(), 15000);
        QVERIFY2(host.statusBar->wordText().endsWith(QStringLiteral("Saved")), qPrintable(host.statusBar->wordText()));
        QCOMPARE(wordColour(), quiet);
        QVERIFY(storedBody().contains(QStringLiteral("milk eggs bread")));

        if (host.window)
            host.window->close();
        m_mainWindow.reset();
        m_state.reset();
    }

    void closingWithUnsavableTextAsksFirst_data()
    {
        QTest::addColumn<bool>("noteWindow");
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("copied");
        const int keep = int(UnsavedNoteChoice::KeepEditing);
        const int copy = int(UnsavedNoteChoice::CopyAndDiscard);
        const int discard = int(UnsavedNoteChoice::Discard);
        QTest::newRow("main-window-keep-editing") << false << keep << false << false;
        QTest::newRow("main-window-copy-and-discard") << false << copy << true << true;
        QTest::newRow("main-window-discard") << false << discard << true << false;
        QTest::newRow("note-window-keep-editing") << true << keep << false << false;
        QTest::newRow("note-window-copy-and-discard") << true << copy << true << true;
        QTest::newRow("note-window-discard") << true << discard << true << false;
    }

    void closingWithUnsavableTextAsksFirst()
    {
        QFETCH(bool, noteWindow);
        QFETCH(int, choice);
        QFETCH(bool, closes);
        QFETCH(bool, copied);

        QVERIFY(openState());
        int asked = 0;
        QString askedReason;
        Host host = openHost(noteWindow, [&](QWidget *, const QString &reason) {
            ++asked;
            askedReason = reason;
            return UnsavedNoteChoice(choice);
        });
        const QString before = storedBody();
        QApplication::clipboard()->setText(QStringLiteral("untouched"));

        WriteLock lock(m_state->databaseFile());
        QVERIFY(lock.isHeld());
        const QString marker = QStringLiteral("call the plumber");
        typeAtEnd(host.editor, marker);
        // Closed before the idle save: the close itself tries once more.
        host.window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QCOMPARE(asked, 1);
        QVERIFY2(askedReason.contains(QStringLiteral("locked")), qPrintable(askedReason));
        QCOMPARE(!host.window || !host.window->isVisible(), closes);
        QCOMPARE(QApplication::clipboard()->text().contains(marker), copied);
        QCOMPARE(storedBody(), before);
        if (!closes) {
            QVERIFY(host.editor->toPlainText().contains(marker));
            QVERIFY(!host.editor->isSaved());
            // Once the lock goes, the kept text is stored and the window closes quietly.
            lock.release();
            QTRY_VERIFY_WITH_TIMEOUT(host.editor->isSaved(), 15000);
            QVERIFY(storedBody().contains(marker));
            host.window->close();
            QCOMPARE(asked, 1);
        }
    }

    // Trashing the open note first stores what was typed; when that cannot be done the
    // user decides, and keeping the text keeps the note where it is.
    void trashingWithUnsavableTextAsksFirst_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("trashed");
        QTest::newRow("keep-editing") << int(UnsavedNoteChoice::KeepEditing) << false;
        QTest::newRow("discard") << int(UnsavedNoteChoice::Discard) << true;
    }

    void trashingWithUnsavableTextAsksFirst()
    {
        QFETCH(int, choice);
        QFETCH(bool, trashed);
        QVERIFY(openState());
        int asked = 0;
        Host host = openHost(false, [&](QWidget *, const QString &) {
            ++asked;
            return UnsavedNoteChoice(choice);
        });
        auto *quickTrash = m_mainWindow->findChild<QAction *>(QStringLiteral("quickTrashAction"));
        QVERIFY(quickTrash);

        // Body writes are refused; moving to the trash still works.
        QSqlQuery sql(m_state->database()->handle());
        QVERIFY(sql.exec(QStringLiteral("CREATE TRIGGER refuse_body BEFORE UPDATE OF body ON notes "
                                        "BEGIN SELECT RAISE(ABORT, 'body refused'); END")));
        typeAtEnd(host.editor, QStringLiteral(" and soap"));
        quickTrash->trigger();
        QCOMPARE(asked, 1);
        QCOMPARE(bool(m_state->notes()->findById(m_noteId)->deletedAt), trashed);
        QCOMPARE(host.editor->toPlainText().contains(QStringLiteral("and soap")), !trashed);

        QVERIFY(sql.exec(QStringLiteral("DROP TRIGGER refuse_body")));
        QTRY_VERIFY_WITH_TIMEOUT(host.editor->isSaved(), 15000);
        QCOMPARE(storedBody().contains(QStringLiteral("and soap")), !trashed);
    }

    // Read-only media: the library opens, shows its notes and accepts no edits.
    void readOnlyLibraryOpensWithEditingDisabled_data()
    {
        QTest::addColumn<bool>("noteWindow");
        QTest::newRow("main-window") << false;
        QTest::newRow("note-window") << true;
    }

    void readOnlyLibraryOpensWithEditingDisabled()
    {
        QFETCH(bool, noteWindow);
        OmbrelTest::SmallFileSystem disk(QStringLiteral("4m"));
        if (!disk.isMounted())
            QSKIP("a tmpfs cannot be mounted here (needs root)");
        qputenv("NOTES_DATA_DIR", disk.path().toUtf8());
        QVERIFY(openState());
        const QString body = storedBody();
        m_state.reset();
        QVERIFY(disk.remountReadOnly());

        m_state = std::make_unique<AppState>();
        QVERIFY2(m_state->initialize(), qPrintable(m_state->initializationError()));
        QVERIFY(m_state->isReadOnly());
        QVERIFY(!m_state->readOnlyReason().isEmpty());
        m_state->setNoteWindowFactory([](AppState *state, const QString &noteId) -> QWidget * {
            return new NoteWindow(state, noteId);
        });
        Host host = openHost(noteWindow);
        QCOMPARE(host.editor->currentNoteId(), m_noteId);
        QVERIFY(host.editor->toPlainText().contains(QStringLiteral("Groceries")));
        QVERIFY(host.editor->isReadOnly());
        host.editor->setFocus();
        QTest::keyClicks(host.editor, QStringLiteral("lost words"));
        QVERIFY(!host.editor->toPlainText().contains(QStringLiteral("lost words")));
        QVERIFY(host.editor->isSaved());
        QCOMPARE(storedBody(), body);
        host.window->close();
    }

    // A library that refuses writes while the user types: editing stops, the typed text
    // stays on screen, unsaved and said so, and closing asks before it goes.
    void libraryTurningReadOnlyStopsEditing_data()
    {
        QTest::addColumn<bool>("noteWindow");
        QTest::newRow("main-window") << false;
        QTest::newRow("note-window") << true;
    }

    void libraryTurningReadOnlyStopsEditing()
    {
        QFETCH(bool, noteWindow);
        QVERIFY(openState());
        int asked = 0;
        Host host = openHost(noteWindow, [&asked](QWidget *, const QString &reason) {
            ++asked;
            return reason.contains(QStringLiteral("read-only")) ? UnsavedNoteChoice::Discard
                                                                 : UnsavedNoteChoice::KeepEditing;
        });
        QSignalSpy turned(m_state.get(), &AppState::readOnlyChanged);
        const QString before = storedBody();
        // SQLite itself refuses every write on this connection from now on.
        QVERIFY(QSqlQuery(m_state->database()->handle()).exec(QStringLiteral("PRAGMA query_only = 1")));

        typeAtEnd(host.editor, QStringLiteral(" typed too late"));
        QTRY_COMPARE_WITH_TIMEOUT(turned.count(), 1, 5000);
        QVERIFY(m_state->isReadOnly());
        QVERIFY(host.editor->isReadOnly());
        QVERIFY(host.editor->toPlainText().contains(QStringLiteral("typed too late")));
        QVERIFY(!host.editor->isSaved());
        QVERIFY2(host.statusBar->wordText().contains(QStringLiteral("Not saved: the database is read-only")),
                 qPrintable(host.statusBar->wordText()));
        QCOMPARE(storedBody(), before);

        // Retries keep failing without claiming success.
        QTest::qWait(2500);
        QVERIFY(!host.editor->isSaved());

        host.window->close();
        QCOMPARE(asked, 1);
        QVERIFY(!host.window || !host.window->isVisible());
        QCOMPARE(storedBody(), before);
    }

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_data;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_mainWindow;
    QString m_noteId;
};

QTEST_MAIN(TestFailedSave)
#include "tst_failedsave.moc"
