#include "noteheaderbar.h"

#include "deltadocument.h"
#include "painticons.h"

#include <QAction>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

constexpr int BarHeight = 40;
constexpr int ActionIconSize = 18;
constexpr int ChipIconSize = 14;

struct ChipColors {
    QColor background;
    QColor hover;
    QColor text;
};

ChipColors chipColors()
{
    if (DeltaDocument::isDarkPalette())
        return {QColor(0x2A, 0x2D, 0x31), QColor(0x34, 0x38, 0x3D), QColor(0xD7, 0xDB, 0xE0)};
    return {QColor(0xEF, 0xF1, 0xF4), QColor(0xE4, 0xE7, 0xEC), QColor(0x2B, 0x31, 0x38)};
}

QColor highlightColor()
{
    return QGuiApplication::palette().color(QPalette::Highlight);
}

} // namespace

NoteHeaderBar::NoteHeaderBar(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    setFixedHeight(BarHeight);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 10, 6);
    layout->setSpacing(6);

    m_sidebarToggle = new QToolButton(this);
    m_sidebarToggle->setObjectName(QStringLiteral("sidebarToggle"));
    m_sidebarToggle->setAutoRaise(true);
    m_sidebarToggle->setCursor(Qt::PointingHandCursor);
    m_sidebarToggle->setFocusPolicy(Qt::NoFocus);
    m_sidebarToggle->setFixedSize(28, 28);
    m_sidebarToggle->setIconSize(QSize(ActionIconSize, ActionIconSize));
    m_sidebarToggle->setToolTip(tr("Toggle sidebars (Ctrl+\\)"));
    connect(m_sidebarToggle, &QToolButton::clicked, this, &NoteHeaderBar::focusToggleClicked);
    layout->addWidget(m_sidebarToggle);

    m_notebookChip = new QPushButton(tr("Unorganized"), this);
    m_notebookChip->setObjectName(QStringLiteral("notebookChip"));
    m_notebookChip->setFlat(true);
    m_notebookChip->setCursor(Qt::PointingHandCursor);
    m_notebookChip->setFocusPolicy(Qt::NoFocus);
    m_notebookChip->setIconSize(QSize(ChipIconSize, ChipIconSize));
    m_notebookChip->setToolTip(tr("Open this notebook"));
    connect(m_notebookChip, &QPushButton::clicked, this, &NoteHeaderBar::notebookChipClicked);
    layout->addWidget(m_notebookChip);

    layout->addStretch(1);

    m_infoLabel = new QLabel(this);
    m_infoLabel->setObjectName(QStringLiteral("infoLabel"));
    m_infoLabel->setForegroundRole(QPalette::PlaceholderText);
    QFont infoFont(QStringLiteral("IBM Plex Mono"));
    infoFont.setStyleHint(QFont::Monospace);
    infoFont.setPixelSize(11);
    m_infoLabel->setFont(infoFont);
    m_infoLabel->setContentsMargins(0, 0, 10, 0);
    m_infoLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(m_infoLabel);

    m_copyButton = createActionButton(QStringLiteral("copyButton"), tr("Copy\u2026"));
    m_copyMenu = new QMenu(m_copyButton);
    connect(m_copyMenu->addAction(tr("Copy as Plain Text")), &QAction::triggered,
            this, &NoteHeaderBar::copyAsPlainTextRequested);
    connect(m_copyMenu->addAction(tr("Copy as Markdown")), &QAction::triggered,
            this, &NoteHeaderBar::copyAsMarkdownRequested);
    connect(m_copyMenu->addAction(tr("Copy as HTML")), &QAction::triggered,
            this, &NoteHeaderBar::copyAsHtmlRequested);
    m_copyButton->setMenu(m_copyMenu);
    m_copyButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_copyButton);

    m_shareButton = createActionButton(QStringLiteral("shareButton"), tr("Share note"));
    connect(m_shareButton, &QToolButton::clicked, this, &NoteHeaderBar::shareRequested);
    layout->addWidget(m_shareButton);

    m_historyButton = createActionButton(QStringLiteral("historyButton"), tr("Version history"));
    connect(m_historyButton, &QToolButton::clicked, this, &NoteHeaderBar::historyRequested);
    layout->addWidget(m_historyButton);

    m_moreButton = createActionButton(QStringLiteral("moreButton"), tr("More actions"));
    m_moreMenu = new QMenu(m_moreButton);
    m_includeInTodosAction = m_moreMenu->addAction(tr("Include in To-Dos"));
    m_includeInTodosAction->setCheckable(true);
    connect(m_includeInTodosAction, &QAction::toggled, this, &NoteHeaderBar::includeInTodosToggled);
    m_moreMenu->addSeparator();
    m_moveToNotebookAction = m_moreMenu->addAction(tr("Move to Notebook\u2026"));
    connect(m_moveToNotebookAction, &QAction::triggered, this, &NoteHeaderBar::moveToNotebookRequested);
    m_exportAction = m_moreMenu->addAction(tr("Export\u2026"));
    connect(m_exportAction, &QAction::triggered, this, &NoteHeaderBar::exportRequested);
    connect(m_moreMenu->addAction(tr("Print\u2026")), &QAction::triggered,
            this, &NoteHeaderBar::printRequested);
    m_moreMenu->addSeparator();
    m_deleteAction = m_moreMenu->addAction(tr("Move to Trash"));
    connect(m_deleteAction, &QAction::triggered, this, &NoteHeaderBar::deleteRequested);
    m_moreButton->setMenu(m_moreMenu);
    m_moreButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_moreButton);

    updateChipStyle();
    updateIcons();
}

NoteHeaderBar::~NoteHeaderBar() = default;

QToolButton *NoteHeaderBar::createActionButton(const QString &objectName, const QString &toolTip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(32, 28);
    button->setIconSize(QSize(ActionIconSize, ActionIconSize));
    button->setToolTip(toolTip);
    // The glyph says what the button does; the menu arrow would only crowd it.
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    return button;
}

void NoteHeaderBar::setNoteEditable(bool editable)
{
    m_editable = editable;
    m_copyButton->setEnabled(editable);
    m_historyButton->setEnabled(editable);
    m_moreButton->setEnabled(editable);
    m_notebookChip->setEnabled(editable);
    updateShareButton();
    if (!editable)
        m_infoLabel->clear();
}

void NoteHeaderBar::setFocusMode(bool on)
{
    if (m_focusMode == on)
        return;
    m_focusMode = on;
    updateIcons();
}

void NoteHeaderBar::setShareAvailable(bool available)
{
    m_shareAvailable = available;
    updateShareButton();
}

void NoteHeaderBar::setShared(bool shared)
{
    if (m_shared == shared)
        return;
    m_shared = shared;
    m_shareButton->setToolTip(shared ? tr("Manage sharing") : tr("Share note"));
    updateIcons();
}

void NoteHeaderBar::setIncludeInTodos(bool on)
{
    const QSignalBlocker blocker(m_includeInTodosAction);
    m_includeInTodosAction->setChecked(on);
}

void NoteHeaderBar::setNotebookName(const QString &name)
{
    m_notebookChip->setText(name.isEmpty() ? tr("Unorganized") : name);
}

void NoteHeaderBar::setInfoText(const QString &text)
{
    m_infoLabel->setText(text);
}

void NoteHeaderBar::setNotebookChipVisible(bool visible)
{
    m_notebookChip->setVisible(visible);
}

void NoteHeaderBar::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        && !m_updatingStyle && m_moreButton) {
        m_updatingStyle = true;
        updateChipStyle();
        updateIcons();
        m_updatingStyle = false;
    }
}

void NoteHeaderBar::updateIcons()
{
    const QColor color = PaintIcons::windowTextColor();
    using PaintIcons::Glyph;
    m_sidebarToggle->setIcon(PaintIcons::glyphIcon(m_focusMode ? Glyph::Focus : Glyph::Sidebar, color));
    m_notebookChip->setIcon(PaintIcons::glyphIcon(Glyph::Notebook, chipColors().text));
    m_copyButton->setIcon(PaintIcons::glyphIcon(Glyph::Copy, color));
    m_shareButton->setIcon(PaintIcons::glyphIcon(Glyph::Share, m_shared ? highlightColor() : color));
    m_historyButton->setIcon(PaintIcons::glyphIcon(Glyph::History, color));
    m_moreButton->setIcon(PaintIcons::glyphIcon(Glyph::More, color));
}

void NoteHeaderBar::updateChipStyle()
{
    const ChipColors colors = chipColors();
    m_notebookChip->setStyleSheet(
        QStringLiteral("QPushButton {"
                       "  background-color: %1;"
                       "  color: %3;"
                       "  border: none;"
                       "  border-radius: 10px;"
                       "  padding: 3px 10px 3px 8px;"
                       "  font-family: 'IBM Plex Sans';"
                       "  font-size: 12px;"
                       "  font-weight: 500;"
                       "  text-align: left;"
                       "}"
                       "QPushButton:hover { background-color: %2; }")
            .arg(colors.background.name(), colors.hover.name(), colors.text.name()));
}

void NoteHeaderBar::updateShareButton()
{
    m_shareButton->setVisible(m_shareAvailable);
    m_shareButton->setEnabled(m_shareAvailable && m_editable);
}
