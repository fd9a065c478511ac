#pragma once

#include "ioprompts.h"
#include "iorepositories.h"
#include "notelistentry.h"
#include "unsavednote.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

struct NoteListRows;

class AppState;
class EditorToolbar;
class FindBar;
class ImportDialog;
class NoteEditor;
class NoteHeaderBar;
class NoteListWidget;
class NoteSearcher;
class NoteTextIndex;
class NotebookListWidget;
class QAction;
class QCloseEvent;
class QLineEdit;
class QMenu;
class QPoint;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;
class QVBoxLayout;
class QWidget;
class SearchScreen;
class StatusBar;
class TodosScreen;
class TrashScreen;
class WelcomeScreen;
struct Note;

// The application's top-level window: notebook sidebar, search field and note list, and
// the editor. It drives the note flow (open, create, autosave, snapshot on leave, trash)
// and owns every command; the records themselves always come from the repositories.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState *appState, QWidget *parent = nullptr);
    ~MainWindow() override;

    NoteEditor *editor() const { return m_editor; }
    NoteListWidget *noteList() const { return m_noteList; }
    NotebookListWidget *notebookList() const { return m_notebookList; }
    QLineEdit *searchField() const { return m_searchField; }
    NoteHeaderBar *headerBar() const { return m_headerBar; }
    EditorToolbar *editorToolbar() const { return m_toolbar; }
    FindBar *findBar() const { return m_findBar; }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    QSplitter *splitter() const { return m_splitter; }
    QStackedWidget *centralStack() const { return m_centralStack; }
    QWidget *editorPage() const { return m_editorPage; }
    WelcomeScreen *welcomeScreen();
    QWidget *sidebarPane() const { return m_sidebarPane; }
    QWidget *listPane() const { return m_listPane; }
    QWidget *searchContainer() const { return m_searchContainer; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    QTimer *searchTimer() { return &m_searchTimer; }
    // A search was sent to the search thread and its results are not shown yet.
    bool isSearchRunning() const { return m_searchGeneration != 0; }
    // The note list's rows after its first screen are still being read.
    bool isListFilling() const { return m_fill.active; }
    // Rows of the first screen and of each later read; 0 restores the defaults. For tests.
    static void setListPaging(int firstScreenRows, int chunkRows);
    bool isFocusMode() const { return m_focusMode; }
    bool isSidebarVisible() const { return m_sidebarVisible; }
    bool closesToTray() const { return m_closeToTray; }
    QList<int> normalSplitterSizes() const { return m_normalSplitterSizes; }

    // Whether the platform shows tray icons; tests replace the probe because the
    // offscreen platform has no tray.
    using TrayProbe = std::function<bool()>;
    void setTrayProbe(TrayProbe probe);
    // Asked when text that could not be saved would be left behind; tests answer it.
    void setUnsavedNotePrompt(UnsavedNotePrompt prompt);

    // The secondary screens, created on first use and kept (mainwindow_screens.cpp).
    void showTodosScreen();
    void showSearchScreen();
    void showTrashScreen();
    void showVersionHistory();
    TodosScreen *todosScreen() const;
    SearchScreen *searchScreen() const;
    TrashScreen *trashScreen() const;

    // Import, export, backup and restore (mainwindow_io.cpp); the prompts are the dialogs'
    // seams for tests.
    void setIoPrompts(const IoPrompts &prompts);
    ImportDialog *openImportDialog();
    void exportOpenNote(bool saveFirst);
    void backupDatabase();
    void restoreDatabase();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Construction, layout and preferences (mainwindow.cpp)
    void createUI();
    void wireSignals();
    void restoreWindowState();
    void saveWindowState();
    void captureSplitterSizes();
    void updateAuthUI();
    void updateCentralPage();
    void setFocusMode(bool on);
    void setSidebarVisible(bool on);
    void applyPaneLayout();
    void applyStenoMode();
    void applyEditorFontSize();
    void onPreferenceChanged(const QString &key);
    bool isSignedIn() const;
    void wireAccount();
    bool stenoMode() const;

    // Note flow and list refresh (mainwindow_notes.cpp)
    void openNote(const QString &noteId, bool forceReload);
    void showNote(const Note &note, bool forceReload);
    QString noteInfoText(const QDateTime &updatedAt) const;
    void switchToNote(const QString &noteId);
    void createNote();
    bool saveCurrentNote();
    // Before the open note is left: saves pending edits, and when that fails asks the
    // user; false when the user keeps editing.
    bool settleUnsavedNote();
    void applyReadOnly();
    void snapshotIfChanged();
    void moveCurrentNoteToTrash(bool confirm);
    void clearEditor();
    void reloadOpenNote();
    void onNotesChanged();
    void refreshNoteList();
    void applySearchResults(quint64 generation, const QString &text, const QList<qint64> &rowids, bool ok);
    QList<NoteListEntry> searchEntriesHere(const QString &query);
    void ensureEntryCache();
    bool fullListIsFresh() const;
    void buildEntryCacheInBackground();
    void adoptEntryCache(quint64 serial, QHash<qint64, NoteListEntry> byRowid, QHash<QString, qint64> rowids);
    void ensureEntryCache(QList<NoteListEntry> all); // by value: it may be m_fullList, which it clears
    void cacheEntry(const NoteListEntry &entry);
    void uncacheEntry(const QString &noteId);
    void showSearchRows(quint64 generation, const QString &text, NoteListRows rows);
    void showListEntries(const QList<NoteListEntry> &entries, const QString &query);
    void showListRows(NoteListRows rows, const QString &query);
    void startTextIndexBuild();
    void adjustNotebookCounts(const QString &noteId, const std::optional<NoteListEntry> &after);
    void applyNoteChanges(const QHash<QString, std::optional<NoteListEntry>> &changed);
    void refreshNotebookList();
    bool notebookListIsCurrent() const;
    void reloadNotebookNames();
    void updateNoteCount();
    int orderedRowFor(const NoteListEntry &entry) const;
    bool belongsInList(const NoteListEntry &entry) const;
    void ensureNotebookCounts();

    // The list filled after its first screen (mainwindow_listfill.cpp)
    static int firstScreenRows();
    void startListFill(const QString &notebookId, bool reversed, const NoteListCursor &after, int total);
    void fillListChunk();
    void resumeListFill();
    // acrossChange: the caller corrects rows read before and after a change itself.
    void finishListFill(bool acrossChange = false);
    void cancelListFill();
    void takeFillRows(QList<NoteListEntry> rows, bool dedupe);
    void completeListFill(bool acrossChange);
    void selectInList(const QString &noteId);
    void onListScrolled(int value);
    void reloadTrashedIds();
    QString notebookName(const QString &notebookId) const;
    void copyOpenNote(int format);

    // Menus, context menus and dialogs (mainwindow_commands.cpp)
    void createMenuBar();
    void createFormatMenu();
    void showNoteContextMenu(const QString &noteId, const QPoint &globalPos);
    void showNotebookContextMenu(const QString &notebookId, const QPoint &globalPos);
    void moveOpenNoteToNotebook();
    void moveNoteWithDialog(const QString &noteId);
    void fillMoveMenu(QMenu *menu, const QString &noteId, const QPoint &globalPos);
    void updateNoteActions();
    void trashNoteFromMenu(const QString &noteId);
    void createNotebook();
    void renameNotebook(const QString &notebookId);
    void deleteNotebook(const QString &notebookId);
    void openCurrentNoteInWindow();
    void focusSearchField();
    void quitApplication();
    void showAbout();
    void loadSampleNotes();

    // Printing (mainwindow_print.cpp)
    bool prepareNoteForPrinting(QString *title);
    void printNote();
    void printPreview();

    // Screens (mainwindow_screens.cpp)
    void wireScreenEntries();
    // Import, export, backup and restore (mainwindow_io.cpp)
    void addImportExportEntries(QMenu *fileMenu);
    void addBackupEntries(QMenu *fileMenu);
    IoRepositories ioRepositories() const;

    // Tray (mainwindow_tray.cpp)
    void setupTray();
    void showFromTray();
    void toggleFromTray();
    void updateTrayMenu();

    AppState *m_appState = nullptr;
    QSplitter *m_splitter = nullptr;
    QWidget *m_sidebarPane = nullptr;
    NotebookListWidget *m_notebookList = nullptr;
    QWidget *m_listPane = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QWidget *m_searchContainer = nullptr;
    QLineEdit *m_searchField = nullptr;
    NoteListWidget *m_noteList = nullptr;
    QWidget *m_editorPane = nullptr;
    NoteHeaderBar *m_headerBar = nullptr;
    EditorToolbar *m_toolbar = nullptr;
    NoteEditor *m_editor = nullptr;
    FindBar *m_findBar = nullptr;
    QStackedWidget *m_centralStack = nullptr;
    QWidget *m_editorPage = nullptr;
    WelcomeScreen *m_welcomeScreen = nullptr;
    StatusBar *m_statusBar = nullptr;
    QAction *m_focusModeAction = nullptr;
    QAction *m_sidebarAction = nullptr;
    QAction *m_trayToggleAction = nullptr;
    // Enabled only while a note is open; the format commands only while it is writable.
    QList<QAction *> m_noteActions;
    QList<QAction *> m_formatActions;
    QAction *m_signInAction = nullptr;
    QAction *m_signOutAction = nullptr;
    bool m_focusMode = false;
    bool m_sidebarVisible = true;
    QList<int> m_normalSplitterSizes;
    QSystemTrayIcon *m_trayIcon = nullptr;
    TrayProbe m_trayProbe;
    UnsavedNotePrompt m_unsavedNotePrompt;
    IoPrompts m_ioPrompts;
    bool m_closeToTray = false;
    QTimer m_searchTimer;
    QString m_snapshotBaseline;
    // An edit was made since the baseline was taken; the editor's JSON of an untouched
    // note may differ in form from the stored body, which is no reason for a snapshot.
    bool m_editedSinceBaseline = false;
    // The stored body the editor last loaded or wrote, to tell a real outside change
    // from a change report about other notes.
    QString m_loadedBody;

    // What the note list shows, so a change report can update only the touched rows.
    QString m_listQuery;
    bool m_listReversed = false;
    quint64 m_seenSerial = 0;
    bool m_deferNoteChanges = false; // a batch of writes is running; one refresh follows
    // Notebook names by id for the list's resolver; the list asks once per painted row.
    QHash<QString, QString> m_notebookNames;
    // Ids of trashed notes, kept from the same change reports, for the sidebar's count.
    QSet<QString> m_trashedIds;
    // Every live note's row by rowid, taken from the first full list or built on the first
    // search, and kept current from the change reports: ranked hits arrive as rowids, and
    // mapping 30,000 of them must not read 100,000 rows again.
    QHash<qint64, NoteListEntry> m_entryCache;
    QHash<QString, qint64> m_cachedRowids;
    bool m_entryCacheValid = false;
    // The last full list read, until the cache is built from it; good while the change
    // serial has not moved.
    QList<NoteListEntry> m_fullList;
    quint64 m_fullListSerial = 0;
    NoteSearcher *m_searcher = nullptr;
    NoteTextIndex *m_textIndex = nullptr;
    quint64 m_searchGeneration = 0; // of the search whose results are awaited; 0 = none
    // Live notes per notebook id, kept from the change reports while the cache is valid.
    QHash<QString, int> m_notebookCounts;
    bool m_notebookCountsValid = false;
    // What the sidebar last showed; a save that changes no count leaves it alone.
    QHash<QString, int> m_shownNotebookCounts;
    qsizetype m_shownTrashCount = -1;

    // The empty-query list is shown from its first page; the rest is read in chunks from
    // the idle loop, in the same order. Whatever needs the whole list ends the fill first.
    struct ListFill
    {
        bool active = false;
        QString notebookId; // null: all notes
        bool reversed = false;
        NoteListCursor cursor;
        int total = 0; // rows of the whole list, from the notebook counts
        quint64 serial = 0; // the change serial the first page was read at
        bool collect = false; // all notes: rows also go to m_fullList for the search cache
        bool appendToList = true; // false once a search replaced what the list shows
        int chunkRows = 0;
        QString pendingSelection; // the open note, selected when its row arrives
    };
    ListFill m_fill;
    QTimer m_fillTimer;
    bool m_painted = false; // the fill waits for the window's first frame
    bool m_constructing = true;

    QPointer<TodosScreen> m_todosScreen;
    QPointer<SearchScreen> m_searchScreen;
    QPointer<TrashScreen> m_trashScreen;
};
