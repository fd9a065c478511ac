#include "note.h"
#include "notelistdelegate.h"
#include "notelistmodel.h"
#include "notelistwidget.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QDateTime BaseTime(QDate(2024, 6, 20), QTime(12, 0), Qt::UTC);

QString deltaBody(const QString &text)
{
    QJsonObject op;
    op.insert(QStringLiteral("insert"), text + QLatin1Char('\n'));
    return QString::fromUtf8(QJsonDocument(QJsonArray{op}).toJson(QJsonDocument::Compact));
}

NoteListEntry entry(const QString &id, int version = 1)
{
    NoteListEntry result;
    result.id = id;
    result.version = version;
    result.updatedAt = BaseTime.addSecs(version);
    return result;
}

QList<NoteListEntry> entries(const QStringList &ids)
{
    QList<NoteListEntry> result;
    for (const QString &id : ids)
        result.append(entry(id));
    return result;
}

// Each operation as a test row names: an update the main window makes on a change report,
// a refill, or a fill appended in the background.
enum class Operation { Place, Remove, Append, SetEntries, SetNotes };

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestNoteListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void updatesKeepCurrentNoteWithoutSignals_data();
    void updatesKeepCurrentNoteWithoutSignals();
    void rowsStayFindableThroughMixedUpdates_data();
    void rowsStayFindableThroughMixedUpdates();
    void appendIsOneInsertionAfterTheLastRow();
    void refillIsOneModelReset();
    void handedOverBodyOfOlderVersionIsNotShown();
    void paintedRowRoles();
    void badIndexesGiveNoData_data();
    void badIndexesGiveNoData();
    void largeListCreatesNoObjectPerRow();

private:
    std::unique_ptr<NoteListWidget> m_list;
    QHash<QString, QString> m_bodies;
    int m_bodyReads = 0;
};

void TestNoteListModel::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteListModel::init()
{
    m_bodies.clear();
    m_bodyReads = 0;
    m_list = std::make_unique<NoteListWidget>();
    m_list->resize(320, 600);
    m_list->setBodyProvider([this](const QString &id) {
        ++m_bodyReads;
        return m_bodies.value(id);
    });
}

void TestNoteListModel::cleanup()
{
    m_list.reset();
}

void TestNoteListModel::updatesKeepCurrentNoteWithoutSignals_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("ids"); // the note placed/removed, or the new list
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("current"); // after the update; empty for none

    // Before each row: a b c d e, with c current.
    QTest::newRow("place-new-above-current") << Operation::Place << QStringList{"f"} << 1
                                             << QStringList{"a", "f", "b", "c", "d", "e"} << "c";
    QTest::newRow("place-current-at-top") << Operation::Place << QStringList{"c"} << 0
                                          << QStringList{"c", "a", "b", "d", "e"} << "c";
    QTest::newRow("place-current-at-end") << Operation::Place << QStringList{"c"} << 4
                                          << QStringList{"a", "b", "d", "e", "c"} << "c";
    QTest::newRow("place-other-across-current") << Operation::Place << QStringList{"e"} << 0
                                                << QStringList{"e", "a", "b", "c", "d"} << "c";
    QTest::newRow("place-other-down-across-current") << Operation::Place << QStringList{"a"} << 3
                                                     << QStringList{"b", "c", "d", "a", "e"} << "c";
    QTest::newRow("place-in-place") << Operation::Place << QStringList{"d"} << 3
                                    << QStringList{"a", "b", "c", "d", "e"} << "c";
    QTest::newRow("remove-above-current") << Operation::Remove << QStringList{"a"} << 0
                                          << QStringList{"b", "c", "d", "e"} << "c";
    QTest::newRow("remove-current") << Operation::Remove << QStringList{"c"} << 0
                                    << QStringList{"a", "b", "d", "e"} << "";
    QTest::newRow("remove-unknown") << Operation::Remove << QStringList{"x"} << 0
                                    << QStringList{"a", "b", "c", "d", "e"} << "c";
    QTest::newRow("append") << Operation::Append << QStringList{"f", "g"} << 0
                            << QStringList{"a", "b", "c", "d", "e", "f", "g"} << "c";
    QTest::newRow("append-skips-listed") << Operation::Append << QStringList{"f", "c", "f", "g"} << 0
                                         << QStringList{"a", "b", "c", "d", "e", "f", "g"} << "c";
    QTest::newRow("set-entries-moving-current") << Operation::SetEntries << QStringList{"e", "c", "x"} << 0
                                                << QStringList{"e", "c", "x"} << "c";
    QTest::newRow("set-entries-without-current") << Operation::SetEntries << QStringList{"a", "b"} << 0
                                                 << QStringList{"a", "b"} << "";
    QTest::newRow("set-notes-moving-current") << Operation::SetNotes << QStringList{"x", "y", "c"} << 0
                                              << QStringList{"x", "y", "c"} << "c";
    QTest::newRow("set-empty") << Operation::SetEntries << QStringList{} << 0 << QStringList{} << "";
}

void TestNoteListModel::updatesKeepCurrentNoteWithoutSignals()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, ids);
    QFETCH(int, row);
    QFETCH(QStringList, expected);
    QFETCH(QString, current);

    m_list->setEntries(entries({"a", "b", "c", "d", "e"}));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->selectNote(QStringLiteral("c"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);

    switch (operation) {
    case Operation::Place:
        m_list->placeEntry(entry(ids.first(), 2), row);
        break;
    case Operation::Remove:
        m_list->removeEntry(ids.first());
        break;
    case Operation::Append:
        if (ids.contains(QStringLiteral("c")))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("listed twice")));
        if (ids.count(QStringLiteral("f")) > 1)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("listed twice")));
        m_list->appendEntries(entries(ids));
        break;
    case Operation::SetEntries:
        m_list->setEntries(entries(ids));
        break;
    case Operation::SetNotes: {
        QList<Note> notes;
        for (const QString &id : std::as_const(ids)) {
            Note note;
            note.id = id;
            note.body = deltaBody(id);
            notes.append(note);
        }
        m_list->setNotes(notes);
        break;
    }
    }

    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), expected);
    QCOMPARE(m_list->count(), expected.size());
    QCOMPARE(m_list->currentNoteId(), current);
    QCOMPARE(selected.count(), 0);
    const QModelIndexList selection = m_list->selectionModel()->selectedIndexes();
    if (current.isEmpty()) {
        QCOMPARE(m_list->currentRow(), -1);
        QVERIFY(selection.isEmpty());
    } else {
        QCOMPARE(m_list->currentRow(), int(expected.indexOf(current)));
        QCOMPARE(selection.size(), 1);
        QCOMPARE(selection.first().row(), m_list->currentRow());
    }
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(m_list->rowOf(expected.at(i)), int(i));
        QCOMPARE(m_list->noteIdAt(int(i)), expected.at(i));
    }
    // Nothing left over from a removed row.
    for (const QString &id : {"a", "b", "c", "d", "e", "f", "g", "x", "y"}) {
        if (!expected.contains(id))
            QCOMPARE(m_list->rowOf(id), -1);
    }
    // Later user selections still report.
    if (!expected.isEmpty()) {
        m_list->setCurrentRow(int(expected.size()) - 1);
        m_list->setCurrentRow(0);
        QVERIFY(!selected.isEmpty());
        QCOMPARE(selected.last().first().toString(), expected.first());
    }
}

void TestNoteListModel::rowsStayFindableThroughMixedUpdates_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("size");

    QTest::newRow("small-list") << 7u << 12;
    QTest::newRow("medium-list") << 2024u << 400;
    QTest::newRow("grows-from-empty") << 99u << 0;
}

// Against a plain list of ids: placements, removals, appends and refills in random order,
// the case that breaks a row lookup kept beside the rows.
void TestNoteListModel::rowsStayFindableThroughMixedUpdates()
{
    QFETCH(quint32, seed);
    QFETCH(int, size);

    QRandomGenerator random(seed);
    QStringList reference;
    for (int i = 0; i < size; ++i)
        reference.append(QStringLiteral("n%1").arg(i));
    m_list->setEntries(entries(reference));
    int next = size;

    for (int step = 0; step < 600; ++step) {
        const int kind = int(random.bounded(10));
        if (kind < 4 || reference.isEmpty()) {
            // Existing or new note to a random row.
            const bool existing = !reference.isEmpty() && random.bounded(3) != 0;
            const QString id = existing ? reference.at(int(random.bounded(int(reference.size()))))
                                        : QStringLiteral("n%1").arg(next++);
            const int row = int(random.bounded(int(reference.size()) + 3)) - 1;
            reference.removeOne(id);
            reference.insert(std::clamp<qsizetype>(row, 0, reference.size()), id);
            m_list->placeEntry(entry(id, step + 2), row);
        } else if (kind < 7) {
            const QString id = reference.takeAt(int(random.bounded(int(reference.size()))));
            m_list->removeEntry(id);
        } else if (kind < 9) {
            QStringList added;
            for (int i = int(random.bounded(4)); i >= 0; --i)
                added.append(QStringLiteral("n%1").arg(next++));
            reference.append(added);
            m_list->appendEntries(entries(added));
        } else {
            std::reverse(reference.begin(), reference.end());
            m_list->setEntries(entries(reference));
        }
        QCOMPARE(OmbrelTest::idsOf(m_list->entries()), reference);
        // Probe a few rows each step and all of them now and then.
        const qsizetype probes = step % 50 == 0 ? reference.size() : std::min<qsizetype>(3, reference.size());
        for (qsizetype i = 0; i < probes; ++i) {
            const int row = step % 50 == 0 ? int(i) : int(random.bounded(int(reference.size())));
            QCOMPARE(m_list->rowOf(reference.at(row)), row);
        }
    }
}

void TestNoteListModel::appendIsOneInsertionAfterTheLastRow()
{
    m_list->setPlaceholderText(QStringLiteral("No notes in this notebook"));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    const QImage placeholder = m_list->grab().toImage();

    QSignalSpy inserted(m_list->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(m_list->model(), &QAbstractItemModel::modelReset);
    m_bodies.insert(QStringLiteral("a"), deltaBody(QStringLiteral("First")));
    m_list->appendEntries(entries({"a", "b", "c"}));
    m_list->appendEntries({});
    m_list->appendEntries(entries({"d"}));
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 3);
    QCOMPARE(reset.count(), 0);
    // The placeholder goes as soon as there are rows.
    QVERIFY(m_list->grab().toImage() != placeholder);

    // The last row can be reached by keyboard and by scrolling while rows keep coming.
    m_list->selectNote(QStringLiteral("b"));
    QTest::keyClick(m_list.get(), Qt::Key_End);
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("d"));
    m_list->appendEntries(entries({"e"}));
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("d"));
    QTest::keyClick(m_list.get(), Qt::Key_Down);
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("e"));
}

void TestNoteListModel::refillIsOneModelReset()
{
    m_list->setEntries(entries({"a", "b"}));
    QSignalSpy reset(m_list->model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(m_list->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(m_list->model(), &QAbstractItemModel::rowsRemoved);
    QStringList ids;
    for (int i = 0; i < 5000; ++i)
        ids.append(QStringLiteral("note-%1").arg(i));
    m_list->setEntries(entries(ids));
    m_list->setRows(NoteListModel::prepareRows(entries({"x", "y"})));
    QCOMPARE(reset.count(), 2);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(m_list->rowOf(QStringLiteral("y")), 1);
}

// The Trash screen hands bodies over with the notes; one kept past an edit of the note
// would show the old text under the new version.
void TestNoteListModel::handedOverBodyOfOlderVersionIsNotShown()
{
    Note note;
    note.id = QStringLiteral("a");
    note.body = deltaBody(QStringLiteral("Old title"));
    note.updatedAt = BaseTime.addSecs(1);
    m_list->setNotes({note});
    m_bodies.insert(QStringLiteral("a"), deltaBody(QStringLiteral("New title")));

    m_list->placeEntry(entry(QStringLiteral("a"), 2), 0);
    QCOMPARE(m_list->indexOfRow(0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("New title"));
    QCOMPARE(m_bodyReads, 1);

    // The handed-over body of the current version is used without asking the provider.
    note.body = deltaBody(QStringLiteral("Given"));
    note.version = 3;
    note.updatedAt = BaseTime.addSecs(3);
    m_list->setNotes({note});
    QCOMPARE(m_list->indexOfRow(0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("Given"));
    QCOMPARE(m_bodyReads, 1);
}

void TestNoteListModel::paintedRowRoles()
{
    NoteListEntry shared = entry(QStringLiteral("s"), 4);
    shared.notebookId = QStringLiteral("nb");
    shared.isShared = true;
    shared.syncStatus = SyncStatus::Conflict;
    m_bodies.insert(QStringLiteral("s"), deltaBody(QStringLiteral("Title line\nbody text")));
    m_list->setNotebookNameResolver([](const QString &id) { return id == QLatin1String("nb") ? QStringLiteral("Work") : QString(); });
    m_list->setEntries({entry(QStringLiteral("plain")), shared});
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->grab();
    QCOMPARE(m_list->noteModel()->cachedTextCount(), 2);

    const QModelIndex index = m_list->indexOfRow(1);
    QCOMPARE(index.data(NoteListWidget::NoteIdRole).toString(), QStringLiteral("s"));
    QCOMPARE(index.data(NoteListWidget::TitleRole).toString(), QStringLiteral("Title line"));
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QStringLiteral("Title line"));
    QCOMPARE(index.data(NoteListWidget::PreviewRole).toString(), QStringLiteral("body text"));
    QCOMPARE(index.data(NoteListWidget::UpdatedAtRole).toDateTime(), shared.updatedAt);
    QCOMPARE(index.data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
    QCOMPARE(index.data(NoteListWidget::NoTitleRole).toBool(), false);
    QCOMPARE(index.data(NoteListWidget::IsSharedRole).toBool(), true);
    QCOMPARE(index.data(NoteListWidget::SyncStatusRole).toInt(), 2);
    QCOMPARE(int(NoteListWidget::SyncStatusRole), Qt::UserRole + 7);
    QVERIFY(index.flags().testFlag(Qt::ItemIsDragEnabled));
    // Painting read each body once; asking again reads nothing.
    QCOMPARE(m_bodyReads, 2);
}

void TestNoteListModel::badIndexesGiveNoData_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("negative-row") << -1 << 0;
    QTest::newRow("past-the-end") << 2 << 0;
    QTest::newRow("far-past-the-end") << 1000000 << 0;
    QTest::newRow("second-column") << 0 << 1;
}

void TestNoteListModel::badIndexesGiveNoData()
{
    QFETCH(int, row);
    QFETCH(int, column);

    m_list->setEntries(entries({"a", "b"}));
    const QAbstractItemModel *model = m_list->model();
    const QModelIndex index = model->index(row, column);
    QVERIFY(!index.isValid());
    QVERIFY(!model->data(index, NoteListWidget::NoteIdRole).isValid());
    QCOMPARE(model->rowCount(model->index(0, 0)), 0); // rows have no children
    if (column == 0) {
        QCOMPARE(m_list->noteIdAt(row), QString());
        QCOMPARE(m_list->entryAt(row).id, QString());
        m_list->setCurrentRow(row);
        QCOMPARE(m_list->currentRow(), -1);
    }
    QCOMPARE(m_bodyReads, 0);
}

void TestNoteListModel::largeListCreatesNoObjectPerRow()
{
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->grab();
    const qsizetype objectsEmpty = m_list->findChildren<QObject *>().size();

    constexpr int Count = 100000;
    QList<NoteListEntry> list;
    list.reserve(Count);
    for (int i = 0; i < Count; ++i)
        list.append(entry(QStringLiteral("note-%1").arg(i)));
    m_list->setEntries(list);
    m_list->grab();
    m_list->verticalScrollBar()->setValue(m_list->verticalScrollBar()->maximum());
    m_list->grab();
    m_list->selectNote(QStringLiteral("note-50000"));
    m_list->grab();

    QCOMPARE(m_list->findChildren<QObject *>().size(), objectsEmpty);
    // Texts are derived for painted rows only: three screens of rows here.
    const int screenRows = m_list->viewport()->height() / NoteListDelegate::rowHeight() + 2;
    QVERIFY2(m_list->noteModel()->cachedTextCount() <= 3 * screenRows,
             qPrintable(QString::number(m_list->noteModel()->cachedTextCount())));
    QCOMPARE(m_bodyReads, m_list->noteModel()->cachedTextCount());
    QCOMPARE(m_list->rowOf(QStringLiteral("note-99999")), Count - 1);
}

QTEST_MAIN(TestNoteListModel)
#include "tst_notelistmodel.moc"
