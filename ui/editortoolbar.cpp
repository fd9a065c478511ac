#include "editortoolbar.h"

#include "noteeditor.h"
#include "painticons.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>

namespace {

constexpr int IconSize = 16;
constexpr int HeadingComboMinimumWidth = 100;
constexpr int HeadingLevels = 6;

PaintIcons::TextStyle textStyle(int pixelSize, bool italic = false, bool underline = false,
                                bool strikeOut = false)
{
    PaintIcons::TextStyle style;
    style.pixelSize = pixelSize;
    style.bold = true;
    style.italic = italic;
    style.underline = underline;
    style.strikeOut = strikeOut;
    return style;
}

} // namespace

EditorToolbar::EditorToolbar(QWidget *parent)
    : QToolBar(parent)
{
    setMovable(false);
    setIconSize(QSize(IconSize, IconSize));
    setToolButtonStyle(Qt::ToolButtonIconOnly);

    m_boldAction = addCommand(QStringLiteral("boldAction"), tr("Bold (Ctrl+B)"), true,
                              &NoteEditor::toggleBold);
    m_italicAction = addCommand(QStringLiteral("italicAction"), tr("Italic (Ctrl+I)"), true,
                                &NoteEditor::toggleItalic);
    m_underlineAction = addCommand(QStringLiteral("underlineAction"), tr("Underline (Ctrl+U)"), true,
                                   &NoteEditor::toggleUnderline);
    m_strikeAction = addCommand(QStringLiteral("strikeAction"), tr("Strikethrough (Ctrl+Shift+X)"),
                                true, &NoteEditor::toggleStrikethrough);
    m_codeAction = addCommand(QStringLiteral("inlineCodeAction"), tr("Inline Code (Ctrl+`)"), true,
                              &NoteEditor::toggleInlineCode);
    addSeparator();

    m_headingCombo = new QComboBox(this);
    m_headingCombo->setObjectName(QStringLiteral("headingCombo"));
    m_headingCombo->addItem(tr("Normal"), 0);
    for (int level = 1; level <= HeadingLevels; ++level)
        m_headingCombo->addItem(tr("Heading %1").arg(level), level);
    m_headingCombo->setToolTip(tr("Heading Level"));
    m_headingCombo->setMinimumWidth(HeadingComboMinimumWidth);
    // activated, not currentIndexChanged: only the user's choice reaches the editor, and
    // choosing the level already shown still applies it to every selected block.
    connect(m_headingCombo, &QComboBox::activated, this, &EditorToolbar::onHeadingActivated);
    addWidget(m_headingCombo);
    addSeparator();

    m_bulletListAction = addCommand(QStringLiteral("bulletListAction"),
                                    tr("Bullet List (Ctrl+Shift+8)"), true,
                                    &NoteEditor::toggleBulletList);
    m_numberedListAction = addCommand(QStringLiteral("numberedListAction"),
                                      tr("Numbered List (Ctrl+Shift+7)"), true,
                                      &NoteEditor::toggleNumberedList);
    m_checkboxListAction = addCommand(QStringLiteral("checkboxListAction"),
                                      tr("Checkbox List (Ctrl+Shift+9)"), true,
                                      &NoteEditor::toggleCheckboxList);
    addSeparator();

    m_codeBlockAction = addCommand(QStringLiteral("codeBlockAction"), tr("Code Block (Ctrl+Shift+`)"),
                                   true, &NoteEditor::toggleCodeBlock);
    m_blockquoteAction = addCommand(QStringLiteral("blockquoteAction"),
                                    tr("Blockquote (Ctrl+Shift+B)"), true,
                                    &NoteEditor::toggleBlockquote);
    addSeparator();

    addAlignment(m_alignLeftAction, QStringLiteral("alignLeftAction"),
                 tr("Align Left (Ctrl+Shift+L)"), Qt::AlignLeft);
    addAlignment(m_alignCenterAction, QStringLiteral("alignCenterAction"),
                 tr("Align Center (Ctrl+Shift+E)"), Qt::AlignHCenter);
    addAlignment(m_alignRightAction, QStringLiteral("alignRightAction"),
                 tr("Align Right (Ctrl+Shift+R)"), Qt::AlignRight);
    addSeparator();

    m_linkAction = addCommand(QStringLiteral("linkAction"), tr("Insert Link (Ctrl+K)"), false,
                              &NoteEditor::insertLink);
    m_dividerAction = addCommand(QStringLiteral("dividerAction"), tr("Insert Divider"), false,
                                 &NoteEditor::insertDivider);
    m_tableAction = addAction(tr("Insert Table"));
    m_tableAction->setObjectName(QStringLiteral("tableAction"));
    m_tableAction->setToolTip(tr("Insert Table (Ctrl+T)"));
    connect(m_tableAction, &QAction::triggered, this, &EditorToolbar::onInsertTable);
    m_attachmentAction = addCommand(QStringLiteral("attachmentAction"),
                                    tr("Insert Attachment (Ctrl+Shift+A)"), false,
                                    &NoteEditor::insertAttachment);

    updateIcons();
    setEnabled(false);
    setVisible(false);
}

EditorToolbar::~EditorToolbar() = default;

QAction *EditorToolbar::addCommand(const QString &objectName, const QString &toolTip, bool checkable,
                                   void (NoteEditor::*command)())
{
    QAction *action = addAction(toolTip);
    action->setObjectName(objectName);
    action->setToolTip(toolTip);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, command] {
        if (m_editor)
            (m_editor->*command)();
    });
    return action;
}

void EditorToolbar::addAlignment(QAction *&action, const QString &objectName, const QString &toolTip,
                                 Qt::Alignment alignment)
{
    action = addAction(toolTip);
    action->setObjectName(objectName);
    action->setToolTip(toolTip);
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, alignment] {
        if (m_editor)
            m_editor->setAlignment(alignment);
    });
}

void EditorToolbar::bindEditor(NoteEditor *editor)
{
    disconnect(m_formatConnection);
    m_editor = editor;
    if (editor) {
        m_formatConnection = connect(editor, &NoteEditor::formatStateChanged,
                                     this, &EditorToolbar::onFormatStateChanged);
    }
}

void EditorToolbar::setToolbarActive(bool active)
{
    setEnabled(active);
    setVisible(active);
}

void EditorToolbar::onFormatStateChanged(bool bold, bool italic, bool underline, bool strike,
                                         bool code, int heading, const QString &listType,
                                         bool codeBlock, bool blockquote, bool inTable,
                                         Qt::Alignment alignment)
{
    m_updating = true;
    m_boldAction->setChecked(bold);
    m_italicAction->setChecked(italic);
    m_underlineAction->setChecked(underline);
    m_strikeAction->setChecked(strike);
    m_codeAction->setChecked(code);

    const bool centred = alignment.testFlag(Qt::AlignHCenter);
    const bool right = alignment.testFlag(Qt::AlignRight);
    m_alignCenterAction->setChecked(centred);
    m_alignRightAction->setChecked(right);
    m_alignLeftAction->setChecked(!centred && !right);

    const int index = m_headingCombo->findData(heading);
    m_headingCombo->setCurrentIndex(index < 0 ? 0 : index);

    m_bulletListAction->setChecked(listType == QLatin1String("bullet"));
    m_numberedListAction->setChecked(listType == QLatin1String("ordered"));
    m_checkboxListAction->setChecked(listType == QLatin1String("checked")
                                     || listType == QLatin1String("unchecked"));
    m_codeBlockAction->setChecked(codeBlock);
    m_blockquoteAction->setChecked(blockquote);

    m_tableAction->setEnabled(!inTable);
    m_tableAction->setToolTip(inTable ? tr("Nested tables are not supported")
                                      : tr("Insert Table (Ctrl+T)"));
    m_updating = false;
}

void EditorToolbar::onHeadingActivated(int index)
{
    if (m_updating || !m_editor)
        return;
    m_editor->setHeading(m_headingCombo->itemData(index).toInt());
    m_editor->setFocus();
}

void EditorToolbar::onInsertTable()
{
    if (!m_editor)
        return;
    const NoteEditor::TableSize size = NoteEditor::askTableSize(m_editor);
    if (size.accepted)
        m_editor->insertTable(size.rows, size.columns, size.header);
}

void EditorToolbar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    // Palette events can arrive while the base class is still being built.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        && m_attachmentAction) {
        updateIcons();
    }
}

void EditorToolbar::updateIcons()
{
    using PaintIcons::textIcon;
    const QColor color = PaintIcons::windowTextColor();

    m_boldAction->setIcon(textIcon(QStringLiteral("B"), textStyle(13), color));
    m_italicAction->setIcon(textIcon(QStringLiteral("I"), textStyle(13, true), color));
    m_underlineAction->setIcon(textIcon(QStringLiteral("U"), textStyle(13, false, true), color));
    m_strikeAction->setIcon(textIcon(QStringLiteral("S"), textStyle(13, false, false, true), color));
    m_codeAction->setIcon(textIcon(QStringLiteral("<>"), textStyle(10), color));
    m_bulletListAction->setIcon(textIcon(QStringLiteral("\u2022"), textStyle(18), color));
    m_numberedListAction->setIcon(textIcon(QStringLiteral("1."), textStyle(12), color));
    m_checkboxListAction->setIcon(PaintIcons::glyphIcon(PaintIcons::Glyph::Checkbox, color));
    m_codeBlockAction->setIcon(textIcon(QStringLiteral("{ }"), textStyle(10), color));
    PaintIcons::TextStyle quote = textStyle(18);
    quote.verticalShift = 3.5;
    m_blockquoteAction->setIcon(textIcon(QStringLiteral("\u201C"), quote, color));
    m_alignLeftAction->setIcon(PaintIcons::alignmentIcon(Qt::AlignLeft, color));
    m_alignCenterAction->setIcon(PaintIcons::alignmentIcon(Qt::AlignHCenter, color));
    m_alignRightAction->setIcon(PaintIcons::alignmentIcon(Qt::AlignRight, color));
    m_linkAction->setIcon(PaintIcons::glyphIcon(PaintIcons::Glyph::Link, color));
    m_dividerAction->setIcon(textIcon(QStringLiteral("\u2014"), textStyle(16), color));
    m_tableAction->setIcon(textIcon(QStringLiteral("\u229E"), textStyle(18), color));
    m_attachmentAction->setIcon(PaintIcons::glyphIcon(PaintIcons::Glyph::Paperclip, color));
}
