#include "findbar.h"

#include "deltadocument.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

namespace {

// Marks our highlights among the editor's extra selections, so that selections set by
// anyone else survive every refresh.
constexpr int FindHighlightProperty = QTextFormat::UserProperty + 0x4642;

constexpr int DocumentChangeDelayMs = 150;

QTextCharFormat highlightFormat(bool current)
{
    const bool dark = DeltaDocument::isDarkPalette();
    QTextCharFormat format;
    if (current) {
        format.setBackground(QColor(QLatin1String(dark ? "#B36B00" : "#FF9632")));
        format.setForeground(QColor(QLatin1String(dark ? "#FFFFFF" : "#000000")));
    } else {
        format.setBackground(QColor(QLatin1String(dark ? "#5C4B00" : "#FFE97A")));
    }
    format.setProperty(FindHighlightProperty, true);
    return format;
}

bool isOurs(const QTextEdit::ExtraSelection &selection)
{
    return selection.format.hasProperty(FindHighlightProperty);
}

} // namespace

FindBar::FindBar(QTextEdit *editor, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setObjectName(QStringLiteral("findBar"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setPlaceholderText(tr("Find in note"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    layout->addWidget(m_field, 1);

    m_countLabel = new QLabel(this);
    m_countLabel->setObjectName(QStringLiteral("findCount"));
    m_countLabel->setTextFormat(Qt::PlainText);
    m_countLabel->setMinimumWidth(m_countLabel->fontMetrics().horizontalAdvance(QStringLiteral("00000 of 00000")));
    layout->addWidget(m_countLabel);

    const auto makeButton = [this, layout](const QString &name, Qt::ArrowType arrow, const QString &toolTip) {
        auto *button = new QToolButton(this);
        button->setObjectName(name);
        button->setArrowType(arrow);
        button->setAutoRaise(true);
        button->setToolTip(toolTip);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
        return button;
    };
    m_previousButton = makeButton(QStringLiteral("findPrevious"), Qt::UpArrow, tr("Previous match (Shift+Enter)"));
    m_nextButton = makeButton(QStringLiteral("findNext"), Qt::DownArrow, tr("Next match (Enter)"));

    m_closeButton = new QToolButton(this);
    m_closeButton->setObjectName(QStringLiteral("findClose"));
    m_closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_closeButton->setAutoRaise(true);
    m_closeButton->setToolTip(tr("Close (Esc)"));
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_closeButton);

    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(DocumentChangeDelayMs);

    connect(m_field, &QLineEdit::textChanged, this, [this] {
        updateMatches();
        if (m_current >= 0)
            selectCurrent();
    });
    connect(m_previousButton, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_nextButton, &QToolButton::clicked, this, &FindBar::findNext);
    connect(m_closeButton, &QToolButton::clicked, this, &FindBar::deactivate);
    connect(&m_updateTimer, &QTimer::timeout, this, &FindBar::updateMatches);
    // A document swapped in under the editor announces itself only through the cursor.
    if (m_editor) {
        connect(m_editor, &QTextEdit::cursorPositionChanged, this, [this] {
            if (m_editor && m_editor->document() != m_document)
                scheduleUpdate();
        });
    }

    updateCountLabel();
    hide();
}

FindBar::~FindBar()
{
    m_updateTimer.stop();
    disconnect(m_contentsConnection);
    clearHighlights();
}

void FindBar::activate()
{
    if (m_editor) {
        const QTextCursor cursor = m_editor->textCursor();
        if (cursor.hasSelection()) {
            const QString selected = cursor.selectedText();
            // A selection across blocks holds a paragraph separator; such text could
            // never match, so the previous search text stays.
            if (!selected.contains(QChar::ParagraphSeparator) && !selected.contains(QChar::LineSeparator)
                && !selected.contains(QChar::ObjectReplacementCharacter)) {
                const QSignalBlocker blocker(m_field);
                m_field->setText(selected);
            }
        }
    }
    show();
    watchDocument();
    updateMatches();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void FindBar::deactivate()
{
    m_updateTimer.stop();
    clearHighlights();
    m_matches.clear();
    m_current = -1;
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    hide();
    if (m_editor && (hadFocus || !m_editor->hasFocus()))
        m_editor->setFocus(Qt::OtherFocusReason);
    Q_EMIT closed();
}

QString FindBar::searchText() const
{
    return m_field->text();
}

void FindBar::setSearchText(const QString &text)
{
    m_field->setText(text);
}

void FindBar::setCaseSensitive(bool on)
{
    if (m_caseSensitive == on)
        return;
    m_caseSensitive = on;
    updateMatches();
}

QString FindBar::countText() const
{
    return m_countLabel->text();
}

void FindBar::findNext()
{
    step(false);
}

void FindBar::findPrevious()
{
    step(true);
}

namespace {

bool isBarKey(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}

} // namespace

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    // The window may bind F3 or Escape to actions of its own; inside the bar they are ours.
    if (watched == m_field && event->type() == QEvent::ShortcutOverride
        && isBarKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        const bool shift = keyEvent->modifiers() & Qt::ShiftModifier;
        switch (keyEvent->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            step(shift);
            return true;
        case Qt::Key_Escape:
            deactivate();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        deactivate();
        return;
    case Qt::Key_F3:
        step(shift);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void FindBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !isHidden())
        applyHighlights();
}

void FindBar::scheduleUpdate()
{
    if (!isHidden() && !m_applying)
        m_updateTimer.start();
}

void FindBar::watchDocument()
{
    QTextDocument *document = m_editor ? m_editor->document() : nullptr;
    if (document == m_document && m_contentsConnection)
        return;
    disconnect(m_contentsConnection);
    m_document = document;
    if (document)
        m_contentsConnection = connect(document, &QTextDocument::contentsChange, this, &FindBar::scheduleUpdate);
}

// One pass over the blocks with one copy of each block's text: the cost stays linear in
// the note's length whatever the number of matches.
void FindBar::updateMatches()
{
    m_updateTimer.stop();
    watchDocument();
    m_matches.clear();
    m_current = -1;
    m_capped = false;

    const QString needle = m_field->text();
    if (!m_editor || !m_document || needle.isEmpty() || isHidden()) {
        applyHighlights();
        updateCountLabel();
        return;
    }

    const Qt::CaseSensitivity sensitivity = m_caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QTextCursor editorCursor = m_editor->textCursor();
    const int anchor = editorCursor.selectionStart();
    const QTextCharFormat format = highlightFormat(false);

    for (QTextBlock block = m_document->begin(); block.isValid() && !m_capped; block = block.next()) {
        QString text = block.text();
        text.replace(QChar::Nbsp, QLatin1Char(' '));
        for (int from = 0;;) {
            const int index = text.indexOf(needle, from, sensitivity);
            if (index < 0)
                break;
            if (m_matches.size() >= MaxMatches) {
                m_capped = true;
                break;
            }
            QTextEdit::ExtraSelection selection;
            selection.cursor = QTextCursor(m_document);
            selection.cursor.setPosition(block.position() + index);
            selection.cursor.setPosition(block.position() + index + needle.size(), QTextCursor::KeepAnchor);
            selection.format = format;
            if (m_current < 0 && block.position() + index >= anchor)
                m_current = m_matches.size();
            m_matches.append(selection);
            from = index + needle.size();
        }
    }
    if (m_current < 0 && !m_matches.isEmpty())
        m_current = 0;

    applyHighlights();
    updateCountLabel();
}

// From the current match while the editor still shows it selected; otherwise from
// wherever the user has put the cursor since.
void FindBar::step(bool backwards)
{
    if (m_updateTimer.isActive() || !m_document)
        updateMatches();
    if (m_matches.isEmpty() || !m_editor)
        return;
    const int count = m_matches.size();
    const QTextCursor cursor = m_editor->textCursor();
    const bool onCurrent = m_current >= 0 && m_current < count
        && m_matches.at(m_current).cursor.selectionStart() == cursor.selectionStart()
        && m_matches.at(m_current).cursor.selectionEnd() == cursor.selectionEnd();
    if (onCurrent) {
        m_current = (m_current + (backwards ? count - 1 : 1)) % count;
    } else if (backwards) {
        m_current = count - 1;
        for (int i = count - 1; i >= 0; --i) {
            if (m_matches.at(i).cursor.selectionEnd() <= cursor.selectionStart()) {
                m_current = i;
                break;
            }
        }
    } else {
        m_current = 0;
        for (int i = 0; i < count; ++i) {
            if (m_matches.at(i).cursor.selectionStart() >= cursor.selectionEnd()) {
                m_current = i;
                break;
            }
        }
    }
    selectCurrent();
    applyHighlights();
    updateCountLabel();
}

void FindBar::selectCurrent()
{
    if (!m_editor || m_current < 0 || m_current >= m_matches.size())
        return;
    m_editor->setTextCursor(m_matches.at(m_current).cursor);
    m_editor->ensureCursorVisible();
}

void FindBar::applyHighlights()
{
    if (!m_editor)
        return;
    QList<QTextEdit::ExtraSelection> selections;
    const QList<QTextEdit::ExtraSelection> existing = m_editor->extraSelections();
    for (const QTextEdit::ExtraSelection &selection : existing) {
        if (!isOurs(selection))
            selections.append(selection);
    }
    if (!m_matches.isEmpty()) {
        const QTextCharFormat normal = highlightFormat(false);
        const QTextCharFormat current = highlightFormat(true);
        selections.reserve(selections.size() + m_matches.size());
        for (int i = 0; i < m_matches.size(); ++i) {
            QTextEdit::ExtraSelection selection = m_matches.at(i);
            selection.format = i == m_current ? current : normal;
            selections.append(selection);
        }
    }
    m_applying = true;
    m_editor->setExtraSelections(selections);
    m_applying = false;
}

void FindBar::clearHighlights()
{
    if (!m_editor)
        return;
    QList<QTextEdit::ExtraSelection> selections = m_editor->extraSelections();
    const auto removed = selections.removeIf(isOurs);
    if (removed > 0)
        m_editor->setExtraSelections(selections);
}

void FindBar::updateCountLabel()
{
    QString text;
    if (!m_field->text().isEmpty()) {
        const int count = m_matches.size();
        if (count == 0)
            text = tr("No matches");
        else if (m_capped)
            text = tr("%1 of %2+").arg(qMax(m_current, 0) + 1).arg(count);
        else
            text = tr("%1 of %2").arg(qMax(m_current, 0) + 1).arg(count);
    }
    m_countLabel->setText(text);
    m_previousButton->setEnabled(!m_matches.isEmpty());
    m_nextButton->setEnabled(!m_matches.isEmpty());
}
