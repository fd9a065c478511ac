#pragma once

#include <QObject>
#include <QPalette>
#include <QString>
#include <functional>

class PreferencesRepository;

// Installs the light or dark application palette and remembers the choice in "theme_mode".
class ThemeManager : public QObject
{
    Q_OBJECT

public:
    enum class Theme { System = 0, Light = 1, Dark = 2 };
    Q_ENUM(Theme)

    // Answers whether the platform currently prefers a dark colour scheme.
    using SystemSchemeProbe = std::function<bool()>;

    explicit ThemeManager(PreferencesRepository *preferences, QObject *parent = nullptr);

    void setTheme(const QString &text);
    Theme theme() const { return m_theme; }

    void setSystemSchemeProbe(SystemSchemeProbe probe);

    static QString themeToString(Theme theme);
    static QPalette lightPalette();
    static QPalette darkPalette();
    static bool platformPrefersDark();

Q_SIGNALS:
    void themeChanged(ThemeManager::Theme theme);

private:
    PreferencesRepository *m_preferences;
    Theme m_theme = Theme::System;
    SystemSchemeProbe m_systemProbe;
};
