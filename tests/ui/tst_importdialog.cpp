#include "appstate.h"
#include "archivefixtures.h"
#include "importdialog.h"
#include "noterepository.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ArchiveFixtures;

// The wizard driven offscreen, from the format choice to the summary.
class TestImportDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_files = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_notesBefore = int(m_state->notes()->allNotes().size());
        m_dialog = std::make_unique<ImportDialog>(m_state.get());
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    void cleanup()
    {
        m_dialog.reset();
        m_state.reset();
        m_files.reset();
        m_dataDir.reset();
    }

    void runsFromFormatToSummary_data();
    void runsFromFormatToSummary();
    void withoutFileStaysOnTheProgressPage();

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ImportDialog> m_dialog;
    int m_notesBefore = 0;
};

void TestImportDialog::runsFromFormatToSummary_data()
{
    QTest::addColumn<bool>("noteStation");
    QTest::addColumn<QString>("archive"); // "good" or "garbage"
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("stored");
    QTest::newRow("joplin") << false << "good" << "Imported: 12 notes\nAttachments: 3" << 12;
    QTest::newRow("notestation") << true << "good" << "Imported: 2 notes\nErrors: 1" << 2;
    QTest::newRow("joplin-garbage") << false << "garbage"
                                    << "Imported: 0 notes\nErrors: 1\n\nFailed to read archive or archive is empty: "
                                       "Unrecognized archive format"
                                    << 0;
}

void TestImportDialog::runsFromFormatToSummary()
{
    QFETCH(bool, noteStation);
    QFETCH(QString, archive);
    QFETCH(QString, summary);
    QFETCH(int, stored);

    const QString path = m_files->filePath(noteStation ? QStringLiteral("x.nsx") : QStringLiteral("x.jex"));
    if (archive == QLatin1String("garbage")) {
        QVERIFY(OmbrelTest::writeFile(path, "not an archive"));
    } else if (noteStation) {
        const QJsonObject config{{QStringLiteral("notebook"), QJsonArray{}},
                                 {QStringLiteral("note"), QJsonArray{QStringLiteral("a"), QStringLiteral("b"),
                                                                     QStringLiteral("missing")}}};
        QVERIFY(write(path, Format::Zip,
                      {{QStringLiteral("config.json"), json(config)},
                       {QStringLiteral("a"), json(QJsonObject{{QStringLiteral("title"), QStringLiteral("A")}})},
                       {QStringLiteral("b"), json(QJsonObject{{QStringLiteral("content"), QStringLiteral("<p>b</p>")}})}}));
    } else {
        QVERIFY(writeJoplinExport(path, 12, 2, 300, 4));
    }

    QCOMPARE(m_dialog->currentId(), int(ImportDialog::FormatPage));
    (noteStation ? m_dialog->noteStationButton() : m_dialog->joplinButton())->setChecked(true);
    m_dialog->next();
    QCOMPARE(m_dialog->currentId(), int(ImportDialog::FilePage));
    QCOMPARE(m_dialog->fileLabel()->text(), QStringLiteral("No file selected"));

    QString askedFilter;
    m_dialog->setFileChooser([&](QWidget *, const QString &, const QString &filter) {
        askedFilter = filter;
        return path;
    });
    m_dialog->browse();
    QCOMPARE(askedFilter, noteStation ? QStringLiteral("NoteStation Export (*.nsx);;All Files (*)")
                                      : QStringLiteral("Joplin Export (*.jex);;All Files (*)"));
    QCOMPARE(m_dialog->fileLabel()->text(), path);

    QSignalSpy finished(m_dialog.get(), &ImportDialog::importFinished);
    m_dialog->next();
    QCOMPARE(m_dialog->currentId(), int(ImportDialog::ProgressPage));
    QVERIFY(finished.wait(20000));
    QCOMPARE(m_dialog->currentId(), int(ImportDialog::SummaryPage));
    QCOMPARE(m_dialog->summaryLabel()->text(), summary);
    QCOMPARE(int(m_state->notes()->allNotes().size()), m_notesBefore + stored);
    if (stored > 0)
        QCOMPARE(m_dialog->progressBar()->value(), m_dialog->progressBar()->maximum());
}

void TestImportDialog::withoutFileStaysOnTheProgressPage()
{
    m_dialog->next();
    m_dialog->next();
    QCOMPARE(m_dialog->currentId(), int(ImportDialog::ProgressPage));
    QTRY_COMPARE(m_dialog->summaryLabel()->text(), QStringLiteral("No file was selected."));
    QTest::qWait(150);
    QCOMPARE(m_dialog->currentId(), int(ImportDialog::ProgressPage));
    QCOMPARE(int(m_state->notes()->allNotes().size()), m_notesBefore);
}

QTEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
