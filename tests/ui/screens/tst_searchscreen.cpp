#include "appstate.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "searchscreen.h"
#include "storagefixture.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>

#include <memory>

class TestSearchScreen : public QObject
{
    Q_OBJECT

private:
    QString addNote(const QString &text, int minutesAgo = 0)
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
        return m_state->notes()->insert(note) ? note.id : QString();
    }

    QStringList listedIds() const { return OmbrelTest::idsOf(m_screen->resultList()->entries()); }

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<SearchScreen> m_screen;

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_state = std::make_unique<AppState>();
        QVERIFY(m_state->initialize());
        m_screen = std::make_unique<SearchScreen>(m_state.get());
    }

    void cleanup()
    {
        m_screen.reset();
        m_state.reset();
        m_dataDir.reset();
    }

    void typingRunsOneSearchAfterTheLastKey()
    {
        const QString hit = addNote(QStringLiteral("apricot jam"));
        addNote(QStringLiteral("plum"));
        QSignalSpy searches(m_screen->debounceTimer(), &QTimer::timeout);
        m_screen->show();
        QTest::keyClicks(m_screen->queryField(), QStringLiteral("apri"), Qt::NoModifier, 40);
        QVERIFY(m_screen->debounceTimer()->isActive());
        QVERIFY(m_screen->debounceTimer()->remainingTime() > 200);
        QCOMPARE(searches.size(), 0);
        QVERIFY(listedIds().isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(searches.size(), 1, 2000);
        QCOMPARE(listedIds(), QStringList{hit});
        QTest::qWait(400);
        QCOMPARE(searches.size(), 1);
    }

    void blankQueryEmptiesTheList_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces") << "   ";
        QTest::newRow("tab-and-newline") << "\t\n";
    }

    void blankQueryEmptiesTheList()
    {
        QFETCH(QString, query);
        addNote(QStringLiteral("anything"));
        m_screen->queryField()->setText(QStringLiteral("anything"));
        m_screen->runSearch();
        QCOMPARE(listedIds().size(), 1);
        m_screen->queryField()->setText(query);
        m_screen->runSearch();
        QVERIFY(listedIds().isEmpty());
    }

    // Few hits are read one by one, many through one pass over the rows; both must keep
    // the ranking and leave out the trash.
    void resultsMatchTheRepositorySearch_data()
    {
        QTest::addColumn<int>("hits");
        QTest::newRow("few-hits") << 5;
        QTest::newRow("many-hits") << 90;
    }

    void resultsMatchTheRepositorySearch()
    {
        QFETCH(int, hits);
        for (int i = 0; i < hits; ++i)
            addNote(i % 3 ? QStringLiteral("kiwi %1").arg(i) : QStringLiteral("kiwi kiwi kiwi %1").arg(i), i);
        addNote(QStringLiteral("banana"));
        const QString trashed = addNote(QStringLiteral("kiwi in the bin"));
        QVERIFY(m_state->notes()->moveToTrash(trashed));

        m_screen->queryField()->setText(QStringLiteral(" kiwi "));
        m_screen->runSearch();
        QCOMPARE(listedIds(), OmbrelTest::idsOf(m_state->notes()->search(QStringLiteral("kiwi"))));
        QCOMPARE(listedIds().size(), hits);
        QVERIFY(!listedIds().contains(trashed));
    }
};

QTEST_MAIN(TestSearchScreen)
#include "tst_searchscreen.moc"
