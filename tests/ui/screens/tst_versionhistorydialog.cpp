#include "appstate.h"
#include "database.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "snapshotrepository.h"
#include "testsupport.h"
#include "versionhistorydialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

#include <memory>

namespace {

QString textBody(const QString &text)
{
    return QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
}

} // namespace

class TestVersionHistoryDialog : public QObject
{
    Q_OBJECT

private:
    QString addNote(const QString &text, int version = 1)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = textBody(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        note.version = version;
        note.syncStatus = SyncStatus::Synced;
        return m_state->notes()->insert(note) ? note.id : QString();
    }

    bool addSnapshot(const QString &noteId, int version, const QString &text)
    {
        Snapshot snapshot;
        snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        snapshot.noteId = noteId;
        snapshot.version = version;
        snapshot.body = textBody(text);
        snapshot.createdAt = QDateTime::currentDateTimeUtc().addSecs(-3600 + version);
        return m_state->snapshots()->insert(snapshot);
    }

    std::unique_ptr<VersionHistoryDialog> dialogFor(const QString &noteId, bool answer = true)
    {
        auto dialog = std::make_unique<VersionHistoryDialog>(m_state.get(), noteId);
        dialog->setQuestion([this, answer](const QString &title, const QString &) {
            m_messages.append(title);
            return answer;
        });
        dialog->setInformation([this](const QString &title, const QString &text) {
            m_messages.append(title + QLatin1Char('|') + text);
        });
        return dialog;
    }

    static QStringList labels(const QListWidget *list)
    {
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        return texts;
    }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    QStringList m_messages;

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_messages.clear();
    }

    void cleanup()
    {
        m_state.reset();
        m_dataDir.reset();
    }

    void noteWithoutSnapshotsShowsThePlaceholder()
    {
        const QString id = addNote(QStringLiteral("Plain"));
        auto dialog = dialogFor(id);
        QCOMPARE(labels(dialog->snapshotList()), QStringList{"No snapshots yet. Press Ctrl+S to save one."});
        QVERIFY(!dialog->restoreButton()->isEnabled());

        // The placeholder can be selected: the button follows, the preview stays empty.
        dialog->snapshotList()->setCurrentRow(0);
        dialog->flushPreview();
        QVERIFY(dialog->restoreButton()->isEnabled());
        QVERIFY(dialog->preview()->currentNoteId().isEmpty());
        dialog->restoreButton()->click();
        QVERIFY(m_messages.isEmpty());
    }

    void savingTwiceWithoutAnEditKeepsOneEntry()
    {
        const QString id = addNote(QStringLiteral("Once"));
        auto dialog = dialogFor(id);
        dialog->saveButton()->click();
        dialog->saveButton()->click();
        QCOMPARE(dialog->snapshotList()->count(), 1);
        QVERIFY(dialog->snapshotList()->item(0)->text().startsWith(QStringLiteral("v1 — ")));
        QCOMPARE(m_state->snapshots()->snapshotsForNote(id).size(), 1);
    }

    void rowsAreNewestVersionFirstAndPreviewTheirBody()
    {
        const QString id = addNote(QStringLiteral("Now"), 4);
        QVERIFY(addSnapshot(id, 2, QStringLiteral("Second")));
        QVERIFY(addSnapshot(id, 3, QStringLiteral("Third")));
        QVERIFY(addSnapshot(id, 1, QStringLiteral("First")));
        auto dialog = dialogFor(id);
        const QStringList rows = labels(dialog->snapshotList());
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows.at(0).startsWith(QStringLiteral("v3 — ")));
        QVERIFY(rows.at(2).startsWith(QStringLiteral("v1 — ")));
        // "MMM d, yyyy h:mm AP" in English.
        QVERIFY2(QRegularExpression(QStringLiteral("^v3 — [A-Z][a-z]{2} \\d{1,2}, \\d{4} \\d{1,2}:\\d{2} (AM|PM)$"))
                     .match(rows.at(0)).hasMatch(), qPrintable(rows.at(0)));

        dialog->snapshotList()->setCurrentRow(1);
        dialog->flushPreview();
        QCOMPARE(dialog->preview()->toPlainText(), QStringLiteral("Second"));
        QVERIFY(dialog->preview()->isReadOnly());

        dialog->snapshotList()->setCurrentRow(-1);
        QVERIFY(!dialog->restoreButton()->isEnabled());
        QVERIFY(dialog->preview()->toPlainText().isEmpty());
    }

    void restoreSnapshotsTheCurrentContentFirst_data()
    {
        QTest::addColumn<bool>("currentVersionHasSnapshot");
        QTest::newRow("adds-pre-restore-entry") << false;
        QTest::newRow("replaces-same-version-entry") << true;
    }

    void restoreSnapshotsTheCurrentContentFirst()
    {
        QFETCH(bool, currentVersionHasSnapshot);
        const QString id = addNote(QStringLiteral("Current"), 5);
        QVERIFY(addSnapshot(id, 2, QStringLiteral("Old")));
        if (currentVersionHasSnapshot)
            QVERIFY(addSnapshot(id, 5, QStringLiteral("Stale copy of five")));
        auto dialog = dialogFor(id);
        const int before = dialog->snapshotList()->count();
        QSignalSpy external(m_state.get(), &AppState::noteUpdatedExternally);

        dialog->snapshotList()->setCurrentRow(before - 1); // v2
        dialog->restoreButton()->click();

        QCOMPARE(m_messages, (QStringList{"Restore Snapshot", "Restored|Snapshot restored successfully."}));
        const Note note = *m_state->notes()->findById(id);
        QCOMPARE(note.body, textBody(QStringLiteral("Old")));
        QCOMPARE(note.version, 6);
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QCOMPARE(dialog->snapshotList()->count(), currentVersionHasSnapshot ? before : before + 1);
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(id);
        QCOMPARE(snapshots.first().version, 5);
        QCOMPARE(snapshots.first().body, textBody(QStringLiteral("Current")));
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.at(0).at(0).toString(), id);
        QCOMPARE(external.at(0).at(1).value<QObject *>(), dialog.get());
    }

    void cancellingTheRestoreChangesNothing()
    {
        const QString id = addNote(QStringLiteral("Keep"), 3);
        QVERIFY(addSnapshot(id, 1, QStringLiteral("Old")));
        auto dialog = dialogFor(id, false);
        QSignalSpy changes(m_state->notes(), &NoteRepository::notesChanged);
        dialog->snapshotList()->setCurrentRow(0);
        dialog->restoreButton()->click();
        QCOMPARE(m_messages, QStringList{"Restore Snapshot"});
        QCOMPARE(changes.size(), 0);
        const Note note = *m_state->notes()->findById(id);
        QCOMPARE(note.version, 3);
        QCOMPARE(note.body, textBody(QStringLiteral("Keep")));
        QCOMPARE(m_state->snapshots()->snapshotsForNote(id).size(), 1);
    }

    void listingReadsNoBodies()
    {
        const QString id = addNote(QStringLiteral("Big"), 3);
        QVERIFY(addSnapshot(id, 1, QStringLiteral("One")));
        QVERIFY(addSnapshot(id, 2, QStringLiteral("Two")));
        const QList<Snapshot> headers = m_state->snapshots()->snapshotHeadersForNote(id);
        const QList<Snapshot> full = m_state->snapshots()->snapshotsForNote(id);
        QCOMPARE(headers.size(), full.size());
        for (qsizetype i = 0; i < headers.size(); ++i) {
            QCOMPARE(headers.at(i).id, full.at(i).id);
            QCOMPARE(headers.at(i).version, full.at(i).version);
            QCOMPARE(headers.at(i).createdAt, full.at(i).createdAt);
            QVERIFY(headers.at(i).body.isEmpty());
        }
        // Large bodies sit before created_at in the row: only an index keeps them unread.
        QSqlQuery plan(m_state->database()->handle());
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT id, version, created_at FROM note_snapshots "
                                         "WHERE note_id='x' ORDER BY version DESC")));
        QStringList steps;
        while (plan.next())
            steps.append(plan.value(3).toString());
        QVERIFY2(steps.join(QLatin1Char(' ')).contains(QStringLiteral("COVERING INDEX idx_note_snapshots_list")),
                 qPrintable(steps.join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(TestVersionHistoryDialog)
#include "tst_versionhistorydialog.moc"
