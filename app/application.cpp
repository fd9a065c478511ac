#include "application.h"

#include "applog.h"
#include "appstate.h"
#include "paths.h"
#include "singleinstance.h"

#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Ombrel"));
    setOrganizationDomain(QStringLiteral("ombrel.app"));
    setApplicationName(QStringLiteral("Notes"));
    setApplicationVersion(QStringLiteral("1.0.3"));

    for (const char *font : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                             ":/fonts/IBMPlexMono-Medium.ttf", ":/fonts/MaterialIcons-Regular.otf"}) {
        if (QFontDatabase::addApplicationFont(QLatin1String(font)) < 0)
            qCWarning(lcApp) << "Could not load font" << font;
    }
    setWindowIcon(QIcon(QStringLiteral(":/icons/app-icon.png")));
}

int Application::run()
{
    m_singleInstance = new SingleInstance(QLatin1String(InstanceServerName), this);
    if (!m_singleInstance->tryRun(buildInstanceMessage(arguments())))
        return 0;

    m_appState = new AppState(this);
    if (!m_appState->initialize()) {
        QMessageBox::critical(nullptr, tr("Database Error"),
                              tr("Failed to initialize the database.\n\nData directory: %1\n\n"
                                 "Please check file permissions and try again.")
                                  .arg(dataDirectory()),
                              QMessageBox::Ok);
        return 1;
    }

    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::handleInstanceMessage);

    return exec();
}

void Application::handleInstanceMessage(const QString &message)
{
    qCInfo(lcApp) << "Instance message received:" << message;
}
