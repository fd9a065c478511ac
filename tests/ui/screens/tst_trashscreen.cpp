#include "appstate.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "storagefixture.h"
#include "testsupport.h"
#include "trashscreen.h"

#include <QPushButton>
#include <QTest>
#include <QUuid>

#include <memory>

class TestTrashScreen : public QObject
{
    Q_OBJECT

private:
    QString addNote(const QString &text, bool trashed)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        if (!m_state->notes()->insert(note) || (trashed && !m_state->notes()->moveToTrash(note.id)))
            return {};
        return note.id;
    }

    QStringList listedIds() const { return OmbrelTest::idsOf(m_screen->noteList()->entries()); }

    void answer(bool yes)
    {
        m_screen->setQuestion([this, yes](const QString &title, const QString &text) {
            m_questions.append(title + QLatin1Char('|') + text);
            return yes;
        });
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<TrashScreen> m_screen;
    QStringList m_questions;

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_screen = std::make_unique<TrashScreen>(m_state.get());
        m_questions.clear();
        answer(false);
    }

    void cleanup()
    {
        m_screen.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void rowButtonsFollowTheSelection()
    {
        const QString first = addNote(QStringLiteral("First"), true);
        const QString second = addNote(QStringLiteral("Second"), true);
        m_screen->reload();
        QCOMPARE(listedIds(), (QStringList{second, first}));
        QVERIFY(!m_screen->restoreButton()->isEnabled());
        QVERIFY(!m_screen->deleteButton()->isEnabled());
        QVERIFY(m_screen->emptyButton()->isEnabled());

        m_screen->noteList()->selectNote(first);
        QVERIFY(m_screen->restoreButton()->isEnabled());
        QVERIFY(m_screen->deleteButton()->isEnabled());

        // A reload, as before every show, drops the selection with the buttons.
        m_screen->reload();
        QVERIFY(m_screen->noteList()->currentNoteId().isEmpty());
        QVERIFY(!m_screen->restoreButton()->isEnabled());

        m_screen->noteList()->selectNote(first);
        m_screen->restoreButton()->click();
        QVERIFY(!m_state->notes()->findById(first)->deletedAt);
        QCOMPARE(listedIds(), QStringList{second});
        QVERIFY(m_screen->noteList()->currentNoteId().isEmpty());
        QVERIFY(!m_screen->restoreButton()->isEnabled());
        QVERIFY(!m_screen->deleteButton()->isEnabled());
    }

    void deletePermanentlyAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes-deletes") << true;
        QTest::newRow("no-keeps") << false;
    }

    void deletePermanentlyAsksFirst()
    {
        QFETCH(bool, yes);
        const QString id = addNote(QStringLiteral("Old"), true);
        m_screen->reload();
        answer(yes);
        m_screen->noteList()->selectNote(id);
        m_screen->deleteButton()->click();
        QCOMPARE(m_questions, QStringList{"Delete Permanently|This note will be permanently deleted. This cannot be undone."});
        QCOMPARE(m_state->notes()->findById(id).has_value(), !yes);
        QCOMPARE(listedIds().isEmpty(), yes);
    }

    void emptyTrashAsksWithTheCount_data()
    {
        QTest::addColumn<int>("trashed");
        QTest::addColumn<bool>("yes");
        QTest::newRow("empty-trash-asks-nothing") << 0 << true;
        QTest::newRow("three-declined") << 3 << false;
        QTest::newRow("three-accepted") << 3 << true;
    }

    void emptyTrashAsksWithTheCount()
    {
        QFETCH(int, trashed);
        QFETCH(bool, yes);
        const QString live = addNote(QStringLiteral("Live"), false);
        for (int i = 0; i < trashed; ++i)
            addNote(QStringLiteral("Trashed %1").arg(i), true);
        m_screen->reload();
        QCOMPARE(m_screen->emptyButton()->isEnabled(), trashed > 0);
        answer(yes);
        m_screen->emptyTrash();

        if (trashed == 0) {
            QVERIFY(m_questions.isEmpty());
        } else {
            QCOMPARE(m_questions, QStringList{QStringLiteral("Empty Trash|Permanently delete all %1 notes in trash? "
                                                             "This cannot be undone.").arg(trashed)});
        }
        const int left = yes ? 0 : trashed;
        QCOMPARE(m_state->notes()->trashedNotes().size(), left);
        QCOMPARE(listedIds().size(), left);
        QCOMPARE(m_screen->emptyButton()->isEnabled(), left > 0);
        QVERIFY(m_state->notes()->findById(live));
    }

    // Left to us: the open screen follows trashing and restoring done elsewhere.
    void openScreenFollowsTheRepository()
    {
        const QString kept = addNote(QStringLiteral("Kept"), true);
        const QString live = addNote(QStringLiteral("Live"), false);
        m_screen->reload();
        m_screen->show();
        m_screen->noteList()->selectNote(kept);

        QVERIFY(m_state->notes()->moveToTrash(live));
        QCOMPARE(listedIds(), (QStringList{live, kept}));
        QCOMPARE(m_screen->noteList()->currentNoteId(), kept);
        QVERIFY(m_screen->restoreButton()->isEnabled());

        QVERIFY(m_state->notes()->restore(kept));
        QCOMPARE(listedIds(), QStringList{live});
        QVERIFY(!m_screen->restoreButton()->isEnabled());

        // Hidden, it waits for the next show.
        m_screen->hide();
        QVERIFY(m_state->notes()->moveToTrash(kept));
        QCOMPARE(listedIds(), QStringList{live});
        m_screen->show();
        QCOMPARE(listedIds(), (QStringList{kept, live}));
    }
};

QTEST_MAIN(TestTrashScreen)
#include "tst_trashscreen.moc"
