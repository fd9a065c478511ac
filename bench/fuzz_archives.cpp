// Mutation loop over the three archive readers (Joplin import, NoteStation import,
// restore), outside CI: each reader gets mutated copies of a valid seed archive for the
// given number of seconds. A crash or hang ends the run; a whole failure that still
// stored something counts as a finding.
//
//   build/bench/fuzz_archives [seconds per reader, default 600] [jex|nsx|restore: only that reader]

#include "archivefixtures.h"
#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "joplinimporter.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notestationimporter.h"
#include "paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace ArchiveFixtures;

namespace {

QByteArray mutate(QByteArray bytes, QRandomGenerator &random)
{
    const int steps = 1 + int(random.bounded(8));
    for (int i = 0; i < steps && !bytes.isEmpty(); ++i) {
        const qsizetype at = qsizetype(random.bounded(quint32(bytes.size())));
        switch (random.bounded(6)) {
        case 0:
            bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
            break;
        case 1:
            bytes[at] = random.bounded(2) ? '\0' : '\xff';
            break;
        case 2:
            bytes.truncate(at);
            break;
        case 3:
            bytes.insert(at, bytes.mid(qsizetype(random.bounded(quint32(bytes.size()))), 1 + random.bounded(64)));
            break;
        case 4: {
            QByteArray noise(1 + int(random.bounded(16)), '\0');
            for (char &c : noise)
                c = char(random.bounded(256));
            bytes.insert(at, noise);
            break;
        }
        default:
            // Numbers in headers (sizes, offsets) are where parsers go wrong.
            for (int k = 0; k < 4 && at + k < bytes.size(); ++k)
                bytes[at + k] = char(random.bounded(256));
            break;
        }
    }
    return bytes;
}

struct Counts
{
    qint64 executions = 0;
    qint64 wholeFailures = 0;
    qint64 findings = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("ombrel.*=false"));
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 600;
    QTemporaryDir root;
    qputenv("NOTES_DATA_DIR", root.filePath(QStringLiteral("data")).toUtf8());

    Database database;
    if (!database.open(databasePath()) || !database.migrate())
        return 1;
    NoteRepository notes(&database);
    NotebookRepository notebooks(&database);
    AttachmentRepository attachments(&database);
    const IoRepositories repositories{&database, &notes, &notebooks, &attachments};

    // Seeds: small but complete archives of each kind.
    const QString jex = root.filePath(QStringLiteral("seed.jex"));
    if (!writeJoplinExport(jex, 12, 3, 600, 3))
        return 1;
    const QString nsx = root.filePath(QStringLiteral("seed.nsx"));
    const QJsonObject config{{QStringLiteral("notebook"), QJsonArray{QStringLiteral("nb")}},
                             {QStringLiteral("note"), QJsonArray{QStringLiteral("n1"), QStringLiteral("n2")}}};
    const QJsonObject note{{QStringLiteral("title"), QStringLiteral("T")},
                           {QStringLiteral("parent_id"), QStringLiteral("nb")},
                           {QStringLiteral("content"), QStringLiteral("<p>x <img ref=\"r\"></p>")},
                           {QStringLiteral("attachment"),
                            QJsonObject{{QStringLiteral("a"), QJsonObject{{QStringLiteral("md5"), QStringLiteral("m")},
                                                                          {QStringLiteral("ref"), QStringLiteral("r")},
                                                                          {QStringLiteral("type"), QStringLiteral("image")}}}}}};
    if (!write(nsx, Format::Zip, {{QStringLiteral("config.json"), json(config)},
                                  {QStringLiteral("nb"), json(QJsonObject{{QStringLiteral("title"), QStringLiteral("B")}})},
                                  {QStringLiteral("n1"), json(note)},
                                  {QStringLiteral("n2"), json(note)},
                                  {QStringLiteral("file_m"), tinyPng()}}))
        return 1;
    if (importJex(jex, repositories, {}).imported == 0)
        return 1;
    const QString zip = root.filePath(QStringLiteral("seed.zip"));
    if (createBackup(zip, repositories).errors)
        return 1;

    const auto clear = [&] {
        QSqlQuery query(database.handle());
        for (const char *table : {"attachments", "notes", "notebooks"})
            query.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
        QDir(attachmentsDirectory()).removeRecursively();
    };
    const auto stored = [&] {
        QSqlQuery query(database.handle());
        query.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM notes) + (SELECT COUNT(*) FROM notebooks)"));
        return query.next() ? query.value(0).toInt() : -1;
    };

    QRandomGenerator random(20261208);
    const QString input = root.filePath(QStringLiteral("input"));
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (const QString &kind : {QStringLiteral("jex"), QStringLiteral("nsx"), QStringLiteral("restore")}) {
        if (!only.isEmpty() && kind != only)
            continue;
        const QByteArray seed = [&] {
            QFile file(kind == QLatin1String("jex") ? jex : kind == QLatin1String("nsx") ? nsx : zip);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        Counts counts;
        const QDeadlineTimer deadline(qint64(seconds) * 1000);
        while (!deadline.hasExpired()) {
            clear();
            QFile out(input);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            out.write(mutate(seed, random));
            out.close();
            bool whole = false;
            if (kind == QLatin1String("jex")) {
                const ImportResult result = importJex(input, repositories, {});
                whole = !result.errorMessage.isEmpty();
            } else if (kind == QLatin1String("nsx")) {
                const ImportResult result = importNsx(input, repositories, {});
                whole = !result.errorMessage.isEmpty();
            } else {
                whole = restoreBackup(input, repositories, 0).errors > 0;
            }
            ++counts.executions;
            if (whole) {
                ++counts.wholeFailures;
                if (stored() != 0) {
                    ++counts.findings;
                    QFile::copy(input, QDir::current().filePath(QStringLiteral("finding-%1-%2").arg(kind).arg(counts.findings)));
                }
            }
        }
        std::printf("%s: %lld executions, %lld whole failures, %lld findings\n", qPrintable(kind),
                    static_cast<long long>(counts.executions), static_cast<long long>(counts.wholeFailures),
                    static_cast<long long>(counts.findings));
        std::fflush(stdout);
    }
    return 0;
}
