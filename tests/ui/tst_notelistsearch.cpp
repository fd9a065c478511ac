#include "appstate.h"
#include "database.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notebooklistwidget.h"
#include "notelistwidget.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notetextindex.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

// The main window's list while searching: results from the search thread, what a clear
// or an empty notebook leaves in the list and the editor.
class TestNoteListSearch : public QObject
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
        QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes")).clear();
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        for (const Note &note : m_state->notes()->allNotes())
            m_state->notes()->deletePermanently(note.id);
        m_ids.clear();
        const QDateTime base = QDateTime::currentDateTimeUtc().addSecs(-3600);
        const char *const texts[] = {"kiwi once among many other words", "kiwi kiwi kiwi", "melon",
                                     "bold list of kiwi", "melon and kiwi"};
        int i = 0;
        for (const char *text : texts)
            m_ids.append(addNote(QString::fromLatin1(text), base.addSecs(60 * i++)));
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void resultsArriveRankedFromTheSearchThread_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ranked") << QStringLiteral("kiwi");
        QTest::newRow("prefix") << QStringLiteral("mel");
        QTest::newRow("json-word-finds-only-text") << QStringLiteral("bold");
        QTest::newRow("invalid-syntax-literal") << QStringLiteral("kiwi\"");
        QTest::newRow("no-hits") << QStringLiteral("xylophone");
    }

    void resultsArriveRankedFromTheSearchThread()
    {
        QFETCH(QString, text);
        openWindow();
        search(text);
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), m_state->notes()->searchIds(text));
    }

    void searchRightAfterStartUpFollowsWrites_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("writeFirst");
        // The rows read at start-up become the search cache after a second of idle, or
        // with the first search, whichever comes first.
        QTest::newRow("at-once") << 0 << false;
        QTest::newRow("after-idle") << 1300 << false;
        QTest::newRow("write-then-search") << 0 << true;
        QTest::newRow("idle-write-then-search") << 1300 << true;
    }

    void searchRightAfterStartUpFollowsWrites()
    {
        QFETCH(int, waitMs);
        QFETCH(bool, writeFirst);
        openWindow();
        if (waitMs > 0)
            QTest::qWait(waitMs);
        QString added;
        if (writeFirst)
            added = addNote(QStringLiteral("kiwi fresh"), QDateTime::currentDateTimeUtc());
        search(QStringLiteral("kiwi"));
        QStringList expected = m_state->notes()->searchIds(QStringLiteral("kiwi"));
        QCOMPARE(expected.contains(added), writeFirst);
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), expected);

        QVERIFY(m_state->notes()->moveToTrash(expected.first()));
        search(QStringLiteral("kiwi "));
        expected = m_state->notes()->searchIds(QStringLiteral("kiwi"));
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), expected);
        QCOMPARE(m_window->noteList()->rowOf(expected.last()), int(expected.size()) - 1);
    }

    void onlyTheLastOfQuickSearchesIsShown()
    {
        openWindow();
        for (const QString &text : {QStringLiteral("kiwi"), QStringLiteral("melon"), QStringLiteral("kiwi kiwi"),
                                    QStringLiteral("melon")}) {
            fireSearch(text);
        }
        QTRY_VERIFY(!m_window->isSearchRunning());
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), m_state->notes()->searchIds(QStringLiteral("melon")));
        QTest::qWait(100);
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), m_state->notes()->searchIds(QStringLiteral("melon")));
    }

    void writeDuringASearchIsNotLost()
    {
        openWindow();
        fireSearch(QStringLiteral("kiwi"));
        // Before the answer comes back: one hit goes, a new one comes.
        QVERIFY(m_state->notes()->moveToTrash(m_ids.at(1)));
        const QString added = addNote(QStringLiteral("kiwi newcomer"), QDateTime::currentDateTimeUtc());
        QTRY_VERIFY(!m_window->isSearchRunning());
        const QStringList expected = m_state->notes()->searchIds(QStringLiteral("kiwi"));
        QVERIFY(expected.contains(added));
        QVERIFY(!expected.contains(m_ids.at(1)));
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), expected);
    }

    void clearingTheSearchSelectsTheOpenNoteAgain()
    {
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(2)); // "melon"
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(2));
        search(QStringLiteral("kiwi kiwi"));
        QVERIFY(!OmbrelTest::idsOf(m_window->noteList()->entries()).contains(m_ids.at(2)));
        search(QString());
        QCOMPARE(m_window->noteList()->count(), m_ids.size());
        QCOMPARE(m_window->noteList()->currentNoteId(), m_ids.at(2));
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(2));
    }

    void emptyNotebookShowsAHintAndNoOtherNote()
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = QStringLiteral("Empty");
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_state->notebooks()->insert(notebook));
        openWindow();
        m_window->noteList()->selectNote(m_ids.at(0));
        QCOMPARE(m_window->editor()->currentNoteId(), m_ids.at(0));

        Q_EMIT m_window->notebookList()->notebookSelected(notebook.id);
        QCOMPARE(m_window->noteList()->count(), 0);
        QCOMPARE(m_window->noteList()->placeholderText(), QStringLiteral("No notes in this notebook"));
        QVERIFY(m_window->editor()->currentNoteId().isEmpty());
        QVERIFY(m_window->editor()->toPlainText().trimmed().isEmpty());

        // All Notes has no hint: an empty library there has the welcome page.
        Q_EMIT m_window->notebookList()->allNotesSelected();
        QVERIFY(m_window->noteList()->placeholderText().isEmpty());
    }

    void searchWhileTheIndexIsFilledStillAnswers()
    {
        // A library from a build before the text index: triggers and table missing.
        QSqlQuery query(m_state->database()->handle());
        for (const char *sql : {"DROP TRIGGER notes_text_ai", "DROP TRIGGER notes_text_ad", "DROP TRIGGER notes_text_au",
                                "DROP TABLE notes_text_fts", "DROP TABLE notes_text_state"})
            QVERIFY(query.exec(QLatin1String(sql)));
        QVERIFY(NoteTextIndex::ensure(m_state->database()->handle()));
        m_state = reopened();
        QVERIFY(!m_state->notes()->textIndexComplete());

        openWindow();
        search(QStringLiteral("melon"));
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()).size(), 2);
        // The window fills the index from the event loop, then answers from it.
        QTRY_VERIFY(m_state->notes()->textIndexComplete());
        search(QStringLiteral("bold"));
        QCOMPARE(OmbrelTest::idsOf(m_window->noteList()->entries()), QStringList{m_ids.at(3)});
    }

    void notebookCountsFollowEveryChange_data()
    {
        QTest::addColumn<bool>("startInNotebook");
        QTest::newRow("all-notes") << false;
        QTest::newRow("in-a-notebook") << true;
    }

    void notebookCountsFollowEveryChange()
    {
        QFETCH(bool, startInNotebook);
        const QString a = addNotebook(QStringLiteral("A"));
        const QString b = addNotebook(QStringLiteral("B"));
        QVERIFY(m_state->notes()->moveToNotebook(m_ids.at(0), a));
        QVERIFY(m_state->notes()->moveToNotebook(m_ids.at(1), a));
        if (startInNotebook)
            m_state->setCurrentNotebookId(a);
        openWindow();
        QCOMPARE(shownCounts(), expectedCounts());

        NoteRepository *notes = m_state->notes();
        const QList<std::pair<const char *, std::function<bool()>>> steps = {
            {"move", [&] { return notes->moveToNotebook(m_ids.at(2), b); }},
            {"trash", [&] { return notes->moveToTrash(m_ids.at(0)); }},
            {"restore", [&] { return notes->restore(m_ids.at(0)); }},
            {"insert", [&] {
                 Note note;
                 note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
                 note.notebookId = a;
                 note.body = OmbrelTest::bodyOf(QStringLiteral("new"));
                 note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
                 return notes->insert(note);
             }},
            {"purge", [&] { return notes->deletePermanently(m_ids.at(1)); }},
            {"purge-trashed", [&] { return notes->moveToTrash(m_ids.at(3)) && notes->deletePermanently(m_ids.at(3)); }},
            {"out-of-notebook", [&] { return notes->moveToNotebook(m_ids.at(2), QString()); }},
            {"edit", [&] {
                 auto note = notes->findById(m_ids.at(0));
                 note->body = OmbrelTest::bodyOf(QStringLiteral("edited"));
                 note->version += 1;
                 return notes->update(*note);
             }},
        };
        for (const auto &[name, step] : steps) {
            QVERIFY2(step(), name);
            QVERIFY2(shownCounts() == expectedCounts(), name);
        }
    }

private:
    QString addNotebook(const QString &name)
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        return m_state->notebooks()->insert(notebook) ? notebook.id : QString();
    }

    // Notebook id ("" for All Notes) -> the count the sidebar shows.
    QHash<QString, int> shownCounts() const
    {
        QHash<QString, int> counts;
        QListWidget *list = m_window->notebookList();
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *item = list->item(row);
            const int kind = item->data(Qt::UserRole).toInt();
            if (kind == 0)
                counts.insert(QString(), item->data(Qt::UserRole + 3).toInt());
            else if (kind == 1)
                counts.insert(item->data(Qt::UserRole + 1).toString(), item->data(Qt::UserRole + 3).toInt());
        }
        return counts;
    }

    QHash<QString, int> expectedCounts() const
    {
        const QHash<QString, int> stored = m_state->notes()->noteCountsByNotebook();
        QHash<QString, int> counts;
        for (const Notebook &notebook : m_state->notebooks()->allNotebooks())
            counts.insert(notebook.id, stored.value(notebook.id));
        counts.insert(QString(), stored.value(QString()));
        return counts;
    }

    QString addNote(const QString &text, const QDateTime &updatedAt)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = OmbrelTest::bodyOf(text);
        note.createdAt = note.updatedAt = note.modifiedAt = updatedAt;
        if (!m_state->notes()->insert(note))
            return QString();
        return note.id;
    }

    std::unique_ptr<AppState> reopened()
    {
        m_state.reset();
        auto state = std::make_unique<AppState>();
        if (!state->initialize())
            return nullptr;
        return state;
    }

    void openWindow()
    {
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(1200, 800);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Sends the search without waiting for its answer.
    void fireSearch(const QString &text)
    {
        m_window->searchField()->setText(text);
        m_window->searchTimer()->setInterval(0);
        m_window->searchTimer()->start();
        QTRY_VERIFY(!m_window->searchTimer()->isActive());
        m_window->searchTimer()->setInterval(300);
    }

    void search(const QString &text)
    {
        m_window->searchField()->setText(text);
        QTRY_VERIFY(!m_window->searchTimer()->isActive() && !m_window->isSearchRunning());
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_ids;
};

QTEST_MAIN(TestNoteListSearch)
#include "tst_notelistsearch.moc"
