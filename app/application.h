#pragma once

#include <QApplication>

class AppState;
class SingleInstance;

// The program's entry: application identity, fonts, the single-instance guard and the
// start-up order.
class Application : public QApplication
{
    Q_OBJECT

public:
    static constexpr char InstanceServerName[] = "ombrel-notes-instance";

    Application(int &argc, char **argv);

    int run();

    AppState *appState() const { return m_appState; }
    SingleInstance *singleInstance() const { return m_singleInstance; }

private:
    void handleInstanceMessage(const QString &message);

    AppState *m_appState = nullptr;
    SingleInstance *m_singleInstance = nullptr;
};
