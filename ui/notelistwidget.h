#pragma once

#include "notelistentry.h"

#include <QHash>
#include <QList>
#include <QListWidget>
#include <QString>

#include <functional>

struct Note;
class NoteListItem;
class QMimeData;

// The middle pane's list of note cards. It only presents rows and reports selection,
// activation, deletion, context-menu and drag requests; the main window decides.
//
// Rows are cheap: an item holds the note's list entry and reads the body (through the
// body provider) only when a view first asks for its title or preview, which with
// uniform item sizes happens for visible rows only. The texts are kept per note version,
// so a refresh re-reads only the notes that changed.
class NoteListWidget : public QListWidget
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

    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;
    using BodyProvider = std::function<QString(const QString &noteId)>;

    explicit NoteListWidget(QWidget *parent = nullptr);
    ~NoteListWidget() override;

    void setNotebookNameResolver(NotebookNameResolver resolver);
    void setBodyProvider(BodyProvider provider);

    // Replace all rows; the current note stays current (without noteSelected) when it is
    // still listed, otherwise nothing is selected.
    void setNotes(const QList<Note> &notes);
    void setEntries(const QList<NoteListEntry> &entries);
    // Adds rows after the last one, in order; the current note stays, no noteSelected.
    void appendEntries(const QList<NoteListEntry> &entries);

    // Incremental updates; neither emits noteSelected. placeEntry inserts the note at row
    // (clamped to the list) or moves its row there, refreshing what changed.
    void placeEntry(const NoteListEntry &entry, int row);
    void removeEntry(const QString &noteId);

    int rowOf(const QString &noteId) const;
    QList<NoteListEntry> entries() const;
    void refreshNotebookNames();

    void selectNote(const QString &noteId);
    QString currentNoteId() const;

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
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QList<QListWidgetItem *> &items) const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent *event) override;

private:
    friend class NoteListItem;

    void replaceRows(const QList<NoteListEntry> &entries, const QList<Note> *notes);
    void onCurrentItemChanged(QListWidgetItem *current);
    void onItemDoubleClicked(QListWidgetItem *item);
    void onContextMenu(const QPoint &pos);

    // Used by the items.
    QString bodyOf(const QString &noteId) const;
    QString notebookName(const QString &notebookId) const;
    void forgetItem(NoteListItem *item);

    NotebookNameResolver m_resolveNotebookName;
    BodyProvider m_bodyProvider;
    QHash<QString, NoteListItem *> m_items;
    mutable QHash<QString, QString> m_notebookNames;
    QString m_placeholderText;
    bool m_pendingMarksShown = false;
    bool m_replacing = false;
};
