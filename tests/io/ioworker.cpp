// Runs one import, backup or restore against the library in $NOTES_DATA_DIR and prints its
// progress, so that a test can kill it part-way through.
#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "joplinimporter.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "paths.h"

#include <QGuiApplication>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    Database database;
    if (!database.open(databasePath()) || !database.migrate())
        return 3;
    NoteRepository notes(&database);
    NotebookRepository notebooks(&database);
    AttachmentRepository attachments(&database);
    const IoRepositories repositories{&database, &notes, &notebooks, &attachments};
    const IoProgress progress = [](int current, int, const QString &) {
        std::printf("progress %d\n", current);
        std::fflush(stdout);
    };
    if (args.at(1) == QLatin1String("jex"))
        return importJex(args.at(2), repositories, progress).errors == 0 ? 0 : 1;
    if (args.at(1) == QLatin1String("backup"))
        return createBackup(args.at(2), repositories, progress).errors == 0 ? 0 : 1;
    if (args.at(1) == QLatin1String("restore"))
        return restoreBackup(args.at(2), repositories, 0, progress).errors == 0 ? 0 : 1;
    return 2;
}
