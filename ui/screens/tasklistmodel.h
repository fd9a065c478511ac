#pragma once

#include "taskcache.h"

#include <QAbstractListModel>

#include <memory>
#include <vector>

class NoteRepository;

// The To-Dos list: the tasks of the task cache that pass the filter, in the chosen
// order. A refresh applies only what the change journal names: the rows of a changed
// note are taken out and its new rows put in at their sorted places, so its cost
// follows the size of the change, not of the library.
//
// Rows carry the note id (Qt::UserRole), the line index (+1) and the task source (+2).
// Only checklist rows are checkable; checking one asks for the write through
// completionRequested and changes nothing here until the note changes.
class TaskListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Order { NoteUpdated, Alphabetical };

    explicit TaskListModel(NoteRepository *notes, QObject *parent = nullptr);
    ~TaskListModel() override;

    // Re-filters and re-sorts everything when the options differ from the last ones,
    // otherwise catches up with the journal.
    void refresh(Order order, bool showCompleted, const QString &filter);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const TaskCache &cache() const { return m_cache; }
    // Every row's height. Rows report a token width, so the view lays them out at its own
    // width and long texts are elided rather than scrolled.
    void setRowHeight(int height);

Q_SIGNALS:
    void completionRequested(const QString &noteId, int lineIndex, bool completed);

private:
    struct Row
    {
        const TaskCache::NoteTasks *note = nullptr;
        int task = 0;
    };

    bool less(const Row &a, const Row &b) const;
    bool keeps(const TaskCache::NoteTasks &note, int task) const;
    void rebuild();
    void applyChanges(const QSet<QString> &noteIds);
    void removeRowsOf(const TaskCache::NoteTasks &note);
    void insertRowsOf(const TaskCache::NoteTasks &note);
    std::vector<Row> visibleRowsOf(const TaskCache::NoteTasks &note) const;

    TaskCache m_cache;
    std::vector<Row> m_rows;
    Order m_order = NoteUpdated;
    bool m_showCompleted = false;
    QString m_filter;
    bool m_built = false;
    int m_rowHeight = 20;
};
