// The floor for a cold start: a bare Qt widgets window of the main window's shape, which
// prints "first-paint-ms <ms since the process began>" after its first painted frame and quits.
#include <QApplication>
#include <QListWidget>
#include <QSplitter>
#include <QTextEdit>
#include <QTimer>

#include <chrono>
#include <cstdio>

static const auto processStart = std::chrono::steady_clock::now();

struct FirstPaint : QObject {
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !std::exchange(painted, true))
            QTimer::singleShot(0, this, [] {
                std::printf("first-paint-ms %.3f\n",
                            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - processStart).count());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        return false;
    }
    bool painted = false;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QSplitter window;
    auto *sidebar = new QListWidget(&window);
    sidebar->addItems({QStringLiteral("All Notes"), QStringLiteral("Trash")});
    auto *list = new QListWidget(&window);
    for (int i = 0; i < 12; ++i)
        list->addItem(QStringLiteral("Note %1").arg(i));
    (new QTextEdit(&window))->setPlainText(QStringLiteral("A note\nwith two lines"));
    FirstPaint probe;
    window.installEventFilter(&probe);
    window.resize(1280, 800);
    window.show();
    return app.exec();
}
