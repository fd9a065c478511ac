#include "notelistmodel.h"

#include "note.h"
#include "notelistwidget.h"
#include "uilog.h"

#include <QMimeData>
#include <QSet>

#include <algorithm>

namespace {

// Visible rows are a few dozen; this keeps scrolling back and forth free of body reads
// without holding the texts of a whole large library.
constexpr int TextCacheRows = 4096;

constexpr int StaleScanLimit = 8;

} // namespace

struct NoteListModel::Texts {
    int version = 0;
    QDateTime updatedAt;
    QString title;
    QString preview;
    bool noTitle = false;
};

struct NoteListModel::Body {
    int version = 0;
    QDateTime updatedAt;
    QString text;
};

// Open addressing from an id's hash to its row: a fill of 100,000 rows costs a few
// allocations rather than one hash node per note.
class NoteListModel::RowIndex
{
public:
    void reset(qsizetype rows)
    {
        size_t capacity = 16;
        while (capacity < size_t(rows) * 2)
            capacity <<= 1;
        m_slots.assign(capacity, -1);
        m_used = 0;
    }

    bool hasRoomFor(qsizetype more) const { return (m_used + size_t(more)) * 2 <= m_slots.size(); }

    // The first row for which sameId holds among those filed under hash, or -1.
    template<typename SameId>
    int find(size_t hash, SameId sameId) const
    {
        if (m_slots.empty())
            return -1;
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask; m_slots[slot] >= 0; slot = (slot + 1) & mask) {
            if (sameId(m_slots[slot]))
                return m_slots[slot];
        }
        return -1;
    }

    void insert(size_t hash, int row)
    {
        const size_t mask = m_slots.size() - 1;
        size_t slot = hash & mask;
        while (m_slots[slot] >= 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = row;
        ++m_used;
    }

private:
    std::vector<int> m_slots;
    size_t m_used = 0;
};

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractListModel(parent)
    , m_index(std::make_unique<RowIndex>())
    , m_texts(TextCacheRows)
{
}

NoteListModel::~NoteListModel() = default;

// A relayout asks for every row's index; the base class would make three virtual calls
// per row to check it.
QModelIndex NoteListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || row >= m_entries.size() || column != 0 || parent.isValid())
        return QModelIndex();
    return createIndex(row, column);
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() >= m_entries.size())
        return QVariant();
    const NoteListEntry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NoteListWidget::TitleRole:
        return textsOf(entry).title;
    case NoteListWidget::NoteIdRole:
        return entry.id;
    case NoteListWidget::PreviewRole:
        return textsOf(entry).preview;
    case NoteListWidget::UpdatedAtRole:
        return entry.updatedAt;
    case NoteListWidget::NotebookNameRole:
        return notebookName(entry.notebookId);
    case NoteListWidget::NoTitleRole:
        return textsOf(entry).noTitle;
    case NoteListWidget::IsSharedRole:
        return entry.isShared;
    case NoteListWidget::SyncStatusRole:
        return int(entry.syncStatus);
    default:
        return QVariant();
    }
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList NoteListModel::mimeTypes() const
{
    return {NoteListWidget::noteIdMimeType()};
}

QMimeData *NoteListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty() || !indexes.first().isValid())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(NoteListWidget::noteIdMimeType(), indexes.first().data(NoteListWidget::NoteIdRole).toString().toUtf8());
    return data;
}

Qt::DropActions NoteListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

void NoteListModel::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_resolveNotebookName = std::move(resolver);
    refreshNotebookNames();
}

void NoteListModel::setBodyProvider(BodyProvider provider)
{
    m_bodyProvider = std::move(provider);
}

void NoteListModel::setNotes(const QList<Note> &notes)
{
    QList<NoteListEntry> entries;
    entries.reserve(notes.size());
    QHash<QString, Body> bodies;
    bodies.reserve(notes.size());
    for (const Note &note : notes) {
        NoteListEntry entry;
        entry.id = note.id;
        entry.notebookId = note.notebookId;
        entry.updatedAt = note.updatedAt;
        entry.version = note.version;
        entry.syncStatus = note.syncStatus;
        entry.isShared = note.isShared;
        entry.ownerId = note.ownerId;
        entry.isTrashed = note.deletedAt.has_value();
        entries.append(entry);
        // The first of a twice-listed note is the one shown.
        if (!bodies.contains(note.id))
            bodies.insert(note.id, {note.version, note.updatedAt, note.body});
    }
    replaceRows(prepareRows(std::move(entries)));
    m_bodies = std::move(bodies);
}

void NoteListModel::setEntries(const QList<NoteListEntry> &entries)
{
    setRows(prepareRows(entries));
}

void NoteListModel::setRows(NoteListRows rows)
{
    replaceRows(std::move(rows));
    m_bodies.clear();
}

size_t NoteListModel::idHash(const QString &noteId)
{
    return qHash(noteId, size_t(0));
}

NoteListRows NoteListModel::prepareRows(QList<NoteListEntry> entries)
{
    NoteListRows rows;
    rows.idHashes.reserve(size_t(entries.size()));
    for (const NoteListEntry &entry : std::as_const(entries))
        rows.idHashes.push_back(idHash(entry.id));
    // Shared, not copied: a refresh hands over the list it already holds.
    rows.entries = std::move(entries);
    return rows;
}

void NoteListModel::replaceRows(NoteListRows rows)
{
    const QList<NoteListEntry> &entries = rows.entries;
    const qsizetype count = entries.size();
    if (rows.idHashes.size() != size_t(count))
        rows = prepareRows(std::move(rows.entries));

    beginResetModel();
    m_index->reset(count);
    bool duplicates = false;
    for (qsizetype row = 0; row < count; ++row) {
        const size_t hash = rows.idHashes[size_t(row)];
        const int seen = m_index->find(hash, [&](int other) {
            return rows.idHashes[size_t(other)] == hash && entries.at(other).id == entries.at(row).id;
        });
        if (seen >= 0) {
            duplicates = true;
            continue;
        }
        m_index->insert(hash, int(row));
    }
    if (duplicates) {
        QList<NoteListEntry> unique;
        unique.reserve(count);
        QSet<QString> seen;
        for (const NoteListEntry &entry : entries) {
            if (seen.contains(entry.id)) {
                qCWarning(lcUi) << "NoteListWidget: note listed twice, shown once:" << entry.id;
                continue;
            }
            seen.insert(entry.id);
            unique.append(entry);
        }
        rows = prepareRows(std::move(unique));
    }
    m_entries = std::move(rows.entries);
    m_idHashes = std::move(rows.idHashes);
    if (duplicates)
        rebuildIndex();
    m_indexValid = true;
    endResetModel();
}

void NoteListModel::appendEntries(const QList<NoteListEntry> &entries)
{
    if (entries.isEmpty())
        return;
    const qsizetype first = m_entries.size();
    if (!m_indexValid || !m_index->hasRoomFor(entries.size())) {
        m_index->reset(first + std::max<qsizetype>(entries.size(), first));
        for (qsizetype row = 0; row < first; ++row)
            m_index->insert(m_idHashes[size_t(row)], int(row));
        m_indexValid = true;
    }

    QList<NoteListEntry> fresh;
    fresh.reserve(entries.size());
    std::vector<size_t> freshHashes;
    freshHashes.reserve(size_t(entries.size()));
    const auto idAt = [&](int row) -> const QString & {
        return row < first ? m_entries.at(row).id : fresh.at(row - first).id;
    };
    const auto hashAt = [&](int row) { return row < first ? m_idHashes[size_t(row)] : freshHashes[size_t(row - first)]; };
    for (const NoteListEntry &entry : entries) {
        const size_t hash = idHash(entry.id);
        const int seen =
            m_index->find(hash, [&](int other) { return hashAt(other) == hash && idAt(other) == entry.id; });
        if (seen >= 0) {
            qCWarning(lcUi) << "NoteListWidget: note listed twice, shown once:" << entry.id;
            continue;
        }
        m_index->insert(hash, int(first + fresh.size()));
        fresh.append(entry);
        freshHashes.push_back(hash);
    }
    if (fresh.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(first), int(first + fresh.size() - 1));
    m_entries.append(fresh);
    m_idHashes.insert(m_idHashes.end(), freshHashes.cbegin(), freshHashes.cend());
    endInsertRows();
}

int NoteListModel::placeEntry(const NoteListEntry &entry, int row)
{
    const int count = int(m_entries.size());
    const int from = rowOf(entry.id);
    if (from < 0) {
        const int to = std::clamp(row, 0, count);
        beginInsertRows(QModelIndex(), to, to);
        const size_t hash = idHash(entry.id);
        m_entries.insert(to, entry);
        m_idHashes.insert(m_idHashes.begin() + to, hash);
        endInsertRows();
        // Rows after it have moved; a row added at the end moves none.
        if (m_indexValid && to == count && m_index->hasRoomFor(1))
            m_index->insert(hash, to);
        else
            markIndexStale();
        return to;
    }

    const NoteListEntry &old = m_entries.at(from);
    const bool changed = old.version != entry.version || old.updatedAt != entry.updatedAt
        || old.notebookId != entry.notebookId || old.syncStatus != entry.syncStatus || old.isShared != entry.isShared;
    const int to = std::clamp(row, 0, count - 1);
    if (from != to) {
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
        m_entries.move(from, to);
        const auto hash = m_idHashes.begin();
        if (to < from)
            std::rotate(hash + to, hash + from, hash + from + 1);
        else
            std::rotate(hash + from, hash + from + 1, hash + to + 1);
        endMoveRows();
        markIndexStale();
    }
    m_entries[to] = entry;
    if (changed)
        Q_EMIT dataChanged(index(to), index(to));
    return to;
}

bool NoteListModel::removeEntry(const QString &noteId)
{
    const int row = rowOf(noteId);
    if (row < 0)
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.removeAt(row);
    m_idHashes.erase(m_idHashes.begin() + row);
    endRemoveRows();
    markIndexStale();
    return true;
}

int NoteListModel::rowOf(const QString &noteId) const
{
    if (m_entries.isEmpty())
        return -1;
    const size_t hash = idHash(noteId);
    if (m_indexValid) {
        return m_index->find(hash, [&](int row) {
            return m_idHashes[size_t(row)] == hash && m_entries.at(row).id == noteId;
        });
    }
    // Rows have moved since the index was built. A scan of the hashes is cheaper than
    // rebuilding it for the one or two lookups an edit makes; a run of lookups (a fill
    // checking what is listed) rebuilds it.
    if (++m_scansSinceStale > StaleScanLimit) {
        rebuildIndex();
        return rowOf(noteId);
    }
    for (size_t row = 0; row < m_idHashes.size(); ++row) {
        if (m_idHashes[row] == hash && m_entries.at(qsizetype(row)).id == noteId)
            return int(row);
    }
    return -1;
}

const NoteListEntry &NoteListModel::entryAt(int row) const
{
    static const NoteListEntry none;
    return row >= 0 && row < m_entries.size() ? m_entries.at(row) : none;
}

void NoteListModel::refreshNotebookNames()
{
    m_notebookNames.clear();
    if (!m_entries.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_entries.size()) - 1), {NoteListWidget::NotebookNameRole});
}

void NoteListModel::markIndexStale()
{
    m_indexValid = false;
    m_scansSinceStale = 0;
}

void NoteListModel::rebuildIndex() const
{
    m_scansSinceStale = 0;
    m_index->reset(qsizetype(m_idHashes.size()));
    for (size_t row = 0; row < m_idHashes.size(); ++row)
        m_index->insert(m_idHashes[row], int(row));
    m_indexValid = true;
}

const NoteListModel::Texts &NoteListModel::textsOf(const NoteListEntry &entry) const
{
    if (const Texts *cached = m_texts.object(entry.id);
        cached && cached->version == entry.version && cached->updatedAt == entry.updatedAt)
        return *cached;

    QString body;
    const auto given = m_bodies.find(entry.id);
    if (given != m_bodies.end()) {
        // A body handed over for an older version would show stale text.
        const bool current = given->version == entry.version && given->updatedAt == entry.updatedAt;
        if (current)
            body = std::move(given->text);
        m_bodies.erase(given);
        if (!current && m_bodyProvider)
            body = m_bodyProvider(entry.id);
    } else if (m_bodyProvider) {
        body = m_bodyProvider(entry.id);
    }

    auto *texts = new Texts;
    texts->version = entry.version;
    texts->updatedAt = entry.updatedAt;
    const QString plainText = NoteText::plainText(body);
    texts->title = NoteText::title(plainText);
    texts->preview = NoteText::preview(plainText);
    if (texts->title.isEmpty()) {
        texts->noTitle = true;
        texts->title = texts->preview.isEmpty() ? NoteListWidget::tr("Untitled") : texts->preview;
        texts->preview.clear();
    }
    m_texts.insert(entry.id, texts);
    return *texts;
}

QString NoteListModel::notebookName(const QString &notebookId) const
{
    if (!m_resolveNotebookName)
        return QString();
    auto it = m_notebookNames.constFind(notebookId);
    if (it == m_notebookNames.cend())
        it = m_notebookNames.insert(notebookId, m_resolveNotebookName(notebookId));
    return it.value();
}
