#include "database.h"
#include "paths.h"
#include "preferencesrepository.h"
#include "testsupport.h"
#include "thememanager.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

class TestThemeManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }

    void init()
    {
        m_dataDir = std::make_unique<OmbrelTest::ScopedDataDir>();
        m_database = std::make_unique<Database>();
        QVERIFY(m_database->open(databasePath()));
        QVERIFY(m_database->migrate());
        m_preferences = std::make_unique<PreferencesRepository>(m_database.get());
    }

    void cleanup()
    {
        m_preferences.reset();
        m_database.reset();
        m_dataDir.reset();
    }

    void setThemeSelectsPaletteAndStoresChoice_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("platformDark");
        QTest::addColumn<ThemeManager::Theme>("theme");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("window");

        QTest::newRow("light") << "light" << true << ThemeManager::Theme::Light << "light" << "#fafafa";
        QTest::newRow("dark") << "dark" << false << ThemeManager::Theme::Dark << "dark" << "#1e1e1e";
        QTest::newRow("capitalised-is-system") << "Dark" << false << ThemeManager::Theme::System << "system" << "#fafafa";
        QTest::newRow("system-on-dark-platform") << "system" << true << ThemeManager::Theme::System << "system" << "#1e1e1e";
        QTest::newRow("system-on-light-platform") << "system" << false << ThemeManager::Theme::System << "system" << "#fafafa";
        QTest::newRow("empty-is-system") << "" << true << ThemeManager::Theme::System << "system" << "#1e1e1e";
        QTest::newRow("unknown-is-system") << "sepia" << false << ThemeManager::Theme::System << "system" << "#fafafa";
    }

    void setThemeSelectsPaletteAndStoresChoice()
    {
        QFETCH(QString, input);
        QFETCH(bool, platformDark);
        QFETCH(ThemeManager::Theme, theme);
        QFETCH(QString, stored);
        QFETCH(QString, window);

        ThemeManager manager(m_preferences.get());
        manager.setSystemSchemeProbe([platformDark] { return platformDark; });
        QSignalSpy changed(&manager, &ThemeManager::themeChanged);
        manager.setTheme(input);

        QCOMPARE(manager.theme(), theme);
        QCOMPARE(m_preferences->get(QStringLiteral("theme_mode")), stored);
        QCOMPARE(QGuiApplication::palette().color(QPalette::Window).name(), window);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().value<ThemeManager::Theme>(), theme);
    }

    void palettesCarryEveryListedRole()
    {
        const QPalette dark = ThemeManager::darkPalette();
        QCOMPARE(dark.color(QPalette::Active, QPalette::Highlight).name(), QStringLiteral("#42a5f5"));
        QCOMPARE(dark.color(QPalette::Inactive, QPalette::Base).name(), QStringLiteral("#252525"));
        QCOMPARE(dark.color(QPalette::Disabled, QPalette::Text).name(), QStringLiteral("#555555"));
        QCOMPARE(dark.color(QPalette::Disabled, QPalette::Window).name(), QStringLiteral("#1e1e1e"));
        const QPalette light = ThemeManager::lightPalette();
        QCOMPARE(light.color(QPalette::Active, QPalette::PlaceholderText).name(), QStringLiteral("#78909c"));
        QCOMPARE(light.color(QPalette::Disabled, QPalette::ButtonText).name(), QStringLiteral("#9e9e9e"));
        QCOMPARE(light.color(QPalette::Active, QPalette::Dark).name(), QStringLiteral("#b0bec5"));
    }

    void sameThemeTwiceStoresOnceAndSignalsTwice()
    {
        ThemeManager manager(m_preferences.get());
        QSignalSpy themeChanged(&manager, &ThemeManager::themeChanged);
        QSignalSpy stored(m_preferences.get(), &PreferencesRepository::changed);
        manager.setTheme(QStringLiteral("dark"));
        manager.setTheme(QStringLiteral("dark"));
        QCOMPARE(themeChanged.count(), 2);
        QCOMPARE(stored.count(), 1);
    }

    void worksWithoutPreferences()
    {
        ThemeManager manager(nullptr);
        manager.setTheme(QStringLiteral("light"));
        QCOMPARE(manager.theme(), ThemeManager::Theme::Light);
    }

private:
    std::unique_ptr<OmbrelTest::ScopedDataDir> m_dataDir;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<PreferencesRepository> m_preferences;
};

QTEST_MAIN(TestThemeManager)
#include "tst_thememanager.moc"
