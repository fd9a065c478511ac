#include "deltadocument.h"
#include "note.h"
#include "notebooklistdelegate.h"
#include "notebooklistwidget.h"
#include "testsupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString NoteMime = QStringLiteral("application/x-ombrel-note-id");

Notebook notebook(const QString &id, const QString &name, bool isShared = false,
                  bool trashed = false)
{
    Notebook result;
    result.id = id;
    result.name = name;
    result.isShared = isShared;
    if (trashed)
        result.deletedAt = QDateTime::currentDateTimeUtc();
    return result;
}

QList<Notebook> sampleNotebooks()
{
    return {notebook(QStringLiteral("nb-work"), QStringLiteral("Work")),
            notebook(QStringLiteral("nb-gone"), QStringLiteral("Gone"), false, true),
            notebook(QStringLiteral("nb-home"), QStringLiteral("Home"), true)};
}

QHash<QString, int> sampleCounts()
{
    return {{QString(), 4}, {QStringLiteral("nb-work"), 7}, {QStringLiteral("nb-gone"), 2}};
}

std::unique_ptr<QMimeData> noteMime(const QByteArray &payload)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(NoteMime, payload);
    return data;
}

// Reaches the drag handlers without the application's drag bookkeeping, which only
// delivers moves and drops after an accepted enter.
class ProbeList : public NotebookListWidget
{
public:
    using NotebookListWidget::dragEnterEvent;
    using NotebookListWidget::dragMoveEvent;
    using NotebookListWidget::dropEvent;
};

// Row order after setNotebooks(sampleNotebooks(), ...): All Notes, Work, Home, Trash, New.
enum SampleRow { AllNotes = 0, Work = 1, Home = 2, Trash = 3, NewNotebook = 4 };

} // namespace

class TestNotebookListWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void rowsFollowNotebooksAndSkipTrashed();
    void countsPerRow();
    void zeroCountIsNotPainted();
    void currentRowRestored_data();
    void currentRowRestored();
    void clickSignalsPerKind_data();
    void clickSignalsPerKind();
    void contextMenuOnlyOverNotebooks_data();
    void contextMenuOnlyOverNotebooks();
    void dragEnterNeedsNoteType_data();
    void dragEnterNeedsNoteType();
    void dragMoveTargets_data();
    void dragMoveTargets();
    void dragLeaveRestoresCurrentRow();
    void dropTargets_data();
    void dropTargets();
    void dropPayloads_data();
    void dropPayloads();
    void foreignDropLeavesListUntouched();
    void dropSurvivesRefillByReceiver();
    void rowHeightFollowsBodySize_data();
    void rowHeightFollowsBodySize();
    void selectedRowHasAccentBar_data();
    void selectedRowHasAccentBar();

private:
    QPoint rowCentre(int row) const;
    void sendDrag(QEvent::Type type, const QPoint &pos, const QMimeData *data, bool *accepted);
    void sendDragLeave();

    std::unique_ptr<ProbeList> m_list;
};

void TestNotebookListWidget::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestNotebookListWidget::init()
{
    DeltaDocument::setBodyPixelSize(16);
    m_list = std::make_unique<ProbeList>();
    m_list->resize(240, 400);
    m_list->setNotebooks(sampleNotebooks(), sampleCounts(), QString(), 3);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
}

void TestNotebookListWidget::cleanup()
{
    m_list.reset();
    DeltaDocument::setBodyPixelSize(16);
}

QPoint TestNotebookListWidget::rowCentre(int row) const
{
    return m_list->visualItemRect(m_list->item(row)).center();
}

void TestNotebookListWidget::sendDrag(QEvent::Type type, const QPoint &pos, const QMimeData *data,
                                      bool *accepted)
{
    const Qt::DropActions actions = Qt::MoveAction | Qt::CopyAction;
    std::unique_ptr<QDropEvent> event;
    if (type == QEvent::DragEnter)
        event = std::make_unique<QDragEnterEvent>(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
    else if (type == QEvent::DragMove)
        event = std::make_unique<QDragMoveEvent>(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
    else
        event = std::make_unique<QDropEvent>(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    QApplication::sendEvent(m_list->viewport(), event.get());
    if (accepted)
        *accepted = event->isAccepted() && event->dropAction() != Qt::IgnoreAction
            && event->dropAction() == event->proposedAction();
}

void TestNotebookListWidget::sendDragLeave()
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(m_list->viewport(), &leave);
}

void TestNotebookListWidget::rowsFollowNotebooksAndSkipTrashed()
{
    QCOMPARE(m_list->count(), 5);
    const QList<int> kinds = {NotebookListWidget::AllNotesRow, NotebookListWidget::NotebookRow,
                              NotebookListWidget::NotebookRow, NotebookListWidget::TrashRow,
                              NotebookListWidget::NewNotebookRow};
    const QStringList texts = {QStringLiteral("All Notes"), QStringLiteral("Work"),
                               QStringLiteral("Home"), QStringLiteral("Trash"),
                               QStringLiteral("New Notebook…")};
    const QStringList ids = {QString(), QStringLiteral("nb-work"), QStringLiteral("nb-home"),
                             QString(), QString()};
    const QList<bool> dropEnabled = {true, true, true, false, false};
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem *item = m_list->item(row);
        QCOMPARE(item->data(NotebookListWidget::KindRole).toInt(), kinds.at(row));
        QCOMPARE(item->data(NotebookListWidget::TextRole).toString(), texts.at(row));
        QCOMPARE(item->data(NotebookListWidget::NotebookIdRole).toString(), ids.at(row));
        QCOMPARE(item->flags().testFlag(Qt::ItemIsDropEnabled), dropEnabled.at(row));
        QVERIFY(item->flags().testFlag(Qt::ItemIsSelectable));
    }
    QCOMPARE(m_list->item(Home)->data(NotebookListWidget::IsSharedRole).toBool(), true);
    QCOMPARE(m_list->item(Work)->data(NotebookListWidget::IsSharedRole).toBool(), false);
}

void TestNotebookListWidget::countsPerRow()
{
    // "All Notes" shows the notes in no notebook, not the total; a notebook absent from
    // the counts has none.
    const QList<int> expected = {4, 7, 0, 3, 0};
    for (int row = 0; row < m_list->count(); ++row)
        QCOMPARE(m_list->item(row)->data(NotebookListWidget::CountRole).toInt(), expected.at(row));

    m_list->setNotebooks(sampleNotebooks(), {}, QString(), 0);
    for (int row = 0; row < m_list->count(); ++row)
        QCOMPARE(m_list->item(row)->data(NotebookListWidget::CountRole).toInt(), 0);
}

void TestNotebookListWidget::zeroCountIsNotPainted()
{
    // Paint the Home row (count 0) and the Work row (count 7) and look at the count's
    // area at the right: ink only where there is a count.
    auto inkInCountArea = [this](int row) {
        QStyleOptionViewItem option;
        option.initFrom(m_list.get());
        option.rect = QRect(0, 0, 240, NotebookListDelegate::rowHeight());
        option.state = QStyle::State_Enabled;
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        QPainter painter(&image);
        m_list->itemDelegate()->paint(&painter, option, m_list->model()->index(row, 0));
        painter.end();
        const QColor background = image.pixelColor(image.width() - 2, 1);
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = image.width() - 60; x < image.width() - 16; ++x)
                ink += image.pixelColor(x, y) != background;
        }
        return ink;
    };
    QVERIFY(inkInCountArea(Work) > 0);
    QCOMPARE(inkInCountArea(Home), 0);
    QCOMPARE(inkInCountArea(NewNotebook), 0);
}

void TestNotebookListWidget::currentRowRestored_data()
{
    QTest::addColumn<QString>("currentId");
    QTest::addColumn<int>("expectedRow");

    QTest::newRow("existing-notebook") << QStringLiteral("nb-home") << int(Home);
    QTest::newRow("no-notebook") << QString() << int(AllNotes);
    QTest::newRow("unknown-id") << QStringLiteral("nb-missing") << int(AllNotes);
    QTest::newRow("trashed-notebook") << QStringLiteral("nb-gone") << int(AllNotes);
}

void TestNotebookListWidget::currentRowRestored()
{
    QFETCH(QString, currentId);
    QFETCH(int, expectedRow);

    m_list->setCurrentRow(Trash);
    QSignalSpy allNotes(m_list.get(), &NotebookListWidget::allNotesSelected);
    QSignalSpy notebook(m_list.get(), &NotebookListWidget::notebookSelected);
    QSignalSpy rowChanged(m_list.get(), &QListWidget::currentRowChanged);

    m_list->setNotebooks(sampleNotebooks(), sampleCounts(), currentId, 3);
    QCOMPARE(m_list->currentRow(), expectedRow);
    QVERIFY(m_list->item(expectedRow)->isSelected());
    QCOMPARE(allNotes.count() + notebook.count() + rowChanged.count(), 0);
}

void TestNotebookListWidget::clickSignalsPerKind_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expectedSignal");
    QTest::addColumn<QString>("expectedId");

    QTest::newRow("all-notes") << int(AllNotes) << QStringLiteral("allNotesSelected") << QString();
    QTest::newRow("notebook") << int(Home) << QStringLiteral("notebookSelected")
                              << QStringLiteral("nb-home");
    QTest::newRow("trash") << int(Trash) << QStringLiteral("trashSelected") << QString();
    QTest::newRow("new-notebook") << int(NewNotebook) << QStringLiteral("newNotebookRequested")
                                  << QString();
}

void TestNotebookListWidget::clickSignalsPerKind()
{
    QFETCH(int, row);
    QFETCH(QString, expectedSignal);
    QFETCH(QString, expectedId);

    QSignalSpy allNotes(m_list.get(), &NotebookListWidget::allNotesSelected);
    QSignalSpy notebook(m_list.get(), &NotebookListWidget::notebookSelected);
    QSignalSpy trash(m_list.get(), &NotebookListWidget::trashSelected);
    QSignalSpy newNotebook(m_list.get(), &NotebookListWidget::newNotebookRequested);

    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(row));

    QCOMPARE(allNotes.count(), expectedSignal == QLatin1String("allNotesSelected") ? 1 : 0);
    QCOMPARE(notebook.count(), expectedSignal == QLatin1String("notebookSelected") ? 1 : 0);
    QCOMPARE(trash.count(), expectedSignal == QLatin1String("trashSelected") ? 1 : 0);
    QCOMPARE(newNotebook.count(), expectedSignal == QLatin1String("newNotebookRequested") ? 1 : 0);
    if (!expectedId.isEmpty())
        QCOMPARE(notebook.first().first().toString(), expectedId);

    // Clicking empty space below the rows is no click on any kind.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(20, m_list->viewport()->height() - 5));
    QCOMPARE(allNotes.count() + notebook.count() + trash.count() + newNotebook.count(), 1);
}

void TestNotebookListWidget::contextMenuOnlyOverNotebooks_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expectedId");

    QTest::newRow("notebook") << int(Work) << QStringLiteral("nb-work");
    QTest::newRow("all-notes") << int(AllNotes) << QString();
    QTest::newRow("trash") << int(Trash) << QString();
    QTest::newRow("new-notebook") << int(NewNotebook) << QString();
    QTest::newRow("empty-space") << -1 << QString();
}

void TestNotebookListWidget::contextMenuOnlyOverNotebooks()
{
    QFETCH(int, row);
    QFETCH(QString, expectedId);

    QSignalSpy spy(m_list.get(), &NotebookListWidget::notebookContextMenuRequested);
    const QPoint pos = row >= 0 ? rowCentre(row) : QPoint(20, m_list->viewport()->height() - 5);
    Q_EMIT m_list->customContextMenuRequested(pos);

    if (expectedId.isEmpty()) {
        QCOMPARE(spy.count(), 0);
        return;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toString(), expectedId);
    QCOMPARE(spy.first().at(1).toPoint(), m_list->viewport()->mapToGlobal(pos));
}

void TestNotebookListWidget::dragEnterNeedsNoteType_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("note-id") << NoteMime << true;
    QTest::newRow("plain-text") << QStringLiteral("text/plain") << false;
    QTest::newRow("uri-list") << QStringLiteral("text/uri-list") << false;
}

void TestNotebookListWidget::dragEnterNeedsNoteType()
{
    QFETCH(QString, format);
    QFETCH(bool, accepted);

    QMimeData data;
    data.setData(format, QByteArrayLiteral("note-1"));
    bool wasAccepted = false;
    sendDrag(QEvent::DragEnter, rowCentre(Work), &data, &wasAccepted);
    QCOMPARE(wasAccepted, accepted);
    sendDragLeave();
}

void TestNotebookListWidget::dragMoveTargets_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("all-notes") << int(AllNotes) << true;
    QTest::newRow("notebook") << int(Home) << true;
    QTest::newRow("trash") << int(Trash) << false;
    QTest::newRow("new-notebook") << int(NewNotebook) << false;
    QTest::newRow("empty-space") << -1 << false;
}

void TestNotebookListWidget::dragMoveTargets()
{
    QFETCH(int, row);
    QFETCH(bool, accepted);

    m_list->setNotebooks(sampleNotebooks(), sampleCounts(), QStringLiteral("nb-work"), 3);
    const auto data = noteMime("note-1");
    const QPoint pos = row >= 0 ? rowCentre(row) : QPoint(20, m_list->viewport()->height() - 5);
    sendDrag(QEvent::DragEnter, pos, data.get(), nullptr);
    bool wasAccepted = false;
    sendDrag(QEvent::DragMove, pos, data.get(), &wasAccepted);

    QCOMPARE(wasAccepted, accepted);
    QCOMPARE(m_list->currentRow(), accepted ? row : int(Work));
    sendDragLeave();
}

void TestNotebookListWidget::dragLeaveRestoresCurrentRow()
{
    m_list->setNotebooks(sampleNotebooks(), sampleCounts(), QStringLiteral("nb-home"), 3);
    const auto data = noteMime("note-1");
    sendDrag(QEvent::DragEnter, rowCentre(Home), data.get(), nullptr);
    sendDrag(QEvent::DragMove, rowCentre(AllNotes), data.get(), nullptr);
    QCOMPARE(m_list->currentRow(), int(AllNotes));

    sendDragLeave();
    QCOMPARE(m_list->currentRow(), int(Home));
}

void TestNotebookListWidget::dropTargets_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("targetId");

    QTest::newRow("notebook") << int(Work) << true << QStringLiteral("nb-work");
    QTest::newRow("shared-notebook") << int(Home) << true << QStringLiteral("nb-home");
    QTest::newRow("all-notes-leaves-notebook") << int(AllNotes) << true << QString();
    QTest::newRow("trash-refused") << int(Trash) << false << QString();
    QTest::newRow("new-notebook-refused") << int(NewNotebook) << false << QString();
    QTest::newRow("empty-space") << -1 << false << QString();
}

void TestNotebookListWidget::dropTargets()
{
    QFETCH(int, row);
    QFETCH(bool, accepted);
    QFETCH(QString, targetId);

    QSignalSpy spy(m_list.get(), &NotebookListWidget::noteDroppedOnNotebook);
    const auto data = noteMime("3f1c2a9e-0000-4000-8000-000000000001");
    const QPoint pos = row >= 0 ? rowCentre(row) : QPoint(20, m_list->viewport()->height() - 5);
    sendDrag(QEvent::DragEnter, pos, data.get(), nullptr);
    sendDrag(QEvent::DragMove, pos, data.get(), nullptr);
    bool wasAccepted = false;
    sendDrag(QEvent::Drop, pos, data.get(), &wasAccepted);

    QCOMPARE(wasAccepted, accepted);
    QCOMPARE(spy.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(spy.first().at(0).toString(),
                 QStringLiteral("3f1c2a9e-0000-4000-8000-000000000001"));
        QCOMPARE(spy.first().at(1).toString(), targetId);
        QVERIFY(!spy.first().at(1).isNull());
    }
    // The list shows the notebook it showed before the drag.
    QCOMPARE(m_list->currentRow(), int(AllNotes));
}

void TestNotebookListWidget::dropPayloads_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("noteId");

    QTest::newRow("plain-id") << QByteArray("abc") << QStringLiteral("abc");
    QTest::newRow("utf8-id") << QByteArray("n\xc3\xb6te") << QStringLiteral("n\u00f6te");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("blanks") << QByteArray("  \n") << QString();
}

void TestNotebookListWidget::dropPayloads()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, noteId);

    QSignalSpy spy(m_list.get(), &NotebookListWidget::noteDroppedOnNotebook);
    const auto data = noteMime(payload);
    sendDrag(QEvent::DragEnter, rowCentre(Work), data.get(), nullptr);
    bool accepted = false;
    sendDrag(QEvent::Drop, rowCentre(Work), data.get(), &accepted);

    QCOMPARE(accepted, !noteId.isEmpty());
    QCOMPARE(spy.count(), noteId.isEmpty() ? 0 : 1);
    if (!noteId.isEmpty())
        QCOMPARE(spy.first().at(0).toString(), noteId);
}

void TestNotebookListWidget::foreignDropLeavesListUntouched()
{
    QSignalSpy spy(m_list.get(), &NotebookListWidget::noteDroppedOnNotebook);
    // Another item view's drag: the base class inserts such rows when it takes the drop.
    QListWidget source;
    source.addItem(QStringLiteral("intruder"));
    std::unique_ptr<QMimeData> itemData(source.model()->mimeData({source.model()->index(0, 0)}));
    QVERIFY(itemData);
    QMimeData text;
    text.setText(QStringLiteral("note-1"));

    const QPointF pos = rowCentre(Work);
    const Qt::DropActions actions = Qt::MoveAction | Qt::CopyAction;
    for (const QMimeData *data : {static_cast<const QMimeData *>(itemData.get()),
                                  static_cast<const QMimeData *>(&text)}) {
        bool accepted = true;
        sendDrag(QEvent::DragEnter, pos.toPoint(), data, &accepted);
        QVERIFY(!accepted);

        // Straight to the handlers, as if the enter had been taken.
        QDragMoveEvent move(pos.toPoint(), actions, data, Qt::LeftButton, Qt::NoModifier);
        move.ignore();
        m_list->dragMoveEvent(&move);
        QVERIFY(!move.isAccepted());
        QDropEvent drop(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        drop.ignore();
        m_list->dropEvent(&drop);
        QVERIFY(!drop.isAccepted());
    }
    QCOMPARE(spy.count(), 0);
    QCOMPARE(m_list->count(), 5);
    QCOMPARE(m_list->currentRow(), int(AllNotes));
}

void TestNotebookListWidget::dropSurvivesRefillByReceiver()
{
    // The main window moves the note and refills the list while handling the signal.
    connect(m_list.get(), &NotebookListWidget::noteDroppedOnNotebook, this, [this] {
        m_list->setNotebooks(sampleNotebooks(), sampleCounts(), QStringLiteral("nb-home"), 3);
    });
    QSignalSpy spy(m_list.get(), &NotebookListWidget::noteDroppedOnNotebook);
    const auto data = noteMime("note-1");
    sendDrag(QEvent::DragEnter, rowCentre(Work), data.get(), nullptr);
    sendDrag(QEvent::DragMove, rowCentre(Work), data.get(), nullptr);
    bool accepted = false;
    sendDrag(QEvent::Drop, rowCentre(Work), data.get(), &accepted);

    QVERIFY(accepted);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toString(), QStringLiteral("nb-work"));
    QCOMPARE(m_list->currentRow(), int(Home));
}

void TestNotebookListWidget::rowHeightFollowsBodySize_data()
{
    QTest::addColumn<int>("bodyPixels");
    QTest::addColumn<int>("nameSize");
    QTest::addColumn<int>("countSize");
    QTest::addColumn<int>("height");

    QTest::newRow("12pt") << 16 << 14 << 11 << 37;
    QTest::newRow("8pt-clamps-to-minimum") << 11 << 10 << 8 << 36;
    QTest::newRow("unset-reads-as-16") << 0 << 14 << 11 << 37;
    QTest::newRow("18pt") << 24 << 21 << 17 << 52;
    QTest::newRow("tiny") << 4 << 10 << 8 << 36;
}

void TestNotebookListWidget::rowHeightFollowsBodySize()
{
    QFETCH(int, bodyPixels);
    QFETCH(int, nameSize);
    QFETCH(int, countSize);
    QFETCH(int, height);

    DeltaDocument::setBodyPixelSize(bodyPixels);
    QCOMPARE(NotebookListDelegate::nameFontSize(), nameSize);
    QCOMPARE(NotebookListDelegate::countFontSize(), countSize);

    m_list->setNotebooks(sampleNotebooks(), sampleCounts(), QString(), 3);
    m_list->doItemsLayout();
    for (int row = 0; row < m_list->count(); ++row) {
        const QRect rect = m_list->visualItemRect(m_list->item(row));
        QCOMPARE(rect.height(), height);
        QCOMPARE(rect.width(), m_list->viewport()->width());
    }
}

void TestNotebookListWidget::selectedRowHasAccentBar_data()
{
    QTest::addColumn<QColor>("base");
    QTest::addColumn<QColor>("text");

    QTest::newRow("light") << QColor(Qt::white) << QColor(0x20, 0x20, 0x20);
    QTest::newRow("dark") << QColor(0x1E, 0x1E, 0x1E) << QColor(0xE0, 0xE0, 0xE0);
}

void TestNotebookListWidget::selectedRowHasAccentBar()
{
    QFETCH(QColor, base);
    QFETCH(QColor, text);

    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Highlight, QColor(0x1E, 0x88, 0xE5));
    const bool light = base.lightness() > 127;

    auto paintRow = [&](int row, QStyle::State state) {
        QStyleOptionViewItem option;
        option.palette = palette;
        option.rect = QRect(0, 0, 240, 37);
        option.state = QStyle::State_Enabled | state;
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        m_list->itemDelegate()->paint(&painter, option, m_list->model()->index(row, 0));
        return image;
    };

    const QImage selected = paintRow(Work, QStyle::State_Selected);
    const QRgb accent = qRgb(0x1E, 0x88, 0xE5);
    const QRgb selectedFill = (light ? base.darker(108) : base.lighter(150)).rgb();
    QCOMPARE(selected.pixel(0, 18), accent);
    QCOMPARE(selected.pixel(1, 18), accent);
    QCOMPARE(selected.pixel(2, 18), selectedFill);
    // The bar stops 6 pixels short of the top and bottom.
    QCOMPARE(selected.pixel(0, 5), selectedFill);
    QCOMPARE(selected.pixel(0, 6), accent);
    QCOMPARE(selected.pixel(0, 30), accent);
    QCOMPARE(selected.pixel(0, 31), selectedFill);

    const QImage hovered = paintRow(Work, QStyle::State_MouseOver);
    QCOMPARE(hovered.pixel(0, 18), (light ? base.darker(103) : base.lighter(125)).rgb());

    // The action row never looks selected.
    const QImage action = paintRow(NewNotebook, QStyle::State_Selected);
    QCOMPARE(action.pixel(0, 18), base.rgb());
}

QTEST_MAIN(TestNotebookListWidget)
#include "tst_notebooklistwidget.moc"
