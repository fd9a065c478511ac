// Large notes: a read-only plain-text view instead of a rich-text layout of megabytes,
// and a question before a paste of that size.

#include "noteeditor.h"

#include "deltadocument.h"
#include "deltarender.h"

#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <utility>

namespace {

// Loading and laying out a megabyte of rich text takes about half a second of processor
// time, growing with every megabyte; the plain-text view lays out only what is on screen.
std::atomic<qsizetype> s_largeNoteThreshold{2 * 1024 * 1024};
std::atomic<qsizetype> s_pasteAskThreshold{1024 * 1024};

// Below this a body loads at once even in a window not yet shown.
constexpr qsizetype DeferredLoadCharacters = 256 * 1024;

QString megabytes(qsizetype characters)
{
    return QString::number(double(characters) / (1024.0 * 1024.0), 'f', 1);
}

QString plainTextOf(const QString &deltaJson)
{
    const QJsonDocument parsed = QJsonDocument::fromJson(deltaJson.toUtf8());
    return parsed.isArray() ? deltaToPlainText(parsed.array()) : deltaJson;
}

} // namespace

qsizetype NoteEditor::largeNoteThreshold()
{
    return s_largeNoteThreshold.load(std::memory_order_relaxed);
}

void NoteEditor::setLargeNoteThreshold(qsizetype characters)
{
    s_largeNoteThreshold.store(characters, std::memory_order_relaxed);
}

qsizetype NoteEditor::pasteAskThreshold()
{
    return s_pasteAskThreshold.load(std::memory_order_relaxed);
}

void NoteEditor::setPasteAskThreshold(qsizetype characters)
{
    s_pasteAskThreshold.store(characters, std::memory_order_relaxed);
}

QString NoteEditor::largeNoteNotice() const
{
    return m_largeNotice && m_large ? m_largeNotice->text() : QString();
}

void NoteEditor::showLargeNote(const QString &deltaJson)
{
    if (!m_largePanel) {
        m_largePanel = new QWidget(this);
        auto *layout = new QVBoxLayout(m_largePanel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_largeNotice = new QLabel(m_largePanel);
        m_largeNotice->setWordWrap(true);
        m_largeNotice->setContentsMargins(12, 8, 12, 8);
        m_largeNotice->setAutoFillBackground(true);
        m_largeNotice->setBackgroundRole(QPalette::AlternateBase);
        m_largeView = new QPlainTextEdit(m_largePanel);
        m_largeView->setReadOnly(true);
        m_largeView->setFrameShape(QFrame::NoFrame);
        m_largeView->document()->setDocumentMargin(12);
        m_largeView->setFont(font());
        layout->addWidget(m_largeNotice);
        layout->addWidget(m_largeView, 1);
    }
    m_large = true;
    m_largeBody = deltaJson;
    // The rich document stays empty; nothing typed there could reach the stored body.
    m_delta->setDeltaJson(QString());
    setReadOnly(true);
    setPlaceholderText(QString());
    m_largeView->setPlainText(plainTextOf(deltaJson));
    m_largeNotice->setText(tr("This note is too large to edit here (%1 MB). It is shown as plain "
                              "text and cannot be changed in this window.")
                               .arg(megabytes(deltaJson.size())));
    m_largePanel->setGeometry(rect());
    m_largePanel->show();
    m_largePanel->raise();
    setFocusProxy(m_largeView);
}

void NoteEditor::leaveLargeNote()
{
    if (!m_large)
        return;
    m_large = false;
    m_largeBody.clear();
    m_largeView->clear();
    m_largePanel->hide();
    setFocusProxy(nullptr);
}

// A window opening with a remembered note of some size shows itself first and loads the
// note right after: start-up never waits on a layout, which would also be done twice,
// once at the hidden width and again at the shown one.
bool NoteEditor::deferLoad(const QString &noteId, const QString &deltaJson)
{
    if (window()->isVisible() || deltaJson.size() <= DeferredLoadCharacters)
        return false;
    m_loading = true;
    m_currentNoteId = noteId;
    m_saveTimer.stop();
    leaveLargeNote();
    m_delta->setDeltaJson(QString());
    m_deferred = true;
    m_deferredBody = deltaJson;
    m_loading = false;
    m_saved = true;
    m_saveFailed = false;
    m_retryDelayMs = 0;
    Q_EMIT savedStateChanged(true);
    return true;
}

void NoteEditor::finishDeferredLoad()
{
    if (!m_deferred)
        return;
    const QString body = std::exchange(m_deferredBody, QString());
    m_deferred = false;
    const bool readOnly = isReadOnly();
    loadNote(m_currentNoteId, body, true);
    setReadOnly(readOnly);
}

void NoteEditor::showEvent(QShowEvent *event)
{
    QTextEdit::showEvent(event);
    if (m_deferred)
        QTimer::singleShot(0, this, &NoteEditor::finishDeferredLoad);
}

void NoteEditor::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    if (m_largePanel)
        m_largePanel->setGeometry(rect());
}

// Formatted pastes of megabytes convert and lay out for minutes: ask first, and refuse
// what would make the note too large to edit at all.
bool NoteEditor::confirmLargePaste(qsizetype characters)
{
    if (characters <= pasteAskThreshold())
        return true;
    if (!m_confirmPrompt)
        return false;
    if (characters > largeNoteThreshold()) {
        m_confirmPrompt(tr("Paste Too Large"),
                        tr("The clipboard holds %1 MB, more than a note can hold in the editor. "
                           "Nothing was pasted.").arg(megabytes(characters)));
        return false;
    }
    return m_confirmPrompt(tr("Paste Large Text"),
                           tr("The clipboard holds %1 MB. Pasting it can take a while. Paste it?")
                               .arg(megabytes(characters)));
}
