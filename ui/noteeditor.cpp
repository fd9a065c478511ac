#include "noteeditor.h"

#include "attachmentrenderer.h"
#include "deltadocument.h"
#include "linkdialog.h"
#include "uilog.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

namespace {

constexpr int IdleIntervalMs = 1000;
constexpr int MaxRetryDelayMs = 30000;

} // namespace

NoteEditor::NoteEditor(QWidget *parent)
    : QTextEdit(parent)
    , m_delta(new DeltaDocument(this))
{
    setDocument(m_delta->document());
    setAcceptRichText(true);
    setTabChangesFocus(false);
    viewport()->setMouseTracking(true);

    QFont bodyFont = font();
    bodyFont.setPixelSize(DeltaDocument::bodyPixelSize());
    setFont(bodyFont);

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(IdleIntervalMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &NoteEditor::onIdle);
    connect(m_delta, &DeltaDocument::contentsChanged, this, &NoteEditor::onContentsChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::updateFormatState);

    m_urlOpener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_linkPrompt = [this](const QString &title, const QString &text, const QString &url) {
        return LinkDialog::getLink(this, title, text, url);
    };
    m_openFilePrompt = [this](const QString &title, const QString &filter) {
        return QFileDialog::getOpenFileName(this, title, QString(), filter);
    };
    m_saveFilePrompt = [this](const QString &title, const QString &proposal) {
        return QFileDialog::getSaveFileName(this, title, proposal);
    };
    m_confirmPrompt = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };

    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    setReadOnly(true);
}

NoteEditor::~NoteEditor() = default;

void NoteEditor::setAttachmentRepository(AttachmentRepository *repository)
{
    if (!repository)
        return;
    m_attachments = repository;
    if (!m_renderer) {
        m_renderer = new AttachmentRenderer(repository, this);
        document()->documentLayout()->registerHandler(DeltaDocument::AttachmentObject, m_renderer);
    }
    setAcceptDrops(true);
}

void NoteEditor::loadNote(const QString &noteId, const QString &deltaJson, bool force)
{
    // The owner reloads after its own save: keep cursor, scroll position and undo history.
    if (!force && !noteId.isEmpty() && noteId == m_currentNoteId && m_saved
        && toDeltaJson() == deltaJson) {
        return;
    }
    if (deferLoad(noteId, deltaJson))
        return;
    m_deferred = false;
    m_deferredBody.clear();
    if (deltaJson.size() > largeNoteThreshold()) {
        m_loading = true;
        m_currentNoteId = noteId;
        m_saveTimer.stop();
        showLargeNote(deltaJson);
        m_loading = false;
        m_saved = true;
        m_saveFailed = false;
        m_retryDelayMs = 0;
        Q_EMIT savedStateChanged(true);
        Q_EMIT wordCountChanged(wordCount());
        updateFormatState();
        return;
    }
    leaveLargeNote();

    m_loading = true;
    m_currentNoteId = noteId;
    m_saveTimer.stop();
    setUpdatesEnabled(false);
    if (m_renderer)
        m_renderer->clearCache();
    m_delta->setDeltaJson(deltaJson);
    setReadOnly(false);
    setPlaceholderText(tr("Start typing..."));
    m_loading = false;
    m_saved = true;
    m_saveFailed = false;
    m_retryDelayMs = 0;
    QTextCursor start(document());
    setTextCursor(start);
    setUpdatesEnabled(true);

    Q_EMIT savedStateChanged(true);
    Q_EMIT wordCountChanged(wordCount());
    updateFormatState();
}

void NoteEditor::clearNote()
{
    m_deferred = false;
    m_deferredBody.clear();
    leaveLargeNote();
    m_loading = true;
    m_currentNoteId.clear();
    m_saveTimer.stop();
    m_delta->setDeltaJson(QString());
    setReadOnly(true);
    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    m_loading = false;
    m_saved = true;
    m_saveFailed = false;
    m_retryDelayMs = 0;
    Q_EMIT savedStateChanged(true);
    Q_EMIT wordCountChanged(0);
}

QString NoteEditor::toDeltaJson() const
{
    // A large note is shown, never edited: what is stored is given back unchanged.
    if (m_deferred)
        return m_deferredBody;
    return m_large ? m_largeBody : m_delta->toDeltaJson();
}

int NoteEditor::wordCount() const
{
    // Same result as splitting the trimmed text at "\\s+", without building the parts:
    // this runs on every keystroke in notes of a megabyte.
    const QString text = m_large ? m_largeView->toPlainText() : document()->toPlainText();
    int count = 0;
    bool inWord = false;
    for (const QChar c : text) {
        const bool space = c.isSpace();
        if (!space && !inWord)
            ++count;
        inWord = !space;
    }
    return count;
}

void NoteEditor::refreshAttachments()
{
    if (m_renderer)
        m_renderer->clearCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

void NoteEditor::onContentsChanged()
{
    if (m_loading || m_large || m_deferred || m_currentNoteId.isEmpty())
        return;
    reportChange();
}

void NoteEditor::reportChange()
{
    m_saved = false;
    Q_EMIT savedStateChanged(false);
    m_saveTimer.start(IdleIntervalMs);
    Q_EMIT wordCountChanged(wordCount());
}

void NoteEditor::onIdle()
{
    // The owner saves synchronously while handling the signal and reports a failure
    // through reportSaveFailed().
    m_saveFailed = false;
    Q_EMIT noteModified();
    if (m_saveFailed) {
        m_retryDelayMs = m_retryDelayMs == 0 ? 2 * IdleIntervalMs : qMin(2 * m_retryDelayMs, MaxRetryDelayMs);
        m_saveTimer.start(m_retryDelayMs);
        return;
    }
    m_retryDelayMs = 0;
    m_saved = true;
    Q_EMIT savedStateChanged(true);
}

void NoteEditor::reportSaveFailed()
{
    m_saveFailed = true;
    if (m_saved) {
        m_saved = false;
        Q_EMIT savedStateChanged(false);
    }
    // A failure outside the idle tick (switching notes, closing) still gets retried.
    if (!m_saveTimer.isActive())
        m_saveTimer.start(m_retryDelayMs == 0 ? IdleIntervalMs : m_retryDelayMs);
}

void NoteEditor::updateFormatState()
{
    const QTextCharFormat format = referenceCharFormat();
    const QTextCursor cursor = textCursor();
    const QTextBlockFormat block = cursor.blockFormat();

    const int weight = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() : QFont::Normal;
    const bool bold = weight >= QFont::Bold;
    const bool underline = format.fontUnderline() && !format.isAnchor();
    const int heading = block.hasProperty(DeltaDocument::HeadingLevelProperty)
        ? block.intProperty(DeltaDocument::HeadingLevelProperty)
        : 0;
    const QString listType = block.stringProperty(DeltaDocument::ListTypeProperty);
    const bool codeBlock = block.hasProperty(DeltaDocument::CodeBlockProperty);
    const bool blockquote = block.boolProperty(DeltaDocument::BlockquoteProperty);
    const bool inTable = cursor.currentTable() != nullptr;

    Q_EMIT formatStateChanged(bold, format.fontItalic(), underline, format.fontStrikeOut(),
                              format.fontFixedPitch(), heading, listType, codeBlock, blockquote,
                              inTable, block.alignment());
    Q_EMIT cursorFormatChanged();
}

void NoteEditor::openLink(const QString &href)
{
    if (href.isEmpty())
        return;
    QUrl url(href);
    if (url.scheme().isEmpty())
        url = QUrl(QStringLiteral("https://") + href);
    if (m_urlOpener)
        m_urlOpener(url);
}

void NoteEditor::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void NoteEditor::setLinkPrompt(LinkPrompt prompt)
{
    m_linkPrompt = std::move(prompt);
}

void NoteEditor::setOpenFilePrompt(FilePrompt prompt)
{
    m_openFilePrompt = std::move(prompt);
}

void NoteEditor::setSaveFilePrompt(FilePrompt prompt)
{
    m_saveFilePrompt = std::move(prompt);
}

void NoteEditor::setConfirmPrompt(ConfirmPrompt prompt)
{
    m_confirmPrompt = std::move(prompt);
}
