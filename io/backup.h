#pragma once

#include "iorepositories.h"

#include <QString>

struct BackupResult
{
    int count = 0;   // notes written by a backup; records imported by a restore
    int skipped = 0;
    int errors = 0;  // 1 after a fatal error
    QString error;
};

enum class RestorePolicy : int {
    SkipExisting = 0,
    Overwrite = 1,
    NewerWins = 2,
};

// Writes the whole library (notebooks, live and trashed notes, attachment files) as one
// ZIP archive; the file appears under zipPath only once it is complete.
BackupResult createBackup(const QString &zipPath, const IoRepositories &repositories,
                          const IoProgress &progress = {});
// Merges a backup into the library by the policy; attachment files never overwrite.
BackupResult restoreBackup(const QString &zipPath, const IoRepositories &repositories, int policy,
                           const IoProgress &progress = {});
