#include "appstate.h"
#include "database.h"
#include "launch.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "storagefixture.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

// The cold-start benchmark launches the real executable and reads the time of its first
// painted frame: the hook must report once and quit cleanly, on any library, and must do
// nothing at all unless asked.
class TestFirstPaintExit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void reportsTheFirstFrameAndQuits_data()
    {
        QTest::addColumn<int>("notes");
        QTest::newRow("fresh-library") << 0;
        QTest::newRow("list-longer-than-a-screen-last-note-deep") << 400;
    }

    void reportsTheFirstFrameAndQuits()
    {
        QFETCH(int, notes);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dataDir = root.path() + QStringLiteral("/data");
        QString lastNote;
        int listed = 0;
        if (notes > 0)
            QVERIFY(fillLibrary(dataDir, notes, &lastNote, &listed));

        QProcess app;
        app.setProcessEnvironment(hookEnvironment(root.path(), dataDir));
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(QStringLiteral(OMBREL_NOTES_BINARY), {});
        QVERIFY(app.waitForFinished(30000));
        const QString output = QString::fromUtf8(app.readAllStandardOutput());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        const qsizetype at = output.indexOf(QStringLiteral("first-paint-ms "));
        QVERIFY2(at >= 0, qPrintable(output + QString::fromUtf8(app.readAllStandardError())));
        bool ok = false;
        const double ms = output.mid(at + 15).section(QLatin1Char('\n'), 0, 0).trimmed().toDouble(&ok);
        QVERIFY(ok && ms > 0);
        QCOMPARE(output.count(QStringLiteral("first-paint-ms ")), 1);

        if (notes > 0) {
            // What a real start would have kept: every note, the note to reopen.
            const QByteArray previous = qgetenv("NOTES_DATA_DIR");
            qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
            {
                AppState state;
                QVERIFY(state.initialize());
                QCOMPARE(int(state.notes()->listEntries().size()), listed);
                QCOMPARE(state.currentNoteId(), lastNote);
            }
            qputenv("NOTES_DATA_DIR", previous);
        }
    }

    void withoutTheVariableTheApplicationKeepsRunning()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        OmbrelTest::Launch app(QStringLiteral(OMBREL_NOTES_BINARY), root.path() + QStringLiteral("/data"), root.path());
        QVERIFY(app.waitForOutput(QStringLiteral("Start-up complete")));
        app.drain(1500);
        QCOMPARE(app.process.state(), QProcess::Running);
        QVERIFY(!app.output.contains(QStringLiteral("first-paint-ms")));
    }

private:
    // Private data, settings, socket and runtime directories; the hook asked for.
    static QProcessEnvironment hookEnvironment(const QString &root, const QString &dataDir)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QDir().mkpath(root + QStringLiteral("/run"));
        QFile::setPermissions(root + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
        environment.insert(QStringLiteral("TMPDIR"), root);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("OMBREL_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
        return environment;
    }

    static bool fillLibrary(const QString &dataDir, int count, QString *lastNote, int *listed)
    {
        const QByteArray previous = qgetenv("NOTES_DATA_DIR");
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
        bool ok = false;
        {
            AppState state;
            if (state.initialize()) {
                QSqlDatabase db = state.database()->handle();
                ok = db.transaction();
                const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
                for (int i = 0; ok && i < count; ++i) {
                    Note note;
                    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
                    note.body = OmbrelTest::bodyOf(QStringLiteral("Note %1").arg(i));
                    note.createdAt = note.updatedAt = note.modifiedAt = base.addSecs(i);
                    ok = state.notes()->insert(note);
                    // The oldest note: the last row of the list, far beyond its first screen.
                    if (i == 0)
                        *lastNote = note.id;
                }
                ok = ok && db.commit();
                state.setCurrentNoteId(*lastNote);
                *listed = int(state.notes()->listEntries().size());
            }
        }
        qputenv("NOTES_DATA_DIR", previous);
        return ok;
    }
};

QTEST_MAIN(TestFirstPaintExit)
#include "tst_firstpaintexit.moc"
