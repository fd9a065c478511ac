#pragma once

#include <QObject>

class QWidget;

// Start-up measurement: when OMBREL_EXIT_AFTER_FIRST_PAINT is set, the application prints
// "first-paint-ms <ms since the process began>" once the main window has painted its first
// frame, and quits. Benchmarks launch the real executable with it; nothing else does.
class FirstPaintProbe : public QObject
{
    Q_OBJECT

public:
    static bool requested();
    // Watches window; owned by it.
    static void watch(QWidget *window);
    // Milliseconds since this process's static initialisation.
    static double msSinceProcessStart();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FirstPaintProbe(QWidget *window);
    void report();

    bool m_painted = false;
};
