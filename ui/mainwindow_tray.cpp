#include "mainwindow.h"

#include "appstate.h"
#include "preferencesrepository.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QStyle>
#include <QSystemTrayIcon>

void MainWindow::setTrayProbe(TrayProbe probe)
{
    m_trayProbe = std::move(probe);
}

void MainWindow::setupTray()
{
    PreferencesRepository *preferences = m_appState->preferences();
    m_closeToTray = preferences && preferences->getBool(QStringLiteral("close_to_tray"), false);
    const bool wanted = m_closeToTray
        || (preferences && preferences->getBool(QStringLiteral("start_minimized"), false));
    const bool trayAvailable = m_trayProbe && m_trayProbe();
    // Without a tray, a hidden window could not be brought back.
    if (wanted && !trayAvailable)
        m_closeToTray = false;

    // While the tray icon is there the application lives on with every window closed
    // (for example after a note window opened from the command line); Quit ends it.
    QApplication::setQuitOnLastWindowClosed(!(wanted && trayAvailable));
    if (!wanted) {
        if (m_trayIcon) {
            m_trayIcon->hide();
            m_trayIcon->deleteLater();
            m_trayIcon = nullptr;
            m_trayToggleAction = nullptr;
        }
        return;
    }
    if (m_trayIcon) {
        m_trayIcon->show();
        return;
    }

    const QPixmap appIcon(QStringLiteral(":/icons/app-icon.png"));
    QIcon icon = appIcon.isNull() ? windowIcon() : QIcon(appIcon);
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_FileIcon);

    m_trayIcon = new QSystemTrayIcon(icon, this);
    m_trayIcon->setToolTip(tr("Ombrel Notes"));
    auto *menu = new QMenu(this);
    m_trayIcon->setContextMenu(menu);
    connect(m_trayIcon, &QObject::destroyed, menu, &QObject::deleteLater);
    m_trayToggleAction = menu->addAction(tr("Hide Ombrel Notes"));
    m_trayToggleAction->setObjectName(QStringLiteral("trayToggleAction"));
    connect(m_trayToggleAction, &QAction::triggered, this, &MainWindow::toggleFromTray);
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateTrayMenu);
    menu->addSeparator();
    connect(menu->addAction(tr("New Note")), &QAction::triggered, this,
            [this] { m_appState->openNewNoteWindow(); });
    connect(menu->addAction(tr("Search…")), &QAction::triggered, this, &MainWindow::showSearchScreen);
    connect(menu->addAction(tr("To-Dos")), &QAction::triggered, this, &MainWindow::showTodosScreen);
    menu->addSeparator();
    connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &MainWindow::quitApplication);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            showFromTray();
    });
    updateTrayMenu();
    m_trayIcon->show();
}

void MainWindow::updateTrayMenu()
{
    if (m_trayToggleAction) {
        m_trayToggleAction->setText(isVisible() && !isMinimized() ? tr("Hide Ombrel Notes")
                                                                  : tr("Show Ombrel Notes"));
    }
}

void MainWindow::showFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::toggleFromTray()
{
    if (isVisible() && !isMinimized() && isActiveWindow())
        hide();
    else
        showFromTray();
}
