#pragma once

#include <QStyledItemDelegate>

class NotebookListWidget;

// Paints the rows of the notebook sidebar from their item data: icon, name and count.
class NotebookListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NotebookListDelegate(NotebookListWidget *list);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Sizes derived from the process-wide body pixel size.
    static int nameFontSize();
    static int countFontSize();
    static int rowHeight();
};
