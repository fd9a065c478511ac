// Mouse: links, triple click, attachments, checklist markers, pointer shapes and tool tips.

#include "noteeditor.h"

#include "attachmentrepository.h"
#include "deltadocument.h"
#include "imagelightbox.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolTip>

namespace {

QString formatSize(qint64 bytes)
{
    const double kb = double(bytes) / 1024.0;
    if (kb < 1024.0)
        return QString::number(kb, 'f', 1) + QStringLiteral(" KB");
    return QString::number(kb / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

NoteEditor::LinkRange NoteEditor::linkAt(int position) const
{
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid())
        return {};
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int start = fragment.position();
        const int end = start + fragment.length();
        if (position < start || position > end)
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (format.isAnchor() && !format.anchorHref().isEmpty())
            return {start, end, format.anchorHref()};
        return {};
    }
    return {};
}

QString NoteEditor::attachmentIdAt(int position) const
{
    if (position < 0 || document()->characterAt(position) != QChar::ObjectReplacementCharacter)
        return {};
    const QTextBlock block = document()->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.contains(position))
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (format.objectType() != DeltaDocument::AttachmentObject)
            return {};
        QString value = format.stringProperty(DeltaDocument::EmbedValueProperty);
        if (value.startsWith(DeltaDocument::attachmentPrefix()))
            value.remove(0, DeltaDocument::attachmentPrefix().size());
        return value;
    }
    return {};
}

QString NoteEditor::attachmentIdNear(int position) const
{
    const QString id = attachmentIdAt(position);
    if (!id.isEmpty() || position <= 0)
        return id;
    return attachmentIdAt(position - 1);
}

void NoteEditor::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (event->modifiers() & Qt::ControlModifier) {
            const LinkRange link = linkAt(cursorForPosition(pos).position());
            if (link.isValid()) {
                openLink(link.href);
                event->accept();
                return;
            }
        }
        if (m_clickTimer.isValid() && m_clickTimer.elapsed() < QApplication::doubleClickInterval()
            && (pos - m_lastDoubleClickPos).manhattanLength() < 4) {
            m_clickTimer.invalidate();
            QTextCursor cursor = cursorForPosition(pos);
            cursor.movePosition(QTextCursor::StartOfBlock);
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            setTextCursor(cursor);
            event->accept();
            return;
        }
        if (toggleMarkerAt(pos)) {
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

bool NoteEditor::toggleMarkerAt(const QPoint &viewportPos)
{
    // Qt's own marker handling only toggles on release after a press on the same
    // marker; toggling on press keeps a click from also moving the selection.
    if (isReadOnly())
        return false;
    const QPointF documentPos = viewportPos + QPointF(horizontalScrollBar()->value(),
                                                      verticalScrollBar()->value());
    const QTextBlock block = document()->documentLayout()->blockWithMarkerAt(documentPos);
    if (!block.isValid())
        return false;
    QTextBlockFormat format = block.blockFormat();
    QString type;
    switch (format.marker()) {
    case QTextBlockFormat::MarkerType::Checked:
        format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
        type = QStringLiteral("unchecked");
        break;
    case QTextBlockFormat::MarkerType::Unchecked:
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
        type = QStringLiteral("checked");
        break;
    default:
        return false;
    }
    format.setProperty(DeltaDocument::ListTypeProperty, type);
    QTextCursor cursor(block);
    cursor.setBlockFormat(format);
    return true;
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_clickTimer.start();
        m_lastDoubleClickPos = pos;
        if (m_attachments) {
            const QString id = attachmentIdNear(cursorForPosition(pos).position());
            if (!id.isEmpty() && m_attachments->findById(id) && openAttachmentInteractive(id)) {
                event->accept();
                return;
            }
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

bool NoteEditor::openAttachmentInteractive(const QString &id)
{
    if (!m_attachments)
        return false;
    const std::optional<Attachment> record = m_attachments->findById(id);
    if (!record)
        return false;
    if (record->mimeType.startsWith(QLatin1String("image/"))) {
        const QImage image = QImage::fromData(m_attachments->readFile(id));
        if (!image.isNull()) {
            auto *lightbox = new ImageLightbox(image, record->filename, this);
            lightbox->setAttribute(Qt::WA_DeleteOnClose);
            lightbox->setModal(false);
            lightbox->show();
            return true;
        }
    }
    return openAttachment(id, record->filename);
}

void NoteEditor::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const int position = cursorForPosition(pos).position();
    const bool overAttachment = !attachmentIdNear(position).isEmpty();
    const bool overLink = (event->modifiers() & Qt::ControlModifier) && linkAt(position).isValid();
    viewport()->setCursor(overAttachment || overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    QTextEdit::mouseMoveEvent(event);
}

bool NoteEditor::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        return handleToolTip(static_cast<QHelpEvent *>(event));
    // Delete-previous-word belongs to the text under the cursor, not to the window's
    // trash shortcut bound to the same key.
    if (event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::DeleteStartOfWord)) {
        event->accept();
        return true;
    }
    return QTextEdit::event(event);
}

bool NoteEditor::handleToolTip(QHelpEvent *event)
{
    const QPoint viewportPos = viewport()->mapFrom(this, event->pos());
    const int position = cursorForPosition(viewportPos).position();
    QString text;
    const QString id = attachmentIdNear(position);
    if (!id.isEmpty() && m_attachments) {
        if (const std::optional<Attachment> record = m_attachments->findById(id)) {
            text = tr("%1 (%2)\n(Double-click to open, right-click for more)")
                       .arg(record->filename, formatSize(record->sizeBytes));
        }
    }
    if (text.isEmpty() && id.isEmpty()) {
        const LinkRange link = linkAt(position);
        if (link.isValid())
            text = tr("%1\n(Ctrl+click to open)").arg(link.href);
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, viewport());
    return true;
}
