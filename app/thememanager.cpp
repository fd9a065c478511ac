#include "thememanager.h"

#include "preferencesrepository.h"

#include <QGuiApplication>
#include <QStyleHints>

namespace {

struct RoleColours
{
    QPalette::ColorRole role;
    const char *light;
    const char *dark;
};

constexpr RoleColours roleColours[] = {
    {QPalette::Window, "#FAFAFA", "#1E1E1E"},
    {QPalette::WindowText, "#212121", "#E0E0E0"},
    {QPalette::Base, "#FFFFFF", "#252525"},
    {QPalette::AlternateBase, "#F5F7FA", "#2A2A2A"},
    {QPalette::Text, "#212121", "#E0E0E0"},
    {QPalette::Button, "#FAFAFA", "#252525"},
    {QPalette::ButtonText, "#212121", "#E0E0E0"},
    {QPalette::Highlight, "#1565C0", "#42A5F5"},
    {QPalette::HighlightedText, "#FFFFFF", "#1E1E1E"},
    {QPalette::ToolTipBase, "#FFFFFF", "#252525"},
    {QPalette::ToolTipText, "#212121", "#E0E0E0"},
    {QPalette::PlaceholderText, "#78909C", "#9E9E9E"},
    {QPalette::Mid, "#E0E0E0", "#3A3A3A"},
    {QPalette::Light, "#FFFFFF", "#3A3A3A"},
    {QPalette::Dark, "#B0BEC5", "#0D0D0D"},
};

// Links are left to the platform in the light palette; its default blue is unreadable
// on the dark base.
constexpr const char *darkLinkColour = "#8AB4F8";

QPalette buildPalette(bool dark)
{
    QPalette palette;
    for (const RoleColours &entry : roleColours)
        palette.setColor(entry.role, QColor(QLatin1String(dark ? entry.dark : entry.light)));
    const QColor disabled(QLatin1String(dark ? "#555555" : "#9E9E9E"));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    if (dark) {
        palette.setColor(QPalette::Link, QColor(QLatin1String(darkLinkColour)));
        palette.setColor(QPalette::LinkVisited, QColor(QLatin1String(darkLinkColour)));
    }
    return palette;
}

} // namespace

ThemeManager::ThemeManager(PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_systemProbe(&ThemeManager::platformPrefersDark)
{
}

void ThemeManager::setSystemSchemeProbe(SystemSchemeProbe probe)
{
    m_systemProbe = probe ? std::move(probe) : SystemSchemeProbe(&ThemeManager::platformPrefersDark);
}

QString ThemeManager::themeToString(Theme theme)
{
    switch (theme) {
    case Theme::Light:
        return QStringLiteral("light");
    case Theme::Dark:
        return QStringLiteral("dark");
    case Theme::System:
        break;
    }
    return QStringLiteral("system");
}

QPalette ThemeManager::lightPalette()
{
    return buildPalette(false);
}

QPalette ThemeManager::darkPalette()
{
    return buildPalette(true);
}

bool ThemeManager::platformPrefersDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark;
#else
    // Before 6.5 there is no colour-scheme hint: go back to the platform's own palette
    // (an application palette that sets no role) and call it dark when its window is
    // darker than its text. The caller installs its own palette right after.
    QPalette unset;
    unset.setColor(QPalette::Window, QColor(Qt::black));
    unset.setResolveMask(0);
    QGuiApplication::setPalette(unset);
    const QPalette platform = QGuiApplication::palette();
    return platform.color(QPalette::Window).lightness() < platform.color(QPalette::WindowText).lightness();
#endif
}

void ThemeManager::setTheme(const QString &text)
{
    if (text == QLatin1String("light"))
        m_theme = Theme::Light;
    else if (text == QLatin1String("dark"))
        m_theme = Theme::Dark;
    else
        m_theme = Theme::System;

    const bool dark = m_theme == Theme::Dark || (m_theme == Theme::System && m_systemProbe());
    QGuiApplication::setPalette(dark ? darkPalette() : lightPalette());

    if (m_preferences)
        m_preferences->set(QStringLiteral("theme_mode"), themeToString(m_theme));
    Q_EMIT themeChanged(m_theme);
}
