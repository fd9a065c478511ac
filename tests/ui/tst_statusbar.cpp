#include "statusbar.h"
#include "testsupport.h"

#include <QLabel>
#include <QTest>

#include <memory>

class TestStatusBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void initialTexts();
    void noteCountCaption_data();
    void noteCountCaption();
    void wordCount_data();
    void wordCount();
    void saveStateSequence_data();
    void saveStateSequence();
    void activityShownAndHidden();
    void toastHidesActivity();

private:
    std::unique_ptr<StatusBar> m_bar;
};

void TestStatusBar::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestStatusBar::init()
{
    m_bar = std::make_unique<StatusBar>();
    m_bar->resize(800, 24);
    m_bar->show();
}

void TestStatusBar::cleanup()
{
    m_bar.reset();
}

void TestStatusBar::initialTexts()
{
    QCOMPARE(m_bar->captionText(), QStringLiteral("All Notes"));
    QCOMPARE(m_bar->statusText(), QStringLiteral("Not signed in"));
    QCOMPARE(m_bar->wordText(), QString());
    QVERIFY(!m_bar->isActivityVisible());
}

void TestStatusBar::noteCountCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    QTest::newRow("singular") << QStringLiteral("Work") << 1 << QStringLiteral("Work (1 note)");
    QTest::newRow("zero-is-plural") << QStringLiteral("Work") << 0 << QStringLiteral("Work (0 notes)");
    QTest::newRow("plural") << QStringLiteral("All Notes") << 12
                            << QStringLiteral("All Notes (12 notes)");
    QTest::newRow("negative-caption-only") << QStringLiteral("Notes") << -1 << QStringLiteral("Notes");
    QTest::newRow("placeholder-in-caption") << QStringLiteral("%2 plans") << 3
                                            << QStringLiteral("%2 plans (3 notes)");
    QTest::newRow("markup-in-caption") << QStringLiteral("<b>x</b>") << -1
                                       << QStringLiteral("<b>x</b>");
}

void TestStatusBar::noteCountCaption()
{
    QFETCH(QString, caption);
    QFETCH(int, count);
    QFETCH(QString, expected);

    m_bar->setNoteCount(caption, count);
    QCOMPARE(m_bar->captionText(), expected);
    const auto *label = m_bar->findChild<QLabel *>(QStringLiteral("captionLabel"));
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestStatusBar::wordCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0 << QStringLiteral("Words: 0");
    QTest::newRow("many") << 1234 << QStringLiteral("Words: 1234");
    QTest::newRow("negative-clears") << -1 << QString();
}

void TestStatusBar::wordCount()
{
    QFETCH(int, count);
    QFETCH(QString, expected);

    m_bar->setWordCount(5);
    m_bar->setSaved(true);
    m_bar->setWordCount(count);
    QCOMPARE(m_bar->wordText(), expected);
}

void TestStatusBar::saveStateSequence_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");

    // Steps: "w<n>" word count, "s" saved, "u" unsaved.
    QTest::newRow("load") << QStringList{"s", "w3"} << QStringLiteral("Words: 3");
    QTest::newRow("typing") << QStringList{"s", "w3", "u", "w4"} << QStringLiteral("Words: 4");
    QTest::newRow("idle-save") << QStringList{"s", "w3", "u", "w4", "s"}
                               << QStringLiteral("Words: 4 · Saved");
    QTest::newRow("unsaved-before-count") << QStringList{"w3", "u"}
                                          << QStringLiteral("Words: 3 · Saving...");
    QTest::newRow("repeated-saved-does-not-stack") << QStringList{"w3", "s", "s"}
                                                   << QStringLiteral("Words: 3 · Saved");
    QTest::newRow("unsaved-then-saved-replaces") << QStringList{"w3", "u", "s"}
                                                 << QStringLiteral("Words: 3 · Saved");
    QTest::newRow("no-word-count") << QStringList{"s"} << QStringLiteral("Saved");
    QTest::newRow("cleared-count") << QStringList{"w3", "w-1", "u"} << QStringLiteral("Saving...");
}

void TestStatusBar::saveStateSequence()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);

    for (const QString &step : steps) {
        if (step.startsWith(QLatin1Char('w')))
            m_bar->setWordCount(step.mid(1).toInt());
        else
            m_bar->setSaved(step == QLatin1String("s"));
    }
    QCOMPARE(m_bar->wordText(), expected);
}

void TestStatusBar::activityShownAndHidden()
{
    m_bar->showActivity(QStringLiteral("Checking for updates..."));
    QVERIFY(m_bar->isActivityVisible());
    QCOMPARE(m_bar->activityText(), QStringLiteral("Checking for updates..."));
    m_bar->hideActivity();
    QVERIFY(!m_bar->isActivityVisible());
    m_bar->hideActivity();
    QVERIFY(!m_bar->isActivityVisible());
}

void TestStatusBar::toastHidesActivity()
{
    m_bar->showActivity(QStringLiteral("Working"));
    m_bar->showToast(QStringLiteral("Exported to /tmp/a.md"), 3000);
    QVERIFY(!m_bar->isActivityVisible());
    QCOMPARE(m_bar->currentMessage(), QStringLiteral("Exported to /tmp/a.md"));
    m_bar->showToast(QStringLiteral("gone"), 1);
    QTRY_COMPARE(m_bar->currentMessage(), QString());
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
