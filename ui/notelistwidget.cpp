#include "notelistwidget.h"

#include "note.h"
#include "notelistdelegate.h"

#include <QCursor>
#include <QDrag>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyleOptionViewItem>

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListView(parent)
    , m_model(new NoteListModel(this))
{
    setModel(m_model);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // Besides being right for cards of one height, this keeps the view from asking every
    // row for its size, and so from reading every body.
    setUniformItemSizes(true);
    setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &NoteListWidget::onCurrentChanged);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            Q_EMIT noteDoubleClicked(index.data(NoteIdRole).toString());
    });
    connect(this, &QWidget::customContextMenuRequested, this, &NoteListWidget::onContextMenu);
}

NoteListWidget::~NoteListWidget() = default;

QString NoteListWidget::noteIdMimeType()
{
    return QStringLiteral("application/x-ombrel-note-id");
}

void NoteListWidget::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_model->setNotebookNameResolver(std::move(resolver));
}

void NoteListWidget::setBodyProvider(BodyProvider provider)
{
    m_model->setBodyProvider(std::move(provider));
}

void NoteListWidget::setNotes(const QList<Note> &notes)
{
    const QString currentId = currentNoteId();
    const QSignalBlocker blocker(this);
    m_model->setNotes(notes);
    if (const int row = currentId.isEmpty() ? -1 : m_model->rowOf(currentId); row >= 0)
        setCurrentIndex(m_model->index(row));
}

void NoteListWidget::setEntries(const QList<NoteListEntry> &entries)
{
    setRows(NoteListModel::prepareRows(entries));
}

void NoteListWidget::setRows(NoteListRows rows)
{
    const QString currentId = currentNoteId();
    const QSignalBlocker blocker(this);
    m_model->setRows(std::move(rows));
    if (const int row = currentId.isEmpty() ? -1 : m_model->rowOf(currentId); row >= 0)
        setCurrentIndex(m_model->index(row));
}

void NoteListWidget::appendEntries(const QList<NoteListEntry> &entries)
{
    const QSignalBlocker blocker(this);
    m_model->appendEntries(entries);
}

void NoteListWidget::placeEntry(const NoteListEntry &entry, int row)
{
    const QSignalBlocker blocker(this);
    m_model->placeEntry(entry, row);
}

void NoteListWidget::removeEntry(const QString &noteId)
{
    const int row = m_model->rowOf(noteId);
    if (row < 0)
        return;
    const QSignalBlocker blocker(this);
    // Removing the current row would make a neighbour current (and scroll to it).
    if (currentIndex().row() == row)
        selectionModel()->clear();
    m_model->removeEntry(noteId);
}

int NoteListWidget::rowOf(const QString &noteId) const
{
    return m_model->rowOf(noteId);
}

QList<NoteListEntry> NoteListWidget::entries() const
{
    return m_model->entries();
}

const NoteListEntry &NoteListWidget::entryAt(int row) const
{
    return m_model->entryAt(row);
}

void NoteListWidget::refreshNotebookNames()
{
    m_model->refreshNotebookNames();
    viewport()->update();
}

void NoteListWidget::selectNote(const QString &noteId)
{
    if (const int row = m_model->rowOf(noteId); row >= 0)
        setCurrentIndex(m_model->index(row));
}

QString NoteListWidget::currentNoteId() const
{
    return m_model->entryAt(currentIndex().row()).id;
}

int NoteListWidget::count() const
{
    return m_model->rowCount();
}

int NoteListWidget::currentRow() const
{
    return currentIndex().row();
}

void NoteListWidget::setCurrentRow(int row)
{
    if (row < 0 || row >= count())
        selectionModel()->clear();
    else
        setCurrentIndex(m_model->index(row));
}

QString NoteListWidget::noteIdAt(int row) const
{
    return m_model->entryAt(row).id;
}

QModelIndex NoteListWidget::indexOfRow(int row) const
{
    return m_model->index(row);
}

void NoteListWidget::onCurrentChanged(const QModelIndex &current)
{
    if (current.isValid())
        Q_EMIT noteSelected(current.data(NoteIdRole).toString());
}

void NoteListWidget::onContextMenu(const QPoint &pos)
{
    // The position of a scroll area's context-menu request is in viewport coordinates.
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return;
    Q_EMIT noteContextMenuRequested(index.data(NoteIdRole).toString(), viewport()->mapToGlobal(pos));
}

void NoteListWidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const QString id = currentNoteId(); !id.isEmpty())
            Q_EMIT noteActivated(id);
        event->accept();
        return;
    case Qt::Key_Delete:
        if (const QString id = currentNoteId(); !id.isEmpty())
            Q_EMIT noteDeleteRequested(id);
        event->accept();
        return;
    default:
        QListView::keyPressEvent(event);
    }
}

void NoteListWidget::setPlaceholderText(const QString &text)
{
    if (m_placeholderText == text)
        return;
    m_placeholderText = text;
    viewport()->update();
}

void NoteListWidget::setPendingMarksShown(bool shown)
{
    if (m_pendingMarksShown == shown)
        return;
    m_pendingMarksShown = shown;
    viewport()->update();
}

void NoteListWidget::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (count() > 0 || m_placeholderText.isEmpty())
        return;
    QPainter painter(viewport());
    QColor color = palette().color(QPalette::Text);
    color.setAlpha(140);
    painter.setPen(color);
    painter.drawText(viewport()->rect().adjusted(16, 24, -16, -16), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     m_placeholderText);
}

void NoteListWidget::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    // The list view lays out every row again after any change of data, in case a row's
    // size changed; cards are all of one height, so repainting the changed rows is enough,
    // and an autosave does not pay for a pass over the whole library.
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void NoteListWidget::keyboardSearch(const QString &search)
{
    Q_UNUSED(search)
}

QStringList NoteListWidget::mimeTypes() const
{
    return m_model->mimeTypes();
}

QMimeData *NoteListWidget::mimeData(const QModelIndexList &indexes) const
{
    return m_model->mimeData(indexes);
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move; here a move means "to another
    // notebook", which the main window carries out and the list then reflects.
    const QModelIndex dragged = currentIndex();
    if (!dragged.isValid() || !selectionModel()->isSelected(dragged))
        return;
    QMimeData *data = mimeData({dragged});
    if (!data)
        return;

    const QRect rect = visualRect(dragged);
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(rect.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = QRect(QPoint(0, 0), rect.size());
        option.state |= QStyle::State_Selected;
        itemDelegate()->paint(&painter, option, dragged);
    }

    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(pixmap);
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    drag->exec(supportedActions, Qt::MoveAction);
}
