#pragma once

#include "ioprompts.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "unsavednote.h"

#include <functional>

class AppState;
class EditorToolbar;
class FindBar;
class NoteEditor;
class NoteHeaderBar;
class QCloseEvent;
class QMenu;
class QTextDocument;
class StatusBar;
struct Note;
struct Notebook;

// One note in a top-level window of its own, beside the main window: header bar,
// toolbar, editor and status bar. It saves through the repositories like the main
// window does and reloads when another window reports a change to the same note.
class NoteWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Seams for the modal dialogs, so that tests drive the window without opening any.
    // Defaults: a Yes/No question defaulting to No, MoveToNotebookDialog and the print
    // dialog of noteprinting.h.
    using ConfirmPrompt = std::function<bool(const QString &title, const QString &text)>;
    using MovePrompt = std::function<QString(const QList<Notebook> &notebooks,
                                             const QString &currentNotebookId)>;
    using PrintHandler = std::function<void(QTextDocument *document, const QString &title)>;

    NoteWindow(AppState *state, const QString &noteId, QWidget *parent = nullptr);
    ~NoteWindow() override;

    QString noteId() const { return m_noteId; }

    void loadNote();
    // False when pending edits could not be stored; they stay in the editor, unsaved.
    bool save();
    void snapshotIfChanged();

    NoteHeaderBar *headerBar() const { return m_headerBar; }
    EditorToolbar *editorToolbar() const { return m_toolbar; }
    NoteEditor *editor() const { return m_editor; }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    FindBar *findBar() const { return m_findBar; }
    QString snapshotBaseline() const { return m_snapshotBaseline; }

    void setConfirmPrompt(ConfirmPrompt prompt);
    void setMovePrompt(MovePrompt prompt);
    void setPrintHandler(PrintHandler handler);
    void setUnsavedNotePrompt(UnsavedNotePrompt prompt);
    void setIoPrompts(const IoPrompts &prompts) { m_ioPrompts = prompts; }
    // The export flow, without saving first.
    void exportNote();

    static QString geometryKey(const QString &noteId);

Q_SIGNALS:
    void windowClosed(const QString &noteId);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Construction, loading and saving (notewindow.cpp)
    bool restoreStoredGeometry();
    void placeBesideMainWindow();
    void updateWindowTitle();
    void showMissingNote();
    bool isWritable() const;
    void applyReadOnly();
    bool removeIfEmpty();
    static QString infoText(const Note &note, int wordCount);
    void onNoteUpdatedExternally(const QString &noteId, QObject *source);
    void onNoteDeletedExternally(const QString &noteId);
    void onNotesChanged();

    // Menu bar and header-bar requests (notewindow_commands.cpp)
    void createMenuBar();
    void wireHeaderBar();
    void copyAs(int format);
    void copyAsPlainText();
    void showVersionHistory();
    void moveToNotebook();
    void print();
    void confirmAndTrash();
    void moveToTrash();
    void insertTable();
    void showAbout();

    QPointer<AppState> m_state;
    const QString m_noteId;
    NoteHeaderBar *m_headerBar = nullptr;
    EditorToolbar *m_toolbar = nullptr;
    NoteEditor *m_editor = nullptr;
    StatusBar *m_statusBar = nullptr;
    QString m_snapshotBaseline;
    FindBar *m_findBar = nullptr;
    QMenu *m_formatMenu = nullptr;
    bool m_closed = false;

    ConfirmPrompt m_confirmPrompt;
    MovePrompt m_movePrompt;
    PrintHandler m_printHandler;
    UnsavedNotePrompt m_unsavedNotePrompt;
    IoPrompts m_ioPrompts;
};
