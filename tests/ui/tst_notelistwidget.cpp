#include "deltadocument.h"
#include "note.h"
#include "notelistdelegate.h"
#include "notelistwidget.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A body holding the given plain text, as the editor stores it.
QString deltaBody(const QString &text)
{
    QJsonObject op;
    op.insert(QStringLiteral("insert"), text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n'));
    return QString::fromUtf8(QJsonDocument(QJsonArray{op}).toJson(QJsonDocument::Compact));
}

const QDateTime BaseTime(QDate(2024, 6, 20), QTime(12, 0), Qt::UTC);

NoteListEntry entry(const QString &id, int version = 1)
{
    NoteListEntry result;
    result.id = id;
    result.version = version;
    result.updatedAt = BaseTime.addSecs(version);
    return result;
}

Note note(const QString &id, const QString &body)
{
    Note result;
    result.id = id;
    result.body = body;
    result.updatedAt = BaseTime;
    return result;
}

QList<NoteListEntry> entries(const QStringList &ids)
{
    QList<NoteListEntry> result;
    for (const QString &id : ids)
        result.append(entry(id));
    return result;
}

} // namespace

class TestNoteListWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void refillKeepsSelectionWithoutSignal();
    void refillWithoutSelectedNoteSelectsNothing();
    void titleRules_data();
    void titleRules();
    void rolesFollowEntry();
    void notebookNamesResolvedAgainOnRefresh();
    void keysActOnCurrentNote_data();
    void keysActOnCurrentNote();
    void mimeDataCarriesFirstId();
    void doubleClickAndContextMenuReportNote();
    void placeEntryInsertsAndMovesSilently();
    void placeEntryRereadsBodyOnlyForNewVersion();
    void removeEntryKeepsOrderAndSelection();
    void removingCurrentNoteSelectsNothing();
    void duplicateIdsShowOnce();
    void clearingLeavesNoStaleRows();
    void largeListReadsOnlyVisibleBodies();
    void refreshReusesTextsOfUnchangedNotes();
    void hostileBodiesPaint();
    void rowHeightFollowsBodySize_data();
    void rowHeightFollowsBodySize();
    void unsyncedMarkOnlyWhenShown_data();
    void unsyncedMarkOnlyWhenShown();
    void placeholderOnlyOnAnEmptyList();

private:
    void useBodies(const QHash<QString, QString> &bodies);

    std::unique_ptr<NoteListWidget> m_list;
    QHash<QString, QString> m_bodies;
    int m_bodyReads = 0;
};

void TestNoteListWidget::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNoteListWidget::init()
{
    DeltaDocument::setBodyPixelSize(16);
    m_bodies.clear();
    m_bodyReads = 0;
    m_list = std::make_unique<NoteListWidget>();
    m_list->resize(320, 600);
    m_list->setBodyProvider([this](const QString &id) {
        ++m_bodyReads;
        return m_bodies.value(id);
    });
}

void TestNoteListWidget::cleanup()
{
    m_list.reset();
    DeltaDocument::setBodyPixelSize(16);
}

void TestNoteListWidget::useBodies(const QHash<QString, QString> &bodies)
{
    m_bodies = bodies;
}

void TestNoteListWidget::refillKeepsSelectionWithoutSignal()
{
    m_list->setNotes({note("a", deltaBody("A")), note("b", deltaBody("B")), note("c", deltaBody("C"))});
    m_list->selectNote(QStringLiteral("b"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);

    m_list->setNotes({note("c", deltaBody("C")), note("d", deltaBody("D")), note("b", deltaBody("B2"))});
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("b"));
    QCOMPARE(m_list->currentRow(), 2);
    QVERIFY(m_list->selectionModel()->isSelected(m_list->currentIndex()));

    m_list->setEntries(entries({"b", "x", "c"}));
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("b"));
    QCOMPARE(m_list->currentRow(), 0);
    QCOMPARE(selected.count(), 0);

    // A later user selection still reports.
    m_list->selectNote(QStringLiteral("x"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().first().toString(), QStringLiteral("x"));
}

void TestNoteListWidget::refillWithoutSelectedNoteSelectsNothing()
{
    m_list->setEntries(entries({"a", "b"}));
    m_list->selectNote(QStringLiteral("b"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);

    m_list->setEntries(entries({"a", "c"}));
    QCOMPARE(m_list->currentNoteId(), QString());
    QCOMPARE(m_list->currentRow(), -1);
    QVERIFY(m_list->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(selected.count(), 0);

    m_list->selectNote(QStringLiteral("absent"));
    QCOMPARE(m_list->currentRow(), -1);
    QCOMPARE(selected.count(), 0);
}

void TestNoteListWidget::titleRules_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<bool>("noTitle");

    QTest::newRow("first-line-only") << deltaBody("Shopping") << "Shopping" << "" << false;
    QTest::newRow("title-and-lines") << deltaBody("Plan\nfirst step\nsecond step")
                                     << "Plan" << "first step second step" << false;
    QTest::newRow("blank-first-line") << deltaBody("\nBuy milk") << "Buy milk" << "" << true;
    QTest::newRow("blank-first-lines-then-text") << deltaBody("   \n\n  later text  ")
                                                 << "later text" << "" << true;
    QTest::newRow("empty-note") << Note::emptyBody() << "Untitled" << "" << true;
    QTest::newRow("no-body") << QString() << "Untitled" << "" << true;
    QTest::newRow("non-json-body") << QStringLiteral("plain words\nsecond") << "plain words"
                                   << "second" << false;
    QTest::newRow("truncated-json") << QStringLiteral("[{\"insert\":") << "[{\"insert\":" << ""
                                    << false;
    QTest::newRow("json-object-not-array") << QStringLiteral("{\"insert\":\"x\"}")
                                           << "{\"insert\":\"x\"}" << "" << false;
    QTest::newRow("embed-only") << QStringLiteral("[{\"insert\":{\"image\":\"x\"}},{\"insert\":\"\\n\"}]")
                                << "Untitled" << "" << true;
}

void TestNoteListWidget::titleRules()
{
    QFETCH(QString, body);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, noTitle);

    // Both ways of filling must agree: bodies handed over, and bodies read on demand.
    m_list->setNotes({note("n", body)});
    useBodies({{QStringLiteral("n"), body}});
    auto check = [&](const char *how) {
        const QModelIndex item = m_list->indexOfRow(0);
        QVERIFY2(item.isValid(), how);
        QCOMPARE(item.data(NoteListWidget::TitleRole).toString(), title);
        QCOMPARE(item.data(NoteListWidget::PreviewRole).toString(), preview);
        QCOMPARE(item.data(NoteListWidget::NoTitleRole).toBool(), noTitle);
        QCOMPARE(item.data().toString(), title);
    };
    check("setNotes");
    m_list->setEntries({entry("n", 7)});
    check("setEntries");
}

void TestNoteListWidget::rolesFollowEntry()
{
    NoteListEntry shared = entry("shared-note");
    shared.notebookId = QStringLiteral("nb-1");
    shared.isShared = true;
    shared.syncStatus = SyncStatus::Conflict;
    NoteListEntry synced = entry("synced-note", 3);
    synced.syncStatus = SyncStatus::Synced;
    NoteListEntry pending = entry("pending-note");

    m_list->setEntries({shared, synced, pending});
    const QModelIndex first = m_list->indexOfRow(0);
    QCOMPARE(first.data(NoteListWidget::NoteIdRole).toString(), QStringLiteral("shared-note"));
    QCOMPARE(first.data(NoteListWidget::UpdatedAtRole).toDateTime(), shared.updatedAt);
    QCOMPARE(first.data(NoteListWidget::IsSharedRole).toBool(), true);
    QCOMPARE(first.data(NoteListWidget::SyncStatusRole).toInt(), 2);
    QCOMPARE(first.data(NoteListWidget::NotebookNameRole).toString(), QString());
    QCOMPARE(m_list->indexOfRow(1).data(NoteListWidget::SyncStatusRole).toInt(), 1);
    QCOMPARE(m_list->indexOfRow(1).data(NoteListWidget::IsSharedRole).toBool(), false);
    QCOMPARE(m_list->indexOfRow(2).data(NoteListWidget::SyncStatusRole).toInt(), 0);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"shared-note", "synced-note", "pending-note"}));
    QCOMPARE(m_list->entries().at(1).version, 3);
    QCOMPARE(m_list->rowOf(QStringLiteral("pending-note")), 2);
    QCOMPARE(m_list->rowOf(QStringLiteral("nothing")), -1);
}

void TestNoteListWidget::notebookNamesResolvedAgainOnRefresh()
{
    QString name = QStringLiteral("Work");
    int lookups = 0;
    m_list->setNotebookNameResolver([&](const QString &notebookId) {
        ++lookups;
        return notebookId == QLatin1String("nb-1") ? name : QString();
    });
    QList<NoteListEntry> list = entries({"a", "b", "c"});
    list[0].notebookId = QStringLiteral("nb-1");
    list[1].notebookId = QStringLiteral("nb-1");
    m_list->setEntries(list);

    QCOMPARE(m_list->indexOfRow(0).data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
    QCOMPARE(m_list->indexOfRow(1).data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
    QCOMPARE(m_list->indexOfRow(2).data(NoteListWidget::NotebookNameRole).toString(), QString());
    QCOMPARE(lookups, 2); // one per notebook, not per row

    name = QStringLiteral("Office");
    m_list->refreshNotebookNames();
    QCOMPARE(m_list->indexOfRow(1).data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Office"));
}

void TestNoteListWidget::keysActOnCurrentNote_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("withCurrent");
    QTest::addColumn<int>("activated");
    QTest::addColumn<int>("deleteRequested");

    QTest::newRow("return") << int(Qt::Key_Return) << true << 1 << 0;
    QTest::newRow("enter") << int(Qt::Key_Enter) << true << 1 << 0;
    QTest::newRow("delete") << int(Qt::Key_Delete) << true << 0 << 1;
    QTest::newRow("return-without-current") << int(Qt::Key_Return) << false << 0 << 0;
    QTest::newRow("delete-without-current") << int(Qt::Key_Delete) << false << 0 << 0;
    QTest::newRow("other-key") << int(Qt::Key_Down) << true << 0 << 0;
}

void TestNoteListWidget::keysActOnCurrentNote()
{
    QFETCH(int, key);
    QFETCH(bool, withCurrent);
    QFETCH(int, activated);
    QFETCH(int, deleteRequested);

    m_list->setEntries(entries({"a", "b", "c"}));
    if (withCurrent)
        m_list->selectNote(QStringLiteral("b"));
    QSignalSpy activatedSpy(m_list.get(), &NoteListWidget::noteActivated);
    QSignalSpy deleteSpy(m_list.get(), &NoteListWidget::noteDeleteRequested);

    QTest::keyClick(m_list.get(), Qt::Key(key));
    QCOMPARE(activatedSpy.count(), activated);
    QCOMPARE(deleteSpy.count(), deleteRequested);
    for (const QSignalSpy *spy : {&activatedSpy, &deleteSpy}) {
        if (!spy->isEmpty())
            QCOMPARE(spy->first().first().toString(), QStringLiteral("b"));
    }
    // The list itself never deletes.
    QCOMPARE(m_list->count(), 3);
}

void TestNoteListWidget::mimeDataCarriesFirstId()
{
    struct Probe : NoteListWidget {
        using NoteListWidget::mimeData;
        using NoteListWidget::mimeTypes;
    } probe;
    const QString id = QStringLiteral("ünï-cødé-id");
    probe.setEntries(entries({id, "second"}));

    QCOMPARE(probe.mimeTypes(), QStringList{QStringLiteral("application/x-ombrel-note-id")});
    QCOMPARE(probe.mimeData({}), nullptr);
    std::unique_ptr<QMimeData> data(probe.mimeData({probe.indexOfRow(0), probe.indexOfRow(1)}));
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList{QStringLiteral("application/x-ombrel-note-id")});
    QCOMPARE(QString::fromUtf8(data->data(QStringLiteral("application/x-ombrel-note-id"))), id);
}

void TestNoteListWidget::doubleClickAndContextMenuReportNote()
{
    m_list->setEntries(entries({"a", "b"}));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    QSignalSpy doubleClicked(m_list.get(), &NoteListWidget::noteDoubleClicked);
    QSignalSpy contextMenu(m_list.get(), &NoteListWidget::noteContextMenuRequested);

    const QPoint second = m_list->visualRect(m_list->indexOfRow(1)).center();
    // The widget variant of mouseDClick sends the double-click alone; a real one follows
    // a press.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.first().first().toString(), QStringLiteral("b"));

    Q_EMIT m_list->customContextMenuRequested(second);
    QCOMPARE(contextMenu.count(), 1);
    QCOMPARE(contextMenu.first().at(0).toString(), QStringLiteral("b"));
    QCOMPARE(contextMenu.first().at(1).toPoint(), m_list->viewport()->mapToGlobal(second));

    // Empty space below the last card.
    Q_EMIT m_list->customContextMenuRequested(QPoint(10, m_list->viewport()->height() - 2));
    QCOMPARE(contextMenu.count(), 1);
}

void TestNoteListWidget::placeEntryInsertsAndMovesSilently()
{
    m_list->setEntries(entries({"a", "b", "c", "d", "e"}));
    m_list->selectNote(QStringLiteral("c"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);
    QSignalSpy current(m_list->selectionModel(), &QItemSelectionModel::currentChanged);

    m_list->placeEntry(entry("f"), 0);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"f", "a", "b", "c", "d", "e"}));
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("c"));

    // The current note moves to the top, as an edited note does.
    m_list->placeEntry(entry("c", 2), 0);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"c", "f", "a", "b", "d", "e"}));
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("c"));
    QCOMPARE(m_list->currentRow(), 0);
    QCOMPARE(m_list->selectionModel()->selectedIndexes().size(), 1);
    QVERIFY(m_list->selectionModel()->isSelected(m_list->indexOfRow(0)));
    QCOMPARE(m_list->entries().first().version, 2);

    // Rows out of range clamp to the ends.
    m_list->placeEntry(entry("a"), 99);
    m_list->placeEntry(entry("e"), -4);
    m_list->placeEntry(entry("g"), 1000);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"e", "c", "f", "b", "d", "a", "g"}));
    for (int row = 0; row < m_list->count(); ++row)
        QCOMPARE(m_list->rowOf(m_list->indexOfRow(row).data(NoteListWidget::NoteIdRole).toString()), row);

    QCOMPARE(m_list->currentNoteId(), QStringLiteral("c"));
    QCOMPARE(selected.count(), 0);
    QCOMPARE(current.count(), 0);
}

void TestNoteListWidget::placeEntryRereadsBodyOnlyForNewVersion()
{
    useBodies({{QStringLiteral("a"), deltaBody("Old title")}, {QStringLiteral("b"), deltaBody("B")}});
    m_list->setEntries(entries({"a", "b"}));
    QCOMPARE(m_list->indexOfRow(0).data().toString(), QStringLiteral("Old title"));
    const int reads = m_bodyReads;

    m_bodies[QStringLiteral("a")] = deltaBody("New title");
    NoteListEntry synced = entry("a");
    synced.syncStatus = SyncStatus::Synced;
    m_list->placeEntry(synced, 0);
    QCOMPARE(m_list->indexOfRow(0).data(NoteListWidget::SyncStatusRole).toInt(), 1);
    QCOMPARE(m_list->indexOfRow(0).data().toString(), QStringLiteral("Old title"));
    QCOMPARE(m_bodyReads, reads);

    m_list->placeEntry(entry("a", 2), 1);
    QCOMPARE(m_list->rowOf(QStringLiteral("a")), 1);
    QCOMPARE(m_list->indexOfRow(1).data().toString(), QStringLiteral("New title"));
    QCOMPARE(m_bodyReads, reads + 1);
}

void TestNoteListWidget::removeEntryKeepsOrderAndSelection()
{
    m_list->setEntries(entries({"a", "b", "c", "d"}));
    m_list->selectNote(QStringLiteral("c"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);

    m_list->removeEntry(QStringLiteral("a"));
    m_list->removeEntry(QStringLiteral("d"));
    m_list->removeEntry(QStringLiteral("unknown"));
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"b", "c"}));
    QCOMPARE(m_list->currentNoteId(), QStringLiteral("c"));
    QCOMPARE(m_list->currentRow(), 1);
    QCOMPARE(m_list->rowOf(QStringLiteral("a")), -1);
    QCOMPARE(selected.count(), 0);

    // A removed note can come back.
    m_list->placeEntry(entry("a"), 0);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"a", "b", "c"}));
}

void TestNoteListWidget::removingCurrentNoteSelectsNothing()
{
    m_list->setEntries(entries({"a", "b", "c"}));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->selectNote(QStringLiteral("b"));
    QSignalSpy selected(m_list.get(), &NoteListWidget::noteSelected);

    m_list->removeEntry(QStringLiteral("b"));
    QCOMPARE(m_list->currentRow(), -1);
    QCOMPARE(m_list->currentNoteId(), QString());
    QVERIFY(m_list->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(selected.count(), 0);
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"a", "c"}));

    m_list->removeEntry(QStringLiteral("a"));
    m_list->removeEntry(QStringLiteral("c"));
    QCOMPARE(m_list->count(), 0);
    QCOMPARE(selected.count(), 0);
}

void TestNoteListWidget::duplicateIdsShowOnce()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("listed twice")));
    m_list->setNotes({note("a", deltaBody("First")), note("b", deltaBody("B")),
                      note("a", deltaBody("Second"))});
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"a", "b"}));
    QCOMPARE(m_list->indexOfRow(0).data().toString(), QStringLiteral("First"));
    m_list->removeEntry(QStringLiteral("a"));
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"b"}));
    QCOMPARE(m_list->rowOf(QStringLiteral("a")), -1);
}

void TestNoteListWidget::clearingLeavesNoStaleRows()
{
    m_list->setEntries(entries({"a", "b"}));
    m_list->setEntries({});
    QCOMPARE(m_list->rowOf(QStringLiteral("a")), -1);
    m_list->placeEntry(entry("a"), 0);
    m_list->removeEntry(QStringLiteral("b"));
    QCOMPARE(OmbrelTest::idsOf(m_list->entries()), QStringList({"a"}));

    m_list->setNotes({});
    QCOMPARE(m_list->rowOf(QStringLiteral("a")), -1);
    m_list->removeEntry(QStringLiteral("a"));
    QCOMPARE(m_list->count(), 0);
}

void TestNoteListWidget::largeListReadsOnlyVisibleBodies()
{
    constexpr int Count = 100000;
    QList<NoteListEntry> list;
    list.reserve(Count);
    for (int i = 0; i < Count; ++i)
        list.append(entry(QStringLiteral("note-%1").arg(i)));
    m_list->setEntries(list);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->grab();

    const int visibleRows = m_list->viewport()->height() / NoteListDelegate::rowHeight() + 2;
    QVERIFY2(m_bodyReads > 0 && m_bodyReads <= visibleRows,
             qPrintable(QStringLiteral("%1 bodies read").arg(m_bodyReads)));

    // Type-to-find, a jump far down, an insertion and a removal stay local too.
    QTest::keyClicks(m_list.get(), QStringLiteral("note"));
    m_list->selectNote(QStringLiteral("note-60000"));
    m_list->placeEntry(entry(QStringLiteral("note-70000"), 2), 0);
    m_list->removeEntry(QStringLiteral("note-3"));
    m_list->grab();
    QVERIFY2(m_bodyReads <= 3 * visibleRows,
             qPrintable(QStringLiteral("%1 bodies read").arg(m_bodyReads)));
    QCOMPARE(m_list->rowOf(QStringLiteral("note-60000")), 60000);
    QCOMPARE(m_list->count(), Count - 1);
}

void TestNoteListWidget::refreshReusesTextsOfUnchangedNotes()
{
    useBodies({{QStringLiteral("a"), deltaBody("A")}, {QStringLiteral("b"), deltaBody("B")}});
    m_list->setEntries(entries({"a", "b"}));
    m_list->grab();
    QCOMPARE(m_bodyReads, 2);

    m_bodies[QStringLiteral("b")] = deltaBody("B changed");
    m_list->setEntries({entry("b", 2), entry("a")});
    m_list->grab();
    QCOMPARE(m_bodyReads, 3);
    QCOMPARE(m_list->indexOfRow(0).data().toString(), QStringLiteral("B changed"));
    QCOMPARE(m_list->indexOfRow(1).data().toString(), QStringLiteral("A"));
}

void TestNoteListWidget::hostileBodiesPaint()
{
    const QString longLine(2 * 1024 * 1024, QLatin1Char('x'));
    NoteListEntry all = entry("marks");
    all.isShared = true;
    all.notebookId = QStringLiteral("nb");
    useBodies({{QStringLiteral("long"), deltaBody(longLine)},
               {QStringLiteral("rtl"), deltaBody(QStringLiteral("שלום עולם\nمرحبا"))},
               {QStringLiteral("marks"), QStringLiteral("\x01\x02 [{{{")}});
    m_list->setNotebookNameResolver([](const QString &) { return QString(500, QLatin1Char('n')); });
    m_list->setEntries({entry("long"), entry("rtl"), all, entry("missing")});
    m_list->setCurrentRow(2);
    m_list->resize(60, 400); // narrower than the card's margins
    QVERIFY(!m_list->grab().isNull());
    QCOMPARE(m_list->indexOfRow(0).data().toString().size(), longLine.size());
    QCOMPARE(m_list->indexOfRow(3).data().toString(), QStringLiteral("Untitled"));
}

void TestNoteListWidget::rowHeightFollowsBodySize_data()
{
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<int>>("fontSizes"); // title, preview, date, notebook

    QTest::newRow("12pt") << 12.0 << 91 << QList<int>{15, 13, 11, 12};
    QTest::newRow("8pt-clamps-to-minimums") << 8.0 << 76 << QList<int>{10, 9, 8, 9};
    QTest::newRow("24pt") << 24.0 << 140 << QList<int>{30, 26, 22, 24};
}

void TestNoteListWidget::rowHeightFollowsBodySize()
{
    QFETCH(double, points);
    QFETCH(int, height);
    QFETCH(QList<int>, fontSizes);

    DeltaDocument::setBodyPixelSize(DeltaDocument::bodyPixelSizeFromPoints(points));
    QCOMPARE(NoteListDelegate::rowHeight(), height);
    QCOMPARE(QList<int>({NoteListDelegate::titleFontSize(), NoteListDelegate::previewFontSize(),
                         NoteListDelegate::dateFontSize(), NoteListDelegate::notebookFontSize()}),
             fontSizes);

    m_list->setEntries(entries({"a", "b"}));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    QCOMPARE(m_list->visualRect(m_list->indexOfRow(1)).height(), height);
    QCOMPARE(m_list->visualRect(m_list->indexOfRow(1)).top(), height);
}

void TestNoteListWidget::unsyncedMarkOnlyWhenShown_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("looksSynced");

    QTest::newRow("pending-without-account") << int(SyncStatus::Pending) << false << true;
    QTest::newRow("pending-signed-in") << int(SyncStatus::Pending) << true << false;
    QTest::newRow("conflict-always") << int(SyncStatus::Conflict) << false << false;
}

void TestNoteListWidget::unsyncedMarkOnlyWhenShown()
{
    QFETCH(int, status);
    QFETCH(bool, shown);
    QFETCH(bool, looksSynced);

    useBodies({{QStringLiteral("a"), deltaBody(QStringLiteral("Title\nPreview"))}});
    const auto render = [this](SyncStatus syncStatus, bool marks) {
        NoteListEntry row = entry(QStringLiteral("a"));
        row.syncStatus = syncStatus;
        m_list->setPendingMarksShown(marks);
        m_list->setEntries({row});
        return m_list->grab().toImage();
    };
    const QImage synced = render(SyncStatus::Synced, true);
    QCOMPARE(render(SyncStatus(status), shown) == synced, looksSynced);
}

void TestNoteListWidget::placeholderOnlyOnAnEmptyList()
{
    m_list->setEntries({});
    const QImage blank = m_list->grab().toImage();
    m_list->setPlaceholderText(QStringLiteral("No notes in this notebook"));
    QVERIFY(m_list->grab().toImage() != blank);

    useBodies({{QStringLiteral("a"), deltaBody(QStringLiteral("Title"))}});
    m_list->setEntries({entry(QStringLiteral("a"))});
    const QImage withHint = m_list->grab().toImage();
    m_list->setPlaceholderText(QString());
    QCOMPARE(m_list->grab().toImage(), withHint);
}

QTEST_MAIN(TestNoteListWidget)
#include "tst_notelistwidget.moc"
