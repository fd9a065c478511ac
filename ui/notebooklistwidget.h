#pragma once

#include <QHash>
#include <QList>
#include <QListWidget>
#include <QString>

struct Notebook;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

// The notebook sidebar: "All Notes", the notebooks with their counts, "Trash" and the
// "New Notebook…" action. It only presents rows and reports clicks and note drops; the
// main window decides what they mean.
class NotebookListWidget : public QListWidget
{
    Q_OBJECT

public:
    enum RowKind {
        AllNotesRow = 0,
        NotebookRow = 1,
        TrashRow = 2,
        NewNotebookRow = 3,
    };

    enum ItemRole {
        KindRole = Qt::UserRole,
        NotebookIdRole,
        TextRole,
        CountRole,
        IsDefaultRole,
        IsSharedRole,
    };

    explicit NotebookListWidget(QWidget *parent = nullptr);

    // counts holds the live notes per notebook id; the empty id counts the notes that
    // belong to no notebook.
    void setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                      const QString &currentNotebookId, int trashCount);

    // The drag format shared with the note list; the payload is the note id in UTF-8.
    static QString noteIdMimeType();

Q_SIGNALS:
    void allNotesSelected();
    void notebookSelected(const QString &notebookId);
    void trashSelected();
    void newNotebookRequested();
    void notebookContextMenuRequested(const QString &notebookId, const QPoint &globalPos);
    void noteDroppedOnNotebook(const QString &noteId, const QString &targetNotebookId);

public Q_SLOTS:
    void onItemActivated(QListWidgetItem *item);
    void onContextMenu(const QPoint &pos);

protected:
    QStringList mimeTypes() const override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QListWidgetItem *addRow(RowKind kind, const QString &text, int count);
    QListWidgetItem *dropTargetAt(const QPoint &pos) const;
    void rememberDragOrigin();
    void restoreDragOrigin();

    // The row that was current when a note drag entered; hovering a drag makes the row
    // under the pointer current, and the list returns to this row afterwards.
    int m_dragOriginKind = -1;
    QString m_dragOriginId;
};
