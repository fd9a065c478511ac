#include "notebooklistwidget.h"

#include "notebooklistdelegate.h"
#include "note.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalBlocker>

NotebookListWidget::NotebookListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);
    setItemDelegate(new NotebookListDelegate(this));

    connect(this, &QListWidget::itemClicked, this, &NotebookListWidget::onItemActivated);
    connect(this, &QWidget::customContextMenuRequested, this, &NotebookListWidget::onContextMenu);
}

QString NotebookListWidget::noteIdMimeType()
{
    return QStringLiteral("application/x-ombrel-note-id");
}

void NotebookListWidget::setNotebooks(const QList<Notebook> &notebooks,
                                      const QHash<QString, int> &counts,
                                      const QString &currentNotebookId, int trashCount)
{
    const QSignalBlocker blocker(this);
    clear();
    m_dragOriginKind = -1;
    m_dragOriginId.clear();

    addRow(AllNotesRow, tr("All Notes"), counts.value(QString(), 0));

    QListWidgetItem *current = nullptr;
    for (const Notebook &notebook : notebooks) {
        if (notebook.deletedAt.has_value())
            continue;
        QListWidgetItem *item = addRow(NotebookRow, notebook.name, counts.value(notebook.id, 0));
        item->setData(NotebookIdRole, notebook.id);
        item->setData(IsDefaultRole, notebook.isDefault);
        item->setData(IsSharedRole, notebook.isShared);
        item->setToolTip(notebook.name);
        if (!current && !notebook.id.isEmpty() && notebook.id == currentNotebookId)
            current = item;
    }

    QListWidgetItem *trash = addRow(TrashRow, tr("Trash"), trashCount);
    trash->setFlags(trash->flags() & ~Qt::ItemIsDropEnabled);
    QListWidgetItem *action = addRow(NewNotebookRow, tr("New Notebook…"), 0);
    action->setFlags(action->flags() & ~Qt::ItemIsDropEnabled);

    setCurrentItem(current ? current : item(0));
}

QListWidgetItem *NotebookListWidget::addRow(RowKind kind, const QString &text, int count)
{
    auto *item = new QListWidgetItem(text, this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled);
    item->setData(KindRole, int(kind));
    item->setData(TextRole, text);
    item->setData(CountRole, count);
    item->setData(IsDefaultRole, false);
    item->setData(IsSharedRole, false);
    return item;
}

void NotebookListWidget::onItemActivated(QListWidgetItem *item)
{
    if (!item)
        return;
    switch (item->data(KindRole).toInt()) {
    case AllNotesRow:
        Q_EMIT allNotesSelected();
        break;
    case NotebookRow:
        Q_EMIT notebookSelected(item->data(NotebookIdRole).toString());
        break;
    case TrashRow:
        Q_EMIT trashSelected();
        break;
    case NewNotebookRow:
        Q_EMIT newNotebookRequested();
        break;
    default:
        break;
    }
}

void NotebookListWidget::onContextMenu(const QPoint &pos)
{
    // The position of a scroll area's context-menu request is in viewport coordinates.
    const QListWidgetItem *item = itemAt(pos);
    if (!item || item->data(KindRole).toInt() != NotebookRow)
        return;
    Q_EMIT notebookContextMenuRequested(item->data(NotebookIdRole).toString(),
                                        viewport()->mapToGlobal(pos));
}

QStringList NotebookListWidget::mimeTypes() const
{
    // Only note drags are meaningful here; this also keeps the base class from turning
    // a foreign item-view drag into rows of this list.
    return {noteIdMimeType()};
}

QListWidgetItem *NotebookListWidget::dropTargetAt(const QPoint &pos) const
{
    QListWidgetItem *item = itemAt(pos);
    if (!item)
        return nullptr;
    const int kind = item->data(KindRole).toInt();
    return kind == AllNotesRow || kind == NotebookRow ? item : nullptr;
}

void NotebookListWidget::rememberDragOrigin()
{
    const QListWidgetItem *item = currentItem();
    m_dragOriginKind = item ? item->data(KindRole).toInt() : -1;
    m_dragOriginId = item ? item->data(NotebookIdRole).toString() : QString();
}

void NotebookListWidget::restoreDragOrigin()
{
    if (m_dragOriginKind < 0)
        return;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem *candidate = item(row);
        if (candidate->data(KindRole).toInt() == m_dragOriginKind
            && candidate->data(NotebookIdRole).toString() == m_dragOriginId) {
            setCurrentItem(candidate);
            break;
        }
    }
    m_dragOriginKind = -1;
    m_dragOriginId.clear();
}

void NotebookListWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasFormat(noteIdMimeType())) {
        QListWidget::dragEnterEvent(event);
        return;
    }
    rememberDragOrigin();
    event->acceptProposedAction();
}

void NotebookListWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (!event->mimeData()->hasFormat(noteIdMimeType())) {
        QListWidget::dragMoveEvent(event);
        return;
    }
    QListWidgetItem *target = dropTargetAt(event->position().toPoint());
    if (!target) {
        event->ignore();
        return;
    }
    setCurrentItem(target);
    event->acceptProposedAction();
}

void NotebookListWidget::dragLeaveEvent(QDragLeaveEvent *event)
{
    restoreDragOrigin();
    QListWidget::dragLeaveEvent(event);
}

void NotebookListWidget::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasFormat(noteIdMimeType())) {
        QListWidget::dropEvent(event);
        return;
    }
    const QListWidgetItem *target = dropTargetAt(event->position().toPoint());
    const QString noteId =
        QString::fromUtf8(event->mimeData()->data(noteIdMimeType())).trimmed();
    // The receiver may rebuild the rows while handling the signal; the current row
    // returns to the one shown before the drag either way.
    restoreDragOrigin();
    if (!target || noteId.isEmpty()) {
        event->ignore();
        return;
    }
    const QString notebookId = target->data(KindRole).toInt() == NotebookRow
        ? target->data(NotebookIdRole).toString()
        : QString();
    event->acceptProposedAction();
    Q_EMIT noteDroppedOnNotebook(noteId, notebookId);
}
