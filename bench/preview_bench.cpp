// How soon the preview shows a large photo, against the run's own work for it measured in the same round.
// Usage: vellumar-bench-preview PHOTO [ROUNDS]   (default 7)
// For each of three settings, every round times:
//   run     MakeOutput alone: the bytes a run writes for the photo, the floor of any preview of them;
//   before  the preview as it was made before it was split: the source decoded at full size, the output made,
//           decoded at full size, and the whole run's estimate from five sampled photos (here the same photo),
//           all one after another before anything was shown;
//   source  the source side now (a reduced decode), on one thread while
//   output  the output side now (the output made and decoded for showing) runs on another, from the same start;
//   fit     the window's one smooth scaling of that output to a 860 x 540 pane (Fit).
// It prints the medians in seconds of wall time and, per round, the ratio of each to run (their medians); then
// the medians of the CPU time each part took on its own thread, which a busy machine does not inflate, with
// before split into its parts: the source's full decode, the output, its full decode, the four other samples.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <QGuiApplication>

#include "engine/batch_run.h"
#include "engine/output_preview.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "overlay/overlay_settings.h"

namespace
{

using namespace vellumar;
using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start)
{
    return std::chrono::duration<double>(TClock::now() - start).count();
}

// CPU time of the calling thread, in seconds.
double ThreadCpu()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct TCase {
    const char *Name;
    TImageTask Task;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vellumar-bench-preview PHOTO [ROUNDS]\n");
        return 2;
    }
    const QString photo = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(3, std::atoi(argv[2])) : 7;

    TImageTask base;
    base.ListedName = QStringLiteral("photo.jpg");
    base.SourcePath = photo;
    base.DestinationPath = QStringLiteral("/nonexistent/photo.jpg");
    base.OverlaySettings = DefaultOverlaySettings();
    base.OverlaySettings.Text = QStringLiteral("\u00a9 2026 Vellumar\r\n");
    base.OverlaySettings.TextPosition = 8;
    std::vector<TCase> cases(3, TCase { "", base });
    cases[0].Name = "reduce 50 %";
    cases[0].Task.Resize = true;
    cases[1].Name = "long edge 1600, smooth, overlay";
    cases[1].Task.Resize = true;
    cases[1].Task.Overlay = true;
    cases[1].Task.ResizeOptions = { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 1600 };
    cases[2].Name = "overlay at full size";
    cases[2].Task.Overlay = true;

    struct TCpuRow {
        const char *Name;
        double Run, SourceFull, Made, OutputFull, Samples, Source, Output;
    };
    std::vector<TCpuRow> cpuTable;
    std::printf("%s, %d rounds, %u threads\n", argv[1], rounds, std::thread::hardware_concurrency());
    std::printf("%-34s %8s %8s %8s %8s %8s   %s\n",
        "settings",
        "run s",
        "before",
        "source",
        "output",
        "fit",
        "ratios to run: before source output+fit");
    for (const TCase &c : cases) {
        std::vector<double> run, before, source, output, fit, rBefore, rSource, rOutput;
        std::vector<double> cpuRun, cpuSourceFull, cpuMade, cpuOutputFull, cpuSamples, cpuSource, cpuOutput;
        for (int round = 0; round < rounds; ++round) {
            auto start = TClock::now();
            double cpu = ThreadCpu();
            (void)MakeOutput(c.Task);
            run.push_back(Since(start));
            cpuRun.push_back(ThreadCpu() - cpu);

            start = TClock::now();
            {
                cpu = ThreadCpu();
                TJPEGImage image;
                image.LoadJpegFile(photo);
                const QImage shown = image.TakeBitmap().Image24();
                cpuSourceFull.push_back(ThreadCpu() - cpu);
                cpu = ThreadCpu();
                const TImageOutput made = MakeOutput(c.Task);
                cpuMade.push_back(ThreadCpu() - cpu);
                cpu = ThreadCpu();
                const QImage out = DecodeJpegStream(made.Bytes, false).Image24();
                cpuOutputFull.push_back(ThreadCpu() - cpu);
                cpu = ThreadCpu();
                for (int sample = 1; sample < 5; ++sample)
                    (void)MakeOutput(c.Task);
                cpuSamples.push_back(ThreadCpu() - cpu);
            }
            before.push_back(Since(start));

            start = TClock::now();
            TOutputPreview sourceSide;
            TOutputPreview outputSide;
            double sourceTime = 0;
            double sourceCpu = 0;
            std::thread reader([&] {
                const double readerCpu = ThreadCpu();
                AddSourceView(sourceSide, c.Task);
                sourceTime = Since(start);
                sourceCpu = ThreadCpu() - readerCpu;
            });
            cpu = ThreadCpu();
            AddOutputView(outputSide, c.Task);
            const double outputTime = Since(start);
            cpuOutput.push_back(ThreadCpu() - cpu);
            reader.join();
            cpuSource.push_back(sourceCpu);
            source.push_back(sourceTime);
            output.push_back(outputTime);
            start = TClock::now();
            const QImage fitted =
                outputSide.Output.scaled(QSize(860, 540), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            fit.push_back(Since(start));
            if (!outputSide.Problem.isEmpty() || fitted.isNull()) {
                std::fprintf(stderr, "%s\n", qPrintable(outputSide.Problem));
                return 1;
            }
            rBefore.push_back(before.back() / run.back());
            rSource.push_back(source.back() / run.back());
            rOutput.push_back((output.back() + fit.back()) / run.back());
        }
        std::printf("%-34s %8.3f %8.3f %8.3f %8.3f %8.3f   %.2f %.2f %.2f\n",
            c.Name,
            Median(run),
            Median(before),
            Median(source),
            Median(output),
            Median(fit),
            Median(rBefore),
            Median(rSource),
            Median(rOutput));
        cpuTable.push_back({ c.Name,
            Median(cpuRun),
            Median(cpuSourceFull),
            Median(cpuMade),
            Median(cpuOutputFull),
            Median(cpuSamples),
            Median(cpuSource),
            Median(cpuOutput) });
    }
    std::printf("\nCPU seconds on each part's own thread (medians)\n%-34s %8s | %8s %8s %8s %8s | %8s %8s\n",
        "settings",
        "run",
        "src full",
        "made",
        "out full",
        "samples",
        "source",
        "output");
    for (const TCpuRow &row : cpuTable)
        std::printf("%-34s %8.3f | %8.3f %8.3f %8.3f %8.3f | %8.3f %8.3f\n",
            row.Name,
            row.Run,
            row.SourceFull,
            row.Made,
            row.OutputFull,
            row.Samples,
            row.Source,
            row.Output);
    return 0;
}
