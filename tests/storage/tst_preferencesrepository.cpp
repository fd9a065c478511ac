#include "database.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <memory>

class TestPreferencesRepository : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void getBool_data();
    void getBool();
    void getInt_data();
    void getInt();
    void getReturnsDefaultOnlyWhenAbsent();
    void nullValueReadsAsEmpty();
    void setEmitsOnlyOnChange();
    void setBoolAndSetIntStoreText();
    void removeAlwaysEmits();
    void valuesSurviveReopen();

private:
    void reopen();

    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<PreferencesRepository> m_preferences;
};

void TestPreferencesRepository::initTestCase()
{
    OmbrelTest::initTestEnvironment();
}

void TestPreferencesRepository::init()
{
    m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
    QVERIFY(m_dataDir->isValid());
    reopen();
}

void TestPreferencesRepository::cleanup()
{
    m_preferences.reset();
    m_database.reset();
    m_dataDir.reset();
}

void TestPreferencesRepository::reopen()
{
    m_preferences.reset();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()));
    QVERIFY(m_database->migrate());
    m_preferences = std::make_unique<PreferencesRepository>(m_database.get());
}

void TestPreferencesRepository::getBool_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");

    QTest::newRow("one") << true << QStringLiteral("1") << false << true;
    QTest::newRow("true") << true << QStringLiteral("true") << false << true;
    QTest::newRow("yes") << true << QStringLiteral("yes") << false << true;
    // Every other stored text is false, whatever the default.
    QTest::newRow("zero") << true << QStringLiteral("0") << true << false;
    QTest::newRow("capitalised-true") << true << QStringLiteral("True") << true << false;
    QTest::newRow("upper-yes") << true << QStringLiteral("YES") << true << false;
    QTest::newRow("leading-blank-one") << true << QStringLiteral(" 1") << true << false;
    QTest::newRow("trailing-blank-one") << true << QStringLiteral("1 ") << true << false;
    QTest::newRow("two") << true << QStringLiteral("2") << true << false;
    QTest::newRow("empty-text") << true << QString(QLatin1String("")) << true << false;
    QTest::newRow("no") << true << QStringLiteral("no") << true << false;
    QTest::newRow("missing-default-true") << false << QString() << true << true;
    QTest::newRow("missing-default-false") << false << QString() << false << false;
}

void TestPreferencesRepository::getBool()
{
    QFETCH(bool, present);
    QFETCH(QString, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    const QString key = QStringLiteral("close_to_tray");
    if (present)
        QVERIFY(m_preferences->set(key, stored));
    QCOMPARE(m_preferences->getBool(key, defaultValue), expected);
}

void TestPreferencesRepository::getInt_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected"); // the default is 12

    QTest::newRow("decimal") << true << QStringLiteral("14") << 14;
    QTest::newRow("negative") << true << QStringLiteral("-5") << -5;
    QTest::newRow("zero") << true << QStringLiteral("0") << 0;
    QTest::newRow("int-max") << true << QStringLiteral("2147483647") << 2147483647;
    QTest::newRow("letters") << true << QStringLiteral("abc") << 12;
    QTest::newRow("trailing-letters") << true << QStringLiteral("9pt") << 12;
    QTest::newRow("fraction") << true << QStringLiteral("10.5") << 12;
    QTest::newRow("hexadecimal") << true << QStringLiteral("0x10") << 12;
    QTest::newRow("overflow") << true << QStringLiteral("2147483648") << 12;
    QTest::newRow("empty-text") << true << QString(QLatin1String("")) << 12;
    QTest::newRow("missing") << false << QString() << 12;
}

void TestPreferencesRepository::getInt()
{
    QFETCH(bool, present);
    QFETCH(QString, stored);
    QFETCH(int, expected);
    const QString key = QStringLiteral("editor_body_pt");
    if (present)
        QVERIFY(m_preferences->set(key, stored));
    QCOMPARE(m_preferences->getInt(key, 12), expected);
}

void TestPreferencesRepository::getReturnsDefaultOnlyWhenAbsent()
{
    QCOMPARE(m_preferences->get(QStringLiteral("theme_mode"), QStringLiteral("system")), QStringLiteral("system"));
    QVERIFY(!m_preferences->find(QStringLiteral("theme_mode")).has_value());

    QVERIFY(m_preferences->set(QStringLiteral("theme_mode"), QString(QLatin1String(""))));
    QCOMPARE(m_preferences->find(QStringLiteral("theme_mode")).value_or(QStringLiteral("<absent>")), QString());
    QCOMPARE(m_preferences->get(QStringLiteral("theme_mode"), QStringLiteral("system")), QString());

    // Keys are exact: no case folding, and a slash is just a character.
    const QString geometryKey = QStringLiteral("note_window_geom/6f1c2d3e-0000-4000-8000-000000000001");
    QVERIFY(m_preferences->set(geometryKey, QStringLiteral("AdnQywADAAA=")));
    QCOMPARE(m_preferences->get(geometryKey), QStringLiteral("AdnQywADAAA="));
    QVERIFY(!m_preferences->find(QStringLiteral("THEME_MODE")).has_value());
}

void TestPreferencesRepository::nullValueReadsAsEmpty()
{
    QSqlQuery query(m_database->handle());
    QVERIFY(query.exec(QStringLiteral("INSERT INTO preferences (key, value) VALUES ('lastNoteId', NULL)")));

    const std::optional<QString> found = m_preferences->find(QStringLiteral("lastNoteId"));
    QVERIFY(found.has_value());
    QVERIFY(found->isEmpty());
    QCOMPARE(m_preferences->get(QStringLiteral("lastNoteId"), QStringLiteral("fallback")), QString());
    QCOMPARE(m_preferences->getBool(QStringLiteral("lastNoteId"), true), false);
    QCOMPARE(m_preferences->getInt(QStringLiteral("lastNoteId"), 3), 3);
}

void TestPreferencesRepository::setEmitsOnlyOnChange()
{
    QSignalSpy changed(m_preferences.get(), &PreferencesRepository::changed);
    QVERIFY(m_preferences->set(QStringLiteral("theme_mode"), QStringLiteral("dark")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("theme_mode"));

    QVERIFY(m_preferences->set(QStringLiteral("theme_mode"), QStringLiteral("dark")));
    QCOMPARE(changed.count(), 1);

    QVERIFY(m_preferences->set(QStringLiteral("theme_mode"), QStringLiteral("Dark")));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_preferences->get(QStringLiteral("theme_mode")), QStringLiteral("Dark"));

    // The same text through the typed setters is also no change.
    QVERIFY(m_preferences->setBool(QStringLiteral("steno_mode"), true));
    QVERIFY(m_preferences->set(QStringLiteral("steno_mode"), QStringLiteral("1")));
    QVERIFY(m_preferences->setBool(QStringLiteral("steno_mode"), true));
    QCOMPARE(changed.count(), 3);
}

void TestPreferencesRepository::setBoolAndSetIntStoreText()
{
    QVERIFY(m_preferences->setBool(QStringLiteral("start_minimized"), true));
    QCOMPARE(m_preferences->get(QStringLiteral("start_minimized")), QStringLiteral("1"));
    QVERIFY(m_preferences->setBool(QStringLiteral("start_minimized"), false));
    QCOMPARE(m_preferences->get(QStringLiteral("start_minimized")), QStringLiteral("0"));

    QVERIFY(m_preferences->setInt(QStringLiteral("sync_interval_minutes"), -15));
    QCOMPARE(m_preferences->get(QStringLiteral("sync_interval_minutes")), QStringLiteral("-15"));
    QCOMPARE(m_preferences->getInt(QStringLiteral("sync_interval_minutes"), 5), -15);

    QVERIFY(m_preferences->setInt(QStringLiteral("lastSyncTimestampMs"), 0));
    QCOMPARE(m_preferences->get(QStringLiteral("lastSyncTimestampMs")), QStringLiteral("0"));
}

void TestPreferencesRepository::removeAlwaysEmits()
{
    QSignalSpy changed(m_preferences.get(), &PreferencesRepository::changed);
    QVERIFY(m_preferences->remove(QStringLiteral("never-set")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("never-set"));

    QVERIFY(m_preferences->set(QStringLiteral("lastNotebookId"), QStringLiteral("nb")));
    QVERIFY(m_preferences->remove(QStringLiteral("lastNotebookId")));
    QCOMPARE(changed.count(), 3);
    QVERIFY(!m_preferences->find(QStringLiteral("lastNotebookId")).has_value());

    // After a removal, setting the old value again is a change.
    QVERIFY(m_preferences->set(QStringLiteral("lastNotebookId"), QStringLiteral("nb")));
    QCOMPARE(changed.count(), 4);
}

void TestPreferencesRepository::valuesSurviveReopen()
{
    const QString text = QStringLiteral("caf\u00e9 \U0001F600, 'quoted' \"double\"");
    QVERIFY(m_preferences->set(QStringLiteral("restore_note_windows"), text));
    reopen();
    QCOMPARE(m_preferences->get(QStringLiteral("restore_note_windows")), text);
}

QTEST_GUILESS_MAIN(TestPreferencesRepository)
#include "tst_preferencesrepository.moc"
