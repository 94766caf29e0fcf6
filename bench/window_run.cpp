// One run of the main window, as a user starts it, over SOURCE into DESTINATION, with the choices of the
// window-against-command-line comparison: reduce to a long edge of 1600 px with the smooth filter, the overlay,
// renaming, and the metadata kept without GPS. A 10 ms timer on the window's thread notes how late each of its
// ticks comes while the run goes on: a late tick is a window that neither repaints nor answers a click.
// The reference, in the same run of the benchmark: the window idle while COMMAND (vellumar-batch doing the same
// work) runs beside it, so that the machine's own load shows apart from what the window's run adds.
// Usage: vellumar-bench-window SOURCE DESTINATION
//        vellumar-bench-window --beside COMMAND [ARGUMENT...]
// Prints: "seconds S ticks N p50 A p99 B max C last LINE" (lateness in milliseconds; LINE the run's closing
// line, or "beside" and the command's exit status).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "engine/pixel_size.h"
#include "mainwindow/frm_main.h"

namespace
{

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

template<typename T>
T *Control(const QWidget &window, const char *name)
{
    T *control = window.findChild<T *>(QString::fromLatin1(name));
    if (control == nullptr) {
        std::fprintf(stderr, "vellumar-bench-window: no control %s\n", name);
        std::exit(2);
    }
    return control;
}

} // namespace

int main(int argc, char *argv[])
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const bool beside = argc >= 3 && qstrcmp(argv[1], "--beside") == 0;
    if (argc != 3 && !beside) {
        std::fprintf(stderr, "usage: vellumar-bench-window SOURCE DESTINATION | --beside COMMAND [ARGUMENT...]\n");
        return 2;
    }
    using namespace vellumar;
    TfrmMain window;
    QStringList answers;
    if (!beside)
        answers = QStringList { QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]) };
    window.SetFolderChooser([&answers](const QString &) -> std::optional<QString> {
        return answers.isEmpty() ? std::nullopt : std::optional<QString>(answers.takeFirst());
    });
    window.show();
    Control<QToolButton>(window, "btnSrcFolder")->click();
    Control<QToolButton>(window, "btnDestFolder")->click();
    Control<QCheckBox>(window, "cbResize")->click();
    Control<QCheckBox>(window, "cbRename")->click();
    Control<QCheckBox>(window, "cbOverlay")->click();
    Control<QComboBox>(window, "cbMetadata")->setCurrentIndex(2);
    window.SetResizeOptions({ .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 1600 });

    QElapsedTimer clock;
    clock.start();
    std::vector<double> lateness;
    qint64 lastTick = 0;
    qint64 started = -1;
    qint64 ended = -1;
    QProcess command;
    const auto noteEnd = [&] {
        const bool running = beside ? command.state() != QProcess::NotRunning : window.Running();
        if (started >= 0 && ended < 0 && !running) {
            ended = clock.nsecsElapsed();
            app.quit();
        }
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (started >= 0 && ended < 0)
            lateness.push_back(std::max(0.0, double(now - lastTick) / 1e6 - 10.0));
        lastTick = now;
        noteEnd();
    });
    QTimer::singleShot(200, [&] {
        started = clock.nsecsElapsed();
        lastTick = started;
        tick.start();
        if (beside) {
            QStringList arguments;
            for (int i = 3; i < argc; ++i)
                arguments << QString::fromLocal8Bit(argv[i]);
            command.setProcessChannelMode(QProcess::ForwardedChannels);
            command.start(QString::fromLocal8Bit(argv[2]), arguments);
            command.waitForStarted();
            return;
        }
        // A window whose Start returns only at the run's end has ended here.
        Control<QPushButton>(window, "btnProcess")->click();
        noteEnd();
    });
    app.exec();

    const QStringList lines = window.StatusLog().Lines();
    QString last = beside ? QStringLiteral("beside %1").arg(command.exitCode()) : QString();
    for (const QString &line : lines) {
        if (line == QLatin1String("FINISHED") || line == QLatin1String("Processing ABORTED !"))
            last = line;
    }
    std::printf("seconds %.3f ticks %zu p50 %.1f p99 %.1f max %.1f last %s\n",
        double(ended - started) / 1e9,
        lateness.size(),
        Percentile(lateness, 0.5),
        Percentile(lateness, 0.99),
        lateness.empty() ? 0.0 : *std::max_element(lateness.begin(), lateness.end()),
        last.isEmpty() ? "none" : qPrintable(last));
    return last == QLatin1String(beside ? "beside 0" : "FINISHED") ? 0 : 1;
}
