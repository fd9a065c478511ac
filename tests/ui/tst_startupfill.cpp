#include "appstate.h"
#include "database.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "statusbar.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSettings>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <memory>

namespace {

constexpr int NoteCount = 150;
constexpr int FirstScreen = 10;
constexpr int Chunk = 7;

enum class During {
    Nothing,
    EditUnreadNote,   // moves from the unread part to the top
    AgeReadNote,      // moves from the first screen into the unread part
    TrashUnreadNote,
    TrashReadNote,
    AddNote,
    MoveToOtherNotebook,
    PurgeUnreadNote,
    SwitchNotebook,
    SearchThenClear,
    EndKey,
    ScrollToBottom,
    DownKeyWithLastNoteUnread,
};

} // namespace

Q_DECLARE_METATYPE(During)

// The note list is shown from its first screen and filled from the idle loop: whatever
// happens while it fills, the user must end up with exactly the list a full read gives,
// in the same order, with the counts right all along.
class TestStartupFill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        OmbrelTest::initTestEnvironment();
        QVERIFY(m_settingsDir.isValid());
        OmbrelTest::isolateSettings(m_settingsDir.path());
        MainWindow::setListPaging(FirstScreen, Chunk);
    }

    void cleanupTestCase() { MainWindow::setListPaging(0, 0); }

    void init()
    {
        QSettings(QStringLiteral("Ombrel"), QStringLiteral("Notes")).clear();
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        NoteRepository *notes = m_state->notes();
        for (const Note &note : notes->allNotes())
            QVERIFY(notes->deletePermanently(note.id));
        m_notebookA = addNotebook(QStringLiteral("A"));
        m_notebookB = addNotebook(QStringLiteral("B"));
        QSqlDatabase db = m_state->database()->handle();
        QVERIFY(db.transaction());
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-2);
        m_ids.clear();
        for (int i = 0; i < NoteCount; ++i) {
            Note note;
            note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            note.notebookId = i % 3 == 0 ? QString() : (i % 3 == 1 ? m_notebookA : m_notebookB);
            note.body = OmbrelTest::bodyOf(QStringLiteral("Note %1 %2").arg(i).arg(i % 5 == 0 ? "kiwi" : "plum"));
            // Runs of three equal times: only the id orders them.
            note.createdAt = note.updatedAt = note.modifiedAt = base.addSecs(60 * (i / 3));
            QVERIFY(notes->insert(note));
            m_ids.append(note.id);
        }
        QVERIFY(db.commit());
    }

    void cleanup()
    {
        m_window.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void fillGivesTheFullListInOrder_data()
    {
        QTest::addColumn<bool>("inNotebook");
        QTest::addColumn<bool>("steno");
        QTest::newRow("all-notes") << false << false;
        QTest::newRow("notebook") << true << false;
        QTest::newRow("all-notes-steno") << false << true;
        QTest::newRow("notebook-steno") << true << true;
    }

    void fillGivesTheFullListInOrder()
    {
        QFETCH(bool, inNotebook);
        QFETCH(bool, steno);
        if (inNotebook)
            m_state->setCurrentNotebookId(m_notebookA);
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), steno);
        openWindow();
        QVERIFY(m_window->isListFilling());
        QCOMPARE(m_window->noteList()->count(), FirstScreen);
        // Before a second row is read the window already tells the whole truth.
        QCOMPARE(shownCounts(), expectedCounts());
        QVERIFY2(m_window->statusBarWidget()->captionText().contains(QString::number(expectedIds().size())),
                 qPrintable(m_window->statusBarWidget()->captionText()));
        QTRY_VERIFY(!m_window->isListFilling());
        QCOMPARE(listedIds(), expectedIds());
        QCOMPARE(shownCounts(), expectedCounts());
    }

    void listEndsRightWhateverHappensDuringTheFill_data()
    {
        QTest::addColumn<During>("during");
        QTest::addColumn<bool>("inNotebook");
        QTest::newRow("nothing") << During::Nothing << false;
        QTest::newRow("edit-unread-note") << During::EditUnreadNote << false;
        QTest::newRow("age-read-note") << During::AgeReadNote << false;
        QTest::newRow("age-read-note-in-notebook") << During::AgeReadNote << true;
        QTest::newRow("trash-unread-note") << During::TrashUnreadNote << false;
        QTest::newRow("trash-read-note") << During::TrashReadNote << false;
        QTest::newRow("add-note") << During::AddNote << false;
        QTest::newRow("move-to-other-notebook") << During::MoveToOtherNotebook << true;
        QTest::newRow("move-to-other-notebook-all") << During::MoveToOtherNotebook << false;
        QTest::newRow("purge-unread-note") << During::PurgeUnreadNote << false;
        QTest::newRow("switch-notebook") << During::SwitchNotebook << false;
        QTest::newRow("switch-to-all-notes") << During::SwitchNotebook << true;
        QTest::newRow("search-then-clear") << During::SearchThenClear << false;
        QTest::newRow("end-key") << During::EndKey << false;
        QTest::newRow("scroll-to-bottom") << During::ScrollToBottom << false;
        QTest::newRow("down-key-last-note-unread") << During::DownKeyWithLastNoteUnread << false;
    }

    void listEndsRightWhateverHappensDuringTheFill()
    {
        QFETCH(During, during);
        QFETCH(bool, inNotebook);
        if (inNotebook)
            m_state->setCurrentNotebookId(m_notebookA);
        const QStringList before = expectedIds();
        const QString deep = before.at(before.size() - 5);
        if (during == During::DownKeyWithLastNoteUnread)
            m_state->setCurrentNoteId(deep);
        openWindow();
        QVERIFY(m_window->isListFilling());
        // One chunk in: part of the list read, most not.
        QTest::qWait(0);
        QCoreApplication::processEvents();
        NoteRepository *notes = m_state->notes();
        const QString unread = before.at(before.size() - 3);
        const QString read = before.at(2);

        switch (during) {
        case During::Nothing:
            break;
        case During::EditUnreadNote:
            QVERIFY(edit(unread, QDateTime::currentDateTimeUtc()));
            break;
        case During::AgeReadNote:
            QVERIFY(edit(read, QDateTime::currentDateTimeUtc().addYears(-3)));
            break;
        case During::TrashUnreadNote:
            QVERIFY(notes->moveToTrash(unread));
            break;
        case During::TrashReadNote:
            QVERIFY(notes->moveToTrash(read));
            break;
        case During::AddNote: {
            Note note;
            note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            note.body = OmbrelTest::bodyOf(QStringLiteral("new kiwi"));
            note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc().addDays(-1);
            QVERIFY(notes->insert(note));
            break;
        }
        case During::MoveToOtherNotebook:
            QVERIFY(notes->moveToNotebook(unread, m_notebookB));
            QVERIFY(notes->moveToNotebook(read, m_notebookB));
            break;
        case During::PurgeUnreadNote:
            QVERIFY(notes->deletePermanently(unread));
            break;
        case During::SwitchNotebook:
            if (inNotebook)
                Q_EMIT m_window->notebookList()->allNotesSelected();
            else
                Q_EMIT m_window->notebookList()->notebookSelected(m_notebookB);
            break;
        case During::SearchThenClear:
            search(QStringLiteral("kiwi"));
            QCOMPARE(listedIds(), notes->searchIds(QStringLiteral("kiwi")));
            search(QString());
            break;
        case During::EndKey:
            m_window->noteList()->setFocus();
            QTest::keyClick(m_window->noteList(), Qt::Key_End);
            QVERIFY(!m_window->isListFilling());
            QCOMPARE(m_window->noteList()->currentNoteId(), before.constLast());
            break;
        case During::ScrollToBottom: {
            QScrollBar *bar = m_window->noteList()->verticalScrollBar();
            bar->setValue(bar->maximum());
            QVERIFY(!m_window->isListFilling());
            QCOMPARE(m_window->noteList()->count(), before.size());
            QCOMPARE(bar->value(), bar->maximum());
            // The last row is what the view shows at its bottom.
            NoteListWidget *list = m_window->noteList();
            const QRect last = list->visualRect(list->model()->index(before.size() - 1, 0));
            QVERIFY(list->viewport()->rect().intersects(last));
            break;
        }
        case During::DownKeyWithLastNoteUnread:
            QCOMPARE(m_window->editor()->currentNoteId(), deep);
            m_window->noteList()->setFocus();
            QTest::keyClick(m_window->noteList(), Qt::Key_Down);
            QCOMPARE(m_window->noteList()->currentNoteId(), before.at(before.size() - 4));
            QCOMPARE(m_window->editor()->currentNoteId(), before.at(before.size() - 4));
            break;
        }

        QTRY_VERIFY(!m_window->isListFilling());
        QCOMPARE(listedIds(), expectedIds());
        QCOMPARE(shownCounts(), expectedCounts());
        QVERIFY2(m_window->statusBarWidget()->captionText().contains(
                     QStringLiteral("(%1 notes)").arg(expectedIds().size())),
                 qPrintable(m_window->statusBarWidget()->captionText()));
        // The rows that map search hits were kept right through the fill.
        search(QStringLiteral("kiwi"));
        QCOMPARE(listedIds(), notes->searchIds(QStringLiteral("kiwi")));
    }

    // The note reopened at start-up is selected once its row is read, without the list
    // jumping to it and without opening anything else.
    void lastNoteBeyondTheFirstScreenIsSelectedWhenReached()
    {
        const QStringList all = expectedIds();
        const QString deep = all.at(all.size() - 2);
        m_state->setCurrentNoteId(deep);
        openWindow();
        QVERIFY(m_window->isListFilling());
        QCOMPARE(m_window->editor()->currentNoteId(), deep);
        QTRY_VERIFY(!m_window->isListFilling());
        QCOMPARE(m_window->noteList()->currentNoteId(), deep);
        QCOMPARE(m_window->editor()->currentNoteId(), deep);
        QCOMPARE(m_window->noteList()->verticalScrollBar()->value(), 0);
    }

    // Trashing the open note from the header bar before its row was read trashes that
    // note, not nothing and not another.
    void trashingTheOpenNoteBeforeItsRowArrives()
    {
        const QStringList all = expectedIds();
        const QString deep = all.at(all.size() - 2);
        m_state->setCurrentNoteId(deep);
        openWindow();
        QVERIFY(m_window->isListFilling());
        QVERIFY(m_window->noteList()->currentNoteId().isEmpty());
        Q_EMIT m_window->headerBar()->deleteRequested();
        const std::optional<Note> note = m_state->notes()->findById(deep);
        QVERIFY(note && note->deletedAt);
        QCOMPARE(m_window->noteList()->currentNoteId(), all.constLast());
        QTRY_VERIFY(!m_window->isListFilling());
        QCOMPARE(listedIds(), expectedIds());
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

    bool edit(const QString &id, const QDateTime &updatedAt)
    {
        std::optional<Note> note = m_state->notes()->findById(id);
        if (!note)
            return false;
        note->body = OmbrelTest::bodyOf(QStringLiteral("edited kiwi"));
        note->updatedAt = note->modifiedAt = updatedAt;
        note->version += 1;
        return m_state->notes()->update(*note);
    }

    // What a full read gives for the window's current notebook and order.
    QStringList expectedIds() const
    {
        const QString notebookId = m_state->currentNotebookId();
        QStringList ids = OmbrelTest::idsOf(notebookId.isEmpty() ? m_state->notes()->listEntries()
                                                                 : m_state->notes()->listEntriesInNotebook(notebookId));
        if (m_state->preferences()->getBool(QStringLiteral("steno_mode"), false))
            std::reverse(ids.begin(), ids.end());
        return ids;
    }

    QStringList listedIds() const { return OmbrelTest::idsOf(m_window->noteList()->entries()); }

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
            else if (kind == 2)
                counts.insert(QStringLiteral("trash"), item->data(Qt::UserRole + 3).toInt());
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
        counts.insert(QStringLiteral("trash"), int(m_state->notes()->trashedIds().size()));
        return counts;
    }

    void openWindow()
    {
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->resize(1200, 800);
        m_window->show();
    }

    void search(const QString &text)
    {
        m_window->searchField()->setText(text);
        m_window->searchTimer()->setInterval(0);
        m_window->searchTimer()->start();
        QTRY_VERIFY(!m_window->searchTimer()->isActive() && !m_window->isSearchRunning());
        m_window->searchTimer()->setInterval(300);
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QString m_notebookA;
    QString m_notebookB;
    QStringList m_ids;
};

QTEST_MAIN(TestStartupFill)
#include "tst_startupfill.moc"
