#pragma once

#include <QString>

#include <functional>

class AttachmentRepository;
class Database;
class NotebookRepository;
class NoteRepository;

// What import, restore and backup work on; the database is needed for transactions.
struct IoRepositories
{
    Database *database = nullptr;
    NoteRepository *notes = nullptr;
    NotebookRepository *notebooks = nullptr;
    AttachmentRepository *attachments = nullptr;
};

// (current, total, message); total 0 means no count is known yet.
using IoProgress = std::function<void(int current, int total, const QString &message)>;

struct ImportResult
{
    int imported = 0;
    int errors = 0;
    int attachments = 0;
    QString errorMessage;
};
