#pragma once

#include "notelistentry.h"

#include "notelistmodel.h"

#include <QList>
#include <QListView>
#include <QString>

struct Note;
class QMimeData;

// The middle pane's list of note cards. It only presents rows and reports selection,
// activation, deletion, context-menu and drag requests; the main window decides.
//
// The rows live in a NoteListModel: no object per note. A row's body is read (through
// the body provider) only when the row is painted, and its texts are kept per note
// version, so a refresh re-reads only the notes that changed.
class NoteListWidget : public QListView
{
    Q_OBJECT

public:
    enum ItemRole {
        NoteIdRole = Qt::UserRole,
        TitleRole,
        PreviewRole,
        UpdatedAtRole,
        NotebookNameRole,
        NoTitleRole,
        IsSharedRole,
        SyncStatusRole,
    };

    using NotebookNameResolver = NoteListModel::NotebookNameResolver;
    using BodyProvider = NoteListModel::BodyProvider;

    explicit NoteListWidget(QWidget *parent = nullptr);
    ~NoteListWidget() override;

    void setNotebookNameResolver(NotebookNameResolver resolver);
    void setBodyProvider(BodyProvider provider);

    // Replace all rows; the current note stays current (without noteSelected) when it is
    // still listed, otherwise nothing is selected.
    void setNotes(const QList<Note> &notes);
    void setEntries(const QList<NoteListEntry> &entries);
    // The same, with rows prepared elsewhere (NoteListModel::prepareRows).
    void setRows(NoteListRows rows);

    // Incremental updates; none emits noteSelected. placeEntry inserts the note at row
    // (clamped to the list) or moves its row there, refreshing what changed; appendEntries
    // adds rows after the last one (notes already listed are skipped).
    void placeEntry(const NoteListEntry &entry, int row);
    void removeEntry(const QString &noteId);
    void appendEntries(const QList<NoteListEntry> &entries);

    int rowOf(const QString &noteId) const;
    QList<NoteListEntry> entries() const;
    // The row's entry; an empty one out of range.
    const NoteListEntry &entryAt(int row) const;
    void refreshNotebookNames();

    void selectNote(const QString &noteId);
    QString currentNoteId() const;

    int count() const;
    int currentRow() const;
    // Makes the row current as a click would (noteSelected included); -1 clears.
    void setCurrentRow(int row);
    QString noteIdAt(int row) const;
    QModelIndex indexOfRow(int row) const;
    NoteListModel *noteModel() const { return m_model; }

    // Shown in place of rows while the list is empty.
    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return m_placeholderText; }
    // The unsynced mark means something only to a signed-in user.
    void setPendingMarksShown(bool shown);
    bool pendingMarksShown() const { return m_pendingMarksShown; }

    // Type-to-find would have to read every body of a large library.
    void keyboardSearch(const QString &search) override;

    // The drag format shared with the notebook list; the payload is the note id in UTF-8.
    static QString noteIdMimeType();

Q_SIGNALS:
    void noteSelected(const QString &noteId);
    void noteDoubleClicked(const QString &noteId);
    void noteActivated(const QString &noteId);
    void noteDeleteRequested(const QString &noteId);
    void noteContextMenuRequested(const QString &noteId, const QPoint &globalPos);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    QStringList mimeTypes() const;
    QMimeData *mimeData(const QModelIndexList &indexes) const;
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

private:
    void onCurrentChanged(const QModelIndex &current);
    void onContextMenu(const QPoint &pos);

    NoteListModel *m_model = nullptr;
    QString m_placeholderText;
    bool m_pendingMarksShown = false;
};
