#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QToolBar>

class NoteEditor;
class QAction;
class QComboBox;
class QEvent;

// Formatting toolbar bound to one NoteEditor: runs its commands and mirrors the formatting
// at the cursor from formatStateChanged. Shortcuts belong to the editor and the windows.
class EditorToolbar : public QToolBar
{
    Q_OBJECT

public:
    explicit EditorToolbar(QWidget *parent = nullptr);
    ~EditorToolbar() override;

    void bindEditor(NoteEditor *editor);
    NoteEditor *editor() const { return m_editor; }

    // Enabled and visible together.
    void setToolbarActive(bool active);

protected:
    void changeEvent(QEvent *event) override;

private:
    QAction *addCommand(const QString &objectName, const QString &toolTip, bool checkable,
                        void (NoteEditor::*command)());
    void addAlignment(QAction *&action, const QString &objectName, const QString &toolTip,
                      Qt::Alignment alignment);
    void onFormatStateChanged(bool bold, bool italic, bool underline, bool strike, bool code,
                              int heading, const QString &listType, bool codeBlock,
                              bool blockquote, bool inTable, Qt::Alignment alignment);
    void onHeadingActivated(int index);
    void onInsertTable();
    void updateIcons();

    QPointer<NoteEditor> m_editor;
    QAction *m_boldAction = nullptr;
    QAction *m_italicAction = nullptr;
    QAction *m_underlineAction = nullptr;
    QAction *m_strikeAction = nullptr;
    QAction *m_codeAction = nullptr;
    QComboBox *m_headingCombo = nullptr;
    QAction *m_bulletListAction = nullptr;
    QAction *m_numberedListAction = nullptr;
    QAction *m_checkboxListAction = nullptr;
    QAction *m_codeBlockAction = nullptr;
    QAction *m_blockquoteAction = nullptr;
    QAction *m_alignLeftAction = nullptr;
    QAction *m_alignCenterAction = nullptr;
    QAction *m_alignRightAction = nullptr;
    QAction *m_linkAction = nullptr;
    QAction *m_dividerAction = nullptr;
    QAction *m_tableAction = nullptr;
    QAction *m_attachmentAction = nullptr;
    bool m_updating = false;

    QMetaObject::Connection m_formatConnection;
};
