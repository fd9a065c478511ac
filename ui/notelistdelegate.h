#pragma once

#include <QStyledItemDelegate>

class NoteListWidget;

// Paints the note cards of the note list from their item data: title, preview, relative
// date, notebook name, and the shared/unsynced/conflict marks.
class NoteListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NoteListDelegate(NoteListWidget *list);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Sizes derived from the process-wide body pixel size.
    static int titleFontSize();
    static int previewFontSize();
    static int dateFontSize();
    static int notebookFontSize();
    static int rowHeight();
};
