#pragma once

#include <QFrame>

class QAction;
class QEvent;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

// The 40-pixel strip above the editor: sidebar toggle, notebook chip, the note's info
// text and the note actions. It only emits signals; the hosting window acts on them.
class NoteHeaderBar : public QFrame
{
    Q_OBJECT

public:
    explicit NoteHeaderBar(QWidget *parent = nullptr);
    ~NoteHeaderBar() override;

    void setNoteEditable(bool editable);
    void setFocusMode(bool on);
    void setShareAvailable(bool available);
    void setShared(bool shared);
    void setIncludeInTodos(bool on);
    void setNotebookName(const QString &name);
    void setInfoText(const QString &text);
    // Without a note the chip would name a notebook that nothing belongs to.
    void setNotebookChipVisible(bool visible);

Q_SIGNALS:
    void focusToggleClicked();
    void notebookChipClicked();
    void copyAsPlainTextRequested();
    void copyAsMarkdownRequested();
    void copyAsHtmlRequested();
    void shareRequested();
    void historyRequested();
    void includeInTodosToggled(bool enabled);
    void moveToNotebookRequested();
    void exportRequested();
    void printRequested();
    void deleteRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    QToolButton *createActionButton(const QString &objectName, const QString &toolTip);
    void updateIcons();
    void updateChipStyle();
    void updateShareButton();

    QToolButton *m_sidebarToggle = nullptr;
    QPushButton *m_notebookChip = nullptr;
    QToolButton *m_copyButton = nullptr;
    QToolButton *m_shareButton = nullptr;
    QToolButton *m_historyButton = nullptr;
    QToolButton *m_moreButton = nullptr;
    QLabel *m_infoLabel = nullptr;
    QMenu *m_copyMenu = nullptr;
    QMenu *m_moreMenu = nullptr;
    QAction *m_includeInTodosAction = nullptr;
    QAction *m_moveToNotebookAction = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_deleteAction = nullptr;
    bool m_focusMode = false;
    bool m_shareAvailable = true;
    bool m_shared = false;
    bool m_editable = true;
    bool m_updatingStyle = false;
};
