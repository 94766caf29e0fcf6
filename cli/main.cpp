#include <csignal>
#include <cstdio>
#include <thread>

#include <QDir>
#include <QGuiApplication>

#include <unistd.h>

#include "cli/options.h"
#include "engine/batch_run.h"
#include "engine/job_settings.h"
#include "engine/run_report.h"
#include "engine/source_list.h"
#include "engine/status_log.h"
#include "imaging/file_io.h"
#include "shell/app_metadata.h"
#include "shell/dialog_font.h"
#include "shell/version_info.h"

namespace vellumar
{

namespace
{

enum TExitCode { kExitOk = 0, kExitImageFailed = 1, kExitUsage = 2, kExitFolder = 3, kExitStopped = 130 };

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

void PrintLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

class TCliOverlay : public TOverlaySettingsProvider
{
public:
    explicit TCliOverlay(TOverlaySettings settings)
        : mSettings(std::move(settings))
    {
    }
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override { return mSettings; }

private:
    TOverlaySettings mSettings;
};

// The command line's settings never change during a run, so each value is simply read from the options.
class TCliJob : public TJobSource
{
public:
    TCliJob(const TBatchOptions &options, const TSourceList &list, QString destination)
        : mOptions(options)
        , mList(list)
        , mDestination(std::move(destination))
        , mOverlay(options.OverlaySettings)
    {
        mNamer.SetPrefix(options.Prefix);
        mNamer.SetSuffix(options.Suffix);
        mNamer.SetNumber(options.Number);
        mNamer.SetPadding(options.Padding);
    }
    [[nodiscard]] QString SourceFolder() const override { return mList.ListFolder(); }
    [[nodiscard]] QStringList SourceNames() const override { return mList.Names(); }
    [[nodiscard]] QString DestinationFolder() const override { return mDestination; }
    [[nodiscard]] bool ResizeOn() const override { return mOptions.Resize; }
    [[nodiscard]] int ResizePercent() const override { return mOptions.ResizePercent; }
    [[nodiscard]] int Quality() const override { return mOptions.Quality; }
    [[nodiscard]] bool RenameOn() const override { return mOptions.Rename; }
    [[nodiscard]] QString SampleName() const override { return mNamer.SampleName(); }
    void AdvanceNumber() override { mNamer.Advance(); }
    [[nodiscard]] bool OverlayOn() const override { return mOptions.Overlay; }
    [[nodiscard]] const TOverlaySettingsProvider &Overlay() const override { return mOverlay; }

private:
    const TBatchOptions &mOptions;
    const TSourceList &mList;
    QString mDestination;
    TOutputNamer mNamer;
    TCliOverlay mOverlay;
};

// Prints every log line as it comes, keeps the log for the report, and draws a progress bar on a terminal.
class TCliSink : public TRunSink
{
public:
    TCliSink(TStatusLog &log, bool quiet)
        : mLog(log)
        , mQuiet(quiet)
        , mProgressBar(!quiet && ::isatty(2) != 0)
    {
    }
    ~TCliSink() override { ClearProgressBar(); }
    TCliSink(const TCliSink &) = delete;
    TCliSink &operator=(const TCliSink &) = delete;

    void AddStatusLine(const QString &line) override
    {
        mLog.AddStatusLine(line);
        if (line.startsWith(QLatin1String("ERROR: ")) || line.startsWith(QLatin1String("Overlay ERROR: ")))
            mFailures = true;
        if (mQuiet)
            return;
        ClearProgressBar();
        PrintLine(stdout, line);
        std::fflush(stdout);
        DrawProgressBar();
    }
    void SetProgress(int percent) override
    {
        mPercent = percent;
        DrawProgressBar();
    }
    void ProcessPendingEvents() override
    {
        if (gInterrupted != 0 && !mStopRequested) {
            mStopRequested = true;
            mStopped = true;
            AddStatusLine(QStringLiteral("Aborting..."));
        }
    }
    [[nodiscard]] bool StopRequested() const override { return mStopRequested; }
    void ClearStopRequest() override { mStopRequested = false; }

    [[nodiscard]] bool Failures() const { return mFailures; }
    [[nodiscard]] bool Stopped() const { return mStopped; }

private:
    void DrawProgressBar()
    {
        if (!mProgressBar || mPercent <= 0)
            return;
        constexpr int kWidth = 40;
        const int filled = mPercent * kWidth / 100;
        std::fprintf(stderr,
            "\r[%s%s] %3d%%",
            QByteArray(filled, '#').constData(),
            QByteArray(kWidth - filled, '.').constData(),
            mPercent);
        std::fflush(stderr);
        mBarShown = true;
    }
    void ClearProgressBar()
    {
        if (mBarShown) {
            std::fputs("\r\033[K", stderr);
            mBarShown = false;
        }
    }

    TStatusLog &mLog;
    bool mQuiet;
    bool mProgressBar;
    bool mBarShown = false;
    int mPercent = 0;
    bool mStopRequested = false;
    bool mStopped = false;
    bool mFailures = false;
};

// Equal texts (ASCII case ignored, trailing separators dropped), or one directory on disk.
bool NameSameFolder(const QString &first, const QString &second)
{
    const auto trimmed = [](QString text) {
        while (text.endsWith(QLatin1Char('/')))
            text.chop(1);
        return text;
    };
    if (first.isEmpty() || second.isEmpty())
        return false;
    if (trimmed(first).compare(trimmed(second), Qt::CaseInsensitive) == 0)
        return true;
    const QFileInfo a(first);
    const QFileInfo b(second);
    return a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath();
}

// --merge-reports: the shards' JSON reports as the single run's. Nothing is written unless they all fit.
int MergeReportFiles(const QString &output, const QStringList &inputs)
{
    std::vector<TRunReport> reports;
    try {
        for (const QString &input : inputs) {
            const std::vector<std::uint8_t> bytes = ReadWholeFile(input);
            reports.push_back(
                TRunReport::FromJson(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
                    input));
        }
        const TRunReport merged = MergeReports(reports);
        try {
            merged.SaveJson(output);
        } catch (const Exception &error) {
            PrintLine(stderr, QStringLiteral("vellumar-batch: ") + error.Message());
            return kExitImageFailed;
        }
    } catch (const Exception &error) {
        PrintLine(stderr, QStringLiteral("vellumar-batch: --merge-reports: ") + error.Message());
        return kExitUsage;
    }
    return kExitOk;
}

int Run(const QStringList &arguments)
{
    TBatchOptions options;
    try {
        options = ParseBatchOptions(arguments, DefaultOverlaySettings());
    } catch (const EUsageError &error) {
        PrintLine(stderr, QStringLiteral("vellumar-batch: ") + error.Message());
        return kExitUsage;
    }
    if (options.Help) {
        std::fputs(BatchUsage().toUtf8().constData(), stdout);
        return kExitOk;
    }
    if (options.Version) {
        try {
            PrintLine(stdout, ProgramVersionText());
            return kExitOk;
        } catch (const Exception &error) {
            PrintLine(stderr, QStringLiteral("vellumar-batch: ") + error.Message());
            return kExitImageFailed;
        }
    }

    if (!options.MergeOutput.isEmpty())
        return MergeReportFiles(options.MergeOutput, options.MergeInputs);

    TSourceList list;
    try {
        list.ChangeListFolder(options.Source);
    } catch (const Exception &error) {
        PrintLine(stderr,
            QStringLiteral("vellumar-batch: cannot read the source folder %1: %2")
                .arg(options.Source, error.Message()));
        return kExitFolder;
    }
    const QString destination = QDir::cleanPath(QDir(options.Destination).absolutePath());
    if (!QDir().mkpath(destination)) {
        PrintLine(stderr, QStringLiteral("vellumar-batch: cannot create the destination folder %1").arg(destination));
        return kExitFolder;
    }

    TStatusLog log;
    TCliSink sink(log, options.Quiet);
    sink.AddStatusLine(QStringLiteral("Source Folder is: ") + list.ListFolder());
    sink.AddStatusLine(QStringLiteral("Images Found: %1").arg(list.Count()));
    if (NameSameFolder(destination, list.ListFolder())) {
        PrintLine(stderr, QStringLiteral("Destination and source folders are the same."));
        PrintLine(stderr, QStringLiteral("If source files are to be re-sized without"));
        PrintLine(stderr, QStringLiteral("being re-named then files WILL be overwritten"));
    }
    sink.AddStatusLine(QStringLiteral("Destination Folder is: ") + destination);

    TCliJob job(options, list, destination + QLatin1Char('/'));
    const int jobs = options.Jobs > 0 ? options.Jobs : int(std::max(1u, std::thread::hardware_concurrency()));
    std::signal(SIGINT, OnInterrupt);
    RunBatchParallel(job, sink, jobs);
    std::signal(SIGINT, SIG_DFL);

    int status = sink.Stopped() ? kExitStopped : (sink.Failures() ? kExitImageFailed : kExitOk);
    if (!options.ReportFile.isEmpty()) {
        try {
            log.SaveStatusReport(options.ReportFile);
        } catch (const Exception &error) {
            PrintLine(stderr, QStringLiteral("vellumar-batch: ") + error.Message());
            status = std::max(status, int(kExitImageFailed));
        }
    }
    return status;
}

// Qt's own notices (a missing runtime folder and the like) are noise on a command line; only
// critical messages reach standard error.
void QuietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        PrintLine(stderr, message);
}

} // namespace

} // namespace vellumar

int main(int argc, char *argv[])
{
    // Fonts need a GUI application, never a display: the run works on a machine without one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(vellumar::QuietMessages);
    QGuiApplication app(argc, argv);
    vellumar::ApplyAppMetadata();
    // The same face substitutions as the window, so both draw an overlay alike.
    vellumar::InstallDialogFontSubstitutes();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return vellumar::Run(arguments);
}
