#pragma once

#include "notelistentry.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

struct Note;

// Rows ready to show: the entries and the hash of each id. Preparing them reads every id,
// which for a large result is worth doing off the UI thread.
struct NoteListRows
{
    QList<NoteListEntry> entries;
    std::vector<size_t> idHashes;
};

// The rows of a note list: one NoteListEntry per note, in the order given. Title,
// preview and notebook name are derived only when a view asks for them, which with
// uniform row heights means painted rows only, and kept per note version.
class NoteListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;
    using BodyProvider = std::function<QString(const QString &noteId)>;

    explicit NoteListModel(QObject *parent = nullptr);
    ~NoteListModel() override;

    QModelIndex index(int row, int column = 0, const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    void setNotebookNameResolver(NotebookNameResolver resolver);
    void setBodyProvider(BodyProvider provider);

    // Both replace every row in one model reset; a note listed twice is shown once.
    void setNotes(const QList<Note> &notes);
    void setEntries(const QList<NoteListEntry> &entries);
    void setRows(NoteListRows rows);
    // Both safe on any thread.
    static NoteListRows prepareRows(QList<NoteListEntry> entries);
    static size_t idHash(const QString &noteId);
    // Rows after the last one, in one insertion; notes already listed are skipped.
    void appendEntries(const QList<NoteListEntry> &entries);
    // Inserts the note at row (clamped) or moves its row there; returns the row.
    int placeEntry(const NoteListEntry &entry, int row);
    bool removeEntry(const QString &noteId);

    int rowOf(const QString &noteId) const;
    const NoteListEntry &entryAt(int row) const;
    const QList<NoteListEntry> &entries() const { return m_entries; }
    void refreshNotebookNames();

    // Texts derived so far and still held; lets tests see that rows stay lazy.
    int cachedTextCount() const { return int(m_texts.size()); }

private:
    struct Texts;
    struct Body;
    class RowIndex;

    void replaceRows(NoteListRows rows);
    const Texts &textsOf(const NoteListEntry &entry) const;
    QString notebookName(const QString &notebookId) const;
    void rebuildIndex() const;
    void markIndexStale();

    QList<NoteListEntry> m_entries;
    // qHash of each row's id, beside the rows: finding a row scans these, not strings.
    std::vector<size_t> m_idHashes;
    // Exact row lookups while no row has moved since the last fill.
    std::unique_ptr<RowIndex> m_index;
    mutable bool m_indexValid = false;
    // Lookups by scan since the index went stale; past a few, rebuilding it is cheaper.
    mutable int m_scansSinceStale = 0;

    NotebookNameResolver m_resolveNotebookName;
    BodyProvider m_bodyProvider;
    mutable QCache<QString, Texts> m_texts;
    // Bodies handed over with setNotes, used once instead of asking the provider.
    mutable QHash<QString, Body> m_bodies;
    mutable QHash<QString, QString> m_notebookNames;
};
