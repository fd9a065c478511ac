// Attachments: inserting, opening, saving, copying, removing, and dropping files.

#include "noteeditor.h"

#include "attachmentrepository.h"
#include "deltadocument.h"
#include "uilog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QUuid>

namespace {

const QString AttachmentKey = QStringLiteral("ombrel-notes-attachment");

// The file name shown to the user comes from synced and imported records: never let it
// name a path outside the folder it is written to.
QString safeFileName(const QString &id, const QString &fileName)
{
    QString name = fileName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return id + QStringLiteral(".bin");
    return name;
}

// The temporary folder an attachment is written to before another program sees it.
QString temporaryFolder(const QString &id)
{
    return QDir::tempPath() + QStringLiteral("/ombrel-notes/") + id;
}

struct WriteMessages {
    const char *openFailed;
    const char *shortWrite;
};

// Writes bytes to folder/name; an empty result means failure (already logged).
QString writeTemporaryCopy(const QString &id, const QString &fileName, const QByteArray &bytes,
                           const WriteMessages &messages)
{
    const QString folder = temporaryFolder(id);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + safeFileName(id, fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << messages.openFailed << path << file.errorString();
        return {};
    }
    if (file.write(bytes) < bytes.size()) {
        qCWarning(lcUi) << messages.shortWrite << path;
        return {};
    }
    return path;
}

bool hasLocalFile(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); });
}

} // namespace

void NoteEditor::insertAttachment()
{
    if (!m_attachments || m_currentNoteId.isEmpty() || !m_openFilePrompt)
        return;
    const QString path = m_openFilePrompt(
        tr("Insert Attachment"),
        tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    if (!path.isEmpty())
        insertAttachmentFromPath(path);
}

bool NoteEditor::insertAttachmentFromPath(const QString &path)
{
    if (!m_attachments || m_currentNoteId.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: can't open" << path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.isEmpty())
        return false;

    Attachment attachment;
    attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    attachment.noteId = m_currentNoteId;
    attachment.filename = QFileInfo(path).fileName();
    attachment.mimeType = QMimeDatabase().mimeTypeForFile(path).name();
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    attachment.syncStatus = SyncStatus::Pending;
    if (!m_attachments->saveFile(attachment.id, bytes)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: saveFile failed";
        return false;
    }
    if (!m_attachments->insert(attachment)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: insert failed";
        return false;
    }

    QTextCharFormat object;
    object.setObjectType(DeltaDocument::AttachmentObject);
    object.setProperty(DeltaDocument::EmbedKeyProperty, AttachmentKey);
    object.setProperty(DeltaDocument::EmbedValueProperty, DeltaDocument::attachmentPrefix() + attachment.id);

    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), object);
    QTextBlockFormat block = cursor.blockFormat();
    block.setLineHeight(0, QTextBlockFormat::SingleHeight);
    cursor.setBlockFormat(block);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    setTextCursor(cursor); // the edit was reported through onContentsChanged
    return true;
}

bool NoteEditor::openAttachment(const QString &id, const QString &fileName)
{
    if (!m_attachments || !AttachmentRepository::isValidId(id))
        return false;
    const QByteArray bytes = m_attachments->readFile(id);
    if (bytes.isEmpty())
        return false;
    const QString path = writeTemporaryCopy(
        id, fileName, bytes,
        {"openAttachment: failed to open temp file", "openAttachment: short write for"});
    if (path.isEmpty())
        return false;
    return m_urlOpener ? m_urlOpener(QUrl::fromLocalFile(path)) : false;
}

void NoteEditor::saveAttachmentAs(const QString &id, const QString &fileName)
{
    if (!m_attachments || !m_saveFilePrompt)
        return;
    const QString path = m_saveFilePrompt(tr("Save Attachment"),
                                          QDir::homePath() + QLatin1Char('/') + safeFileName(id, fileName));
    if (path.isEmpty())
        return;
    const QByteArray bytes = m_attachments->readFile(id);
    if (bytes.isEmpty()) {
        qCWarning(lcUi) << "saveAttachmentAs: empty/missing file for" << id;
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "saveAttachmentAs: open failed" << file.errorString();
        return;
    }
    if (file.write(bytes) < bytes.size())
        qCWarning(lcUi) << "saveAttachmentAs: short write for" << path;
}

void NoteEditor::copyAttachmentFile(const QString &id)
{
    if (!m_attachments || !AttachmentRepository::isValidId(id))
        return;
    const std::optional<Attachment> record = m_attachments->findById(id);
    const QByteArray bytes = m_attachments->readFile(id);
    if (bytes.isEmpty())
        return;
    const QString path = writeTemporaryCopy(id, record ? record->filename : QString(), bytes,
                                            {"copyFile: failed to open temp file", "copyFile: short write for"});
    if (path.isEmpty())
        return;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    QApplication::clipboard()->setMimeData(data);
}

void NoteEditor::removeAttachment(const QString &id)
{
    const auto isThisAttachment = [this, &id](const QTextCursor &selection) {
        return selection.hasSelection() && attachmentIdAt(selection.selectionStart()) == id;
    };
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    QTextCursor before = cursor;
    before.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    QTextCursor after = cursor;
    after.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    // Removing the character goes through onContentsChanged, which reports the change.
    if (isThisAttachment(before))
        before.removeSelectedText();
    else if (isThisAttachment(after))
        after.removeSelectedText();
    if (m_attachments)
        m_attachments->deleteById(id);
}

void NoteEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_attachments && event->mimeData()->hasUrls() && hasLocalFile(event->mimeData())) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_attachments && event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragMoveEvent(event);
}

void NoteEditor::dropEvent(QDropEvent *event)
{
    if (m_attachments && event->mimeData()->hasUrls()) {
        setTextCursor(cursorForPosition(event->position().toPoint()));
        bool inserted = false;
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl &url : urls) {
            if (url.isLocalFile() && insertAttachmentFromPath(url.toLocalFile()))
                inserted = true;
        }
        if (inserted) {
            event->acceptProposedAction();
            return;
        }
    }
    QTextEdit::dropEvent(event);
}
