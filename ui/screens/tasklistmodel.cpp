#include "tasklistmodel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QSize>

#include <algorithm>

namespace {

enum DataRole {
    NoteIdRole = Qt::UserRole,
    LineIndexRole = Qt::UserRole + 1,
    SourceRole = Qt::UserRole + 2,
};

} // namespace

TaskListModel::TaskListModel(NoteRepository *notes, QObject *parent)
    : QAbstractListModel(parent)
    , m_cache(notes)
{
}

TaskListModel::~TaskListModel() = default;

// Newest note first; within a note, line order; notes updated at the same instant keep
// one fixed order. Alphabetical order compares the lower-cased texts and falls back on
// the same keys, so every row has one place.
bool TaskListModel::less(const Row &a, const Row &b) const
{
    if (m_order == Alphabetical) {
        const int byText = QStringView(a.note->lowered.at(a.task)).compare(QStringView(b.note->lowered.at(b.task)));
        if (byText != 0)
            return byText < 0;
    }
    if (a.note != b.note) {
        if (a.note->updatedMs != b.note->updatedMs)
            return a.note->updatedMs > b.note->updatedMs;
        return a.note->noteId < b.note->noteId;
    }
    return a.task < b.task;
}

bool TaskListModel::keeps(const TaskCache::NoteTasks &note, int task) const
{
    if (!m_showCompleted && note.tasks.at(task).isCompleted)
        return false;
    return m_filter.isEmpty() || note.lowered.at(task).contains(m_filter);
}

void TaskListModel::refresh(Order order, bool showCompleted, const QString &filter)
{
    const bool sameView = m_built && order == m_order && showCompleted == m_showCompleted && filter == m_filter;
    m_order = order;
    m_showCompleted = showCompleted;
    m_filter = filter;

    if (!m_cache.isLoaded()) {
        m_cache.reload();
        rebuild();
        return;
    }
    const std::optional<QSet<QString>> changed = m_cache.takeChanges();
    if (!changed) {
        beginResetModel();
        m_rows.clear();
        m_cache.reload();
        endResetModel();
        rebuild();
        return;
    }
    if (sameView)
        applyChanges(*changed);
    else {
        // The rows about to be rebuilt point into entries the changes may replace.
        beginResetModel();
        m_rows.clear();
        for (const QString &id : *changed)
            m_cache.refreshNote(id);
        endResetModel();
        rebuild();
    }
}

void TaskListModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(size_t(m_cache.taskCount()));
    const auto &entries = m_cache.entries();
    if (m_order == NoteUpdated) {
        // Rows of one note stay together in line order: sorting the notes is enough, and
        // there are several times fewer of them.
        std::vector<const TaskCache::NoteTasks *> notes;
        notes.reserve(size_t(entries.size()));
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            notes.push_back(it->get());
        std::sort(notes.begin(), notes.end(), [](const TaskCache::NoteTasks *a, const TaskCache::NoteTasks *b) {
            if (a->updatedMs != b->updatedMs)
                return a->updatedMs > b->updatedMs;
            return a->noteId < b->noteId;
        });
        for (const TaskCache::NoteTasks *note : notes) {
            for (int i = 0; i < note->tasks.size(); ++i) {
                if (keeps(*note, i))
                    m_rows.push_back({note, i});
            }
        }
    } else {
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            const TaskCache::NoteTasks &note = **it;
            for (int i = 0; i < note.tasks.size(); ++i) {
                if (keeps(note, i))
                    m_rows.push_back({&note, i});
            }
        }
        std::sort(m_rows.begin(), m_rows.end(), [this](const Row &a, const Row &b) { return less(a, b); });
    }
    m_built = true;
    endResetModel();
}

void TaskListModel::applyChanges(const QSet<QString> &noteIds)
{
    for (const QString &id : noteIds) {
        // Keeps the old entry alive while its rows are taken out.
        const std::shared_ptr<const TaskCache::NoteTasks> old = m_cache.entries().value(id);
        m_cache.refreshNote(id);
        if (old)
            removeRowsOf(*old);
        if (const TaskCache::NoteTasks *now = m_cache.find(id))
            insertRowsOf(*now);
    }
}

std::vector<TaskListModel::Row> TaskListModel::visibleRowsOf(const TaskCache::NoteTasks &note) const
{
    std::vector<Row> rows;
    for (int i = 0; i < note.tasks.size(); ++i) {
        if (keeps(note, i))
            rows.push_back({&note, i});
    }
    std::sort(rows.begin(), rows.end(), [this](const Row &a, const Row &b) { return less(a, b); });
    return rows;
}

void TaskListModel::removeRowsOf(const TaskCache::NoteTasks &note)
{
    const auto compare = [this](const Row &a, const Row &b) { return less(a, b); };
    std::vector<int> positions;
    for (const Row &row : visibleRowsOf(note)) {
        const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), row, compare);
        if (it != m_rows.end() && it->note == row.note && it->task == row.task)
            positions.push_back(int(it - m_rows.begin()));
    }
    std::sort(positions.begin(), positions.end());
    // Adjacent rows go in one step, from the end so earlier positions stay valid.
    for (auto last = positions.rbegin(); last != positions.rend();) {
        auto first = last;
        while (std::next(first) != positions.rend() && *std::next(first) == *first - 1)
            ++first;
        beginRemoveRows(QModelIndex(), *first, *last);
        m_rows.erase(m_rows.begin() + *first, m_rows.begin() + *last + 1);
        endRemoveRows();
        last = std::next(first);
    }
}

void TaskListModel::insertRowsOf(const TaskCache::NoteTasks &note)
{
    const auto compare = [this](const Row &a, const Row &b) { return less(a, b); };
    const std::vector<Row> rows = visibleRowsOf(note);
    // Rows that land at the same place go in together; later groups first.
    for (size_t end = rows.size(); end > 0;) {
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), rows[end - 1], compare);
        size_t begin = end - 1;
        while (begin > 0 && std::lower_bound(m_rows.begin(), m_rows.end(), rows[begin - 1], compare) == at)
            --begin;
        const int position = int(at - m_rows.begin());
        beginInsertRows(QModelIndex(), position, position + int(end - begin) - 1);
        m_rows.insert(m_rows.begin() + position, rows.begin() + qsizetype(begin), rows.begin() + qsizetype(end));
        endInsertRows();
        end = begin;
    }
}

void TaskListModel::setRowHeight(int height)
{
    if (height == m_rowHeight || height < 1)
        return;
    beginResetModel();
    m_rowHeight = height;
    endResetModel();
}

int TaskListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TaskListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Row &row = m_rows[size_t(index.row())];
    const Task &task = row.note->tasks.at(row.task);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const QString title = m_cache.titleOf(*row.note);
        return title.isEmpty() ? task.text : task.text + QStringLiteral("  — ") + title;
    }
    case Qt::CheckStateRole:
        return task.isCompleted ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
        if (task.isCompleted) {
            QFont font;
            font.setStrikeOut(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (task.isCompleted)
            return QBrush(QColor(QStringLiteral("#9E9E9E")));
        return {};
    case Qt::SizeHintRole:
        return QSize(1, m_rowHeight);
    case NoteIdRole:
        return task.noteId;
    case LineIndexRole:
        return task.lineIndex;
    case SourceRole:
        return int(task.source);
    default:
        return {};
    }
}

Qt::ItemFlags TaskListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const Row &row = m_rows[size_t(index.row())];
    if (row.note->tasks.at(row.task).source == TaskSource::Checklist)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

// Only checklist lines can be ticked off here; the row shows the stored state until
// the note is written and the change comes back through the journal.
bool TaskListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= int(m_rows.size()))
        return false;
    const Row &row = m_rows[size_t(index.row())];
    const Task &task = row.note->tasks.at(row.task);
    if (task.source != TaskSource::Checklist)
        return false;
    const bool completed = value.toInt() == Qt::Checked;
    if (completed == task.isCompleted)
        return false;
    const QString noteId = task.noteId;
    const int line = task.lineIndex;
    Q_EMIT completionRequested(noteId, line, completed);
    return true;
}
