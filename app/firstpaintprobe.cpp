#include "firstpaintprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace {

// Taken before main() runs: as close to the start of the process as Qt-free code gets.
const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();

} // namespace

bool FirstPaintProbe::requested()
{
    return qEnvironmentVariableIntValue("OMBREL_EXIT_AFTER_FIRST_PAINT") == 1;
}

void FirstPaintProbe::watch(QWidget *window)
{
    window->installEventFilter(new FirstPaintProbe(window));
}

double FirstPaintProbe::msSinceProcessStart()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - processStart).count();
}

FirstPaintProbe::FirstPaintProbe(QWidget *window)
    : QObject(window)
{
}

bool FirstPaintProbe::eventFilter(QObject *watched, QEvent *event)
{
    // The window paints first, its children in the same pass, then the frame is flushed;
    // the queued call runs once that pass is over.
    if (!m_painted && event->type() == QEvent::Paint) {
        m_painted = true;
        QMetaObject::invokeMethod(this, &FirstPaintProbe::report, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void FirstPaintProbe::report()
{
    std::printf("first-paint-ms %.3f\n", msSinceProcessStart());
    std::fflush(stdout);
    QCoreApplication::exit(0);
}
