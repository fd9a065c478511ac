#pragma once

#include "attachmentrepository.h"
#include "iorepositories.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QStringList>

// A fresh data directory with a migrated database and the repositories import, backup
// and export work on.
struct IoTestLibrary
{
    IoTestLibrary();

    IoRepositories repositories();
    int count(const char *table) const;
    // Names of the files in the attachments directory.
    QStringList attachmentFiles() const;
    QString onlyNoteBody() const;

    OmbrelTest::MigratedDatabase db;
    NoteRepository notes;
    NotebookRepository notebooks;
    AttachmentRepository attachments;
};
