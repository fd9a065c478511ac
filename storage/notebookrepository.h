#pragma once

#include "note.h"

#include <QList>
#include <QObject>
#include <optional>

class Database;

// The only code that reads and writes the notebooks table.
class NotebookRepository : public QObject
{
    Q_OBJECT

public:
    explicit NotebookRepository(Database *database, QObject *parent = nullptr);

    QList<Notebook> allNotebooks() const;
    std::optional<Notebook> findById(const QString &id) const;
    bool insert(const Notebook &notebook);
    bool update(const Notebook &notebook);
    bool moveToTrash(const QString &id);
    int markAllPending();

Q_SIGNALS:
    void notebooksChanged();

private:
    Database *m_database;
};
