#pragma once

#include <QApplication>
#include <QPointer>

class AppState;
class MainWindow;
class SingleInstance;

// The program's entry: application identity, fonts, the single-instance guard and the
// start-up order.
class Application : public QApplication
{
    Q_OBJECT

public:
    static constexpr char InstanceServerName[] = "ombrel-notes-instance";

    Application(int &argc, char **argv);
    ~Application() override;

    int run();

    AppState *appState() const { return m_appState; }
    SingleInstance *singleInstance() const { return m_singleInstance; }
    MainWindow *mainWindow() const;

private:
    void handleInstanceMessage(const QString &message);
    void focusMainWindow();
    void restoreWindowsOfLastRun();
    void showDatabaseError();
    void showReadOnlyNotice();

    AppState *m_appState = nullptr;
    QPointer<MainWindow> m_mainWindow;
    SingleInstance *m_singleInstance = nullptr;
};
