#include "application.h"
#include "paths.h"
#include "testsupport.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Drives the real start-up in this process: run() returns before the event loop when
// the database cannot be opened, after showing its error box.
class TestApplication : public QObject
{
    Q_OBJECT

public:
    explicit TestApplication(Application *app)
        : m_app(app)
    {
    }

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        // A socket directory of its own, so no other instance on this machine answers.
        m_socketDir = std::make_unique<QTemporaryDir>();
        qputenv("TMPDIR", m_socketDir->path().toUtf8());
    }

    void cleanup() { m_socketDir.reset(); }

    void identityAndResources()
    {
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Ombrel"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Notes"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.0.3"));
        QVERIFY(!QApplication::windowIcon().isNull());
        for (const char *font : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                                 ":/fonts/IBMPlexMono-Medium.ttf", ":/fonts/MaterialIcons-Regular.otf"})
            QVERIFY2(QFile::exists(QLatin1String(font)), font);
    }

    void unusableDatabaseShowsErrorAndExitsWithOne_data()
    {
        QTest::addColumn<bool>("garbageFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("file-is-not-a-database") << true << "file is not a database";
        QTest::newRow("data-directory-cannot-be-created") << false << "cannot be created";
    }

    void unusableDatabaseShowsErrorAndExitsWithOne()
    {
        QFETCH(bool, garbageFile);
        QFETCH(QString, reason);
        OmbrelTest::ScopedDataDir dataDir;
        QString databaseFile;
        const QByteArray garbage(4096, '\x7f');
        if (garbageFile) {
            databaseFile = databasePath();
            QFile file(databaseFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(garbage);
        } else {
            // A path below a regular file can never become a directory, even for root.
            QFile blocker(dataDir.path() + QStringLiteral("/blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            qputenv("NOTES_DATA_DIR", (blocker.fileName() + QStringLiteral("/data")).toUtf8());
        }

        QString title;
        QString text;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
        poll.start();
        const int exitCode = m_app->run();
        poll.stop();

        QCOMPARE(exitCode, 1);
        QCOMPARE(title, QStringLiteral("Database Error"));
        // The driver's reason and the paths, not a guess at permissions.
        QVERIFY2(text.startsWith(QStringLiteral("Failed to initialize the database.\n\n")), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Data directory: ") + QString::fromUtf8(qgetenv("NOTES_DATA_DIR"))),
                 qPrintable(text));
        if (garbageFile)
            QVERIFY2(text.contains(QStringLiteral("Database file: ") + databaseFile), qPrintable(text));
        if (garbageFile) {
            QFile file(databaseFile);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), garbage);
        }
    }

private:
    Application *m_app;
    std::unique_ptr<QTemporaryDir> m_socketDir;
};

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    Application app(argc, argv);
    TestApplication test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
