// Context menus for attachments, links and tables.

#include "noteeditor.h"

#include "attachmentrepository.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <memory>

namespace {

// Removes from one position before the table to one after it. Those two positions
// are the line breaks of the lines around the table, so when both lines hold text the
// removal joins them; the break is put back, with the lower line's formats.
void deleteTable(QTextDocument *document, QTextTable *table)
{
    const int start = qMax(0, table->firstPosition() - 1);
    const int end = qMin(table->lastPosition() + 1, document->characterCount() - 1);
    const QTextBlock above = document->findBlock(start);
    const QTextBlock below = document->findBlock(end);
    const bool joinsTwoLines = start > 0 && above.isValid() && !above.text().isEmpty() && below.isValid()
        && below.position() == end && end < document->characterCount() - 1;
    const QTextBlockFormat belowFormat = below.blockFormat();
    const QTextCharFormat belowCharFormat = below.charFormat();

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (joinsTwoLines)
        cursor.insertBlock(belowFormat, belowCharFormat);
    cursor.endEditBlock();
}

} // namespace

void NoteEditor::contextMenuEvent(QContextMenuEvent *event)
{
    const QTextCursor clicked = cursorForPosition(event->pos());
    setTextCursor(clicked);
    const int position = clicked.position();

    std::unique_ptr<QMenu> menu;
    const QString id = attachmentIdNear(position);
    if (!id.isEmpty() && m_attachments && m_attachments->findById(id))
        menu.reset(createAttachmentMenu(id));
    if (!menu) {
        const LinkRange link = linkAt(position);
        if (link.isValid())
            menu.reset(createLinkMenu(link));
    }
    if (!menu && clicked.currentTable())
        menu.reset(createTableMenu());
    if (!menu)
        menu.reset(createStandardContextMenu(event->pos()));
    if (!menu)
        return;
    menu->exec(event->globalPos());
    event->accept();
}

QMenu *NoteEditor::createAttachmentMenu(const QString &id)
{
    auto *menu = new QMenu(this);
    connect(menu->addAction(tr("Open")), &QAction::triggered, this,
            [this, id] { openAttachmentInteractive(id); });
    connect(menu->addAction(tr("Save As…")), &QAction::triggered, this, [this, id] {
        if (const std::optional<Attachment> record = m_attachments->findById(id))
            saveAttachmentAs(id, record->filename);
    });
    connect(menu->addAction(tr("Copy File")), &QAction::triggered, this,
            [this, id] { copyAttachmentFile(id); });
    menu->addSeparator();
    connect(menu->addAction(tr("Remove Attachment")), &QAction::triggered, this,
            [this, id] { removeAttachment(id); });
    return menu;
}

QMenu *NoteEditor::createLinkMenu(const LinkRange &link)
{
    auto *menu = new QMenu(this);
    connect(menu->addAction(tr("Open Link")), &QAction::triggered, this,
            [this, link] { openLink(link.href); });
    connect(menu->addAction(tr("Copy Link Address")), &QAction::triggered, this,
            [link] { QApplication::clipboard()->setText(link.href); });
    menu->addSeparator();
    connect(menu->addAction(tr("Edit Link…")), &QAction::triggered, this,
            [this, link] { editLink(link); });
    connect(menu->addAction(tr("Remove Link")), &QAction::triggered, this,
            [this, link] { removeLink(link); });
    return menu;
}

QMenu *NoteEditor::createTableMenu()
{
    const QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return nullptr;
    const QTextTableCell cell = table->cellAt(cursor);
    const int row = cell.row();
    const int column = cell.column();
    // The table may not outlive the menu's actions; look it up again when one fires.
    const int anchor = cursor.position();
    const auto tableNow = [this, anchor]() -> QTextTable * {
        QTextCursor probe(document());
        probe.setPosition(qMin(anchor, document()->characterCount() - 1));
        return probe.currentTable();
    };

    auto *menu = new QMenu(this);
    connect(menu->addAction(tr("Insert Row Above")), &QAction::triggered, this, [tableNow, row] {
        if (QTextTable *t = tableNow())
            t->insertRows(row, 1);
    });
    connect(menu->addAction(tr("Insert Row Below")), &QAction::triggered, this, [tableNow, row] {
        if (QTextTable *t = tableNow())
            t->insertRows(row + 1, 1);
    });
    menu->addSeparator();
    connect(menu->addAction(tr("Insert Column Before")), &QAction::triggered, this, [tableNow, column] {
        if (QTextTable *t = tableNow())
            t->insertColumns(column, 1);
    });
    connect(menu->addAction(tr("Insert Column After")), &QAction::triggered, this, [tableNow, column] {
        if (QTextTable *t = tableNow())
            t->insertColumns(column + 1, 1);
    });
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Row")), &QAction::triggered, this, [this, tableNow, row] {
        if (QTextTable *t = tableNow()) {
            if (t->rows() <= 1)
                deleteTable(document(), t);
            else
                t->removeRows(row, 1);
        }
    });
    connect(menu->addAction(tr("Delete Column")), &QAction::triggered, this, [this, tableNow, column] {
        if (QTextTable *t = tableNow()) {
            if (t->columns() <= 1)
                deleteTable(document(), t);
            else
                t->removeColumns(column, 1);
        }
    });
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Table")), &QAction::triggered, this, [this, tableNow] {
        if (QTextTable *t = tableNow())
            deleteTable(document(), t);
    });
    return menu;
}
