// Painting: code blocks as one shaded box per run of code lines.

#include "noteeditor.h"

#include "deltadocument.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

bool isCodeLine(const QTextBlock &block)
{
    return block.isValid() && block.blockFormat().hasProperty(DeltaDocument::CodeBlockProperty)
        && !block.blockFormat().hasProperty(DeltaDocument::HeadingLevelProperty)
        && !QTextCursor(block).currentTable();
}

// How far a run may reach back above the viewport before painting gives up on its top.
constexpr int MaxRunLookBack = 2000;

} // namespace

void NoteEditor::paintEvent(QPaintEvent *event)
{
    paintCodeBlocks(event->rect());
    QTextEdit::paintEvent(event);
}

// Each code line carries its own background, which the layout fills line by line with
// the paragraph spacing left bare between them. One box under the whole run, in the
// same colour, joins them and gives the run an even margin all round.
void NoteEditor::paintCodeBlocks(const QRect &area)
{
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QTextBlock block = cursorForPosition(QPoint(0, 0)).block();
    for (int steps = 0; steps < MaxRunLookBack && isCodeLine(block.previous()); ++steps)
        block = block.previous();

    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal left = document()->documentMargin();
    const qreal right = document()->textWidth() > 0 ? document()->textWidth() - document()->documentMargin()
                                                    : viewport()->width() - document()->documentMargin();
    while (block.isValid()) {
        const QRectF rect = layout->blockBoundingRect(block).translated(-offset);
        if (rect.top() > area.bottom())
            break;
        if (!isCodeLine(block)) {
            block = block.next();
            continue;
        }
        const QTextBlockFormat format = block.blockFormat();
        QRectF run = rect;
        QTextBlock last = block;
        while (isCodeLine(last.next())) {
            last = last.next();
            run = run.united(layout->blockBoundingRect(last).translated(-offset));
        }
        // The margins above the first line and below the last pad the box; the lines'
        // side margins pad it left and right.
        run.adjust(0, -format.topMargin(), 0, last.blockFormat().bottomMargin());
        run.setLeft(left);
        run.setRight(right);
        if (run.intersects(QRectF(area))) {
            QPainterPath path;
            path.addRoundedRect(run, 4, 4);
            painter.fillPath(path, format.background());
        }
        block = last.next();
    }
}
