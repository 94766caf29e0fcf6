#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>

#include <QDir>
#include <QGuiApplication>

#include <unistd.h>

#include "cli/options.h"
#include "cli/progress_bar.h"
#include "engine/batch_run.h"
#include "engine/dry_run.h"
#include "engine/fixed_job.h"
#include "engine/folder_rules.h"
#include "engine/job_settings.h"
#include "engine/preset.h"
#include "engine/run_plan.h"
#include "engine/run_report.h"
#include "engine/source_list.h"
#include "engine/status_log.h"
#include "imaging/dialog_font.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "version/app_metadata.h"
#include "version/version_info.h"

namespace vellumar
{

namespace
{

enum TExitCode { kExitOk = 0, kExitImageFailed = 1, kExitUsage = 2, kExitFolder = 3, kExitSignalBase = 128 };

// The first stop signal's number. Set in a handler on any thread and read by the run's thread: a lock-free
// atomic is both signal-safe and visible across threads.
std::atomic<int> gInterrupted { 0 };
static_assert(std::atomic<int>::is_always_lock_free);
constexpr std::array kStopSignals { SIGINT, SIGTERM, SIGHUP };

// The first signal stops the run between images, like Stop in the window. A second one ends the program
// at once by its default action, after removing the named temporary file of any write in flight.
extern "C" void OnStopSignal(int signal)
{
    int none = 0;
    if (gInterrupted.compare_exchange_strong(none, signal))
        return;
    RemovePendingTemporaryFiles();
    struct sigaction fallback {
    };
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

void HandleStopSignals()
{
    struct sigaction action {
    };
    action.sa_handler = OnStopSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        ::sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

void PrintLine(std::FILE *stream, const QString &line)
{
    // Names in a line are shown escaped, so that one cannot forge another line.
    const QByteArray bytes = PrintableName(line).toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

// Writes one log line to standard output at once; false when its reader has gone (a closed pipe).
bool PrintLogLine(const QString &line)
{
    errno = 0;
    PrintLine(stdout, line);
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
        return true;
    const bool closed = errno == EPIPE;
    std::clearerr(stdout);
    return !closed;
}

// Prints every log line as it comes, keeps the log and the per-photo records for the reports, and keeps a
// progress bar on a terminal.
class TCliSink : public TRunSink
{
public:
    TCliSink(TStatusLog &log, bool quiet, bool progress)
        : mLog(log)
        , mQuiet(quiet)
        , mBar(STDERR_FILENO, progress)
        , mLinesOnBarTerminal(::isatty(STDOUT_FILENO) != 0)
    {
    }
    TCliSink(const TCliSink &) = delete;
    TCliSink &operator=(const TCliSink &) = delete;

    void AddStatusLine(const QString &line) override
    {
        mLog.AddStatusLine(line);
        if (mQuiet || mOutputClosed)
            return;
        // On a shared terminal the bar leaves the line to the log and comes back below it.
        if (mLinesOnBarTerminal)
            mBar.Erase();
        if (!PrintLogLine(line)) {
            // The log's reader went away (`| head`): a stop like Ctrl-C, so that the photo in hand is
            // finished and the reports are written; the rest of the log goes only to them.
            mOutputClosed = true;
            int none = 0;
            gInterrupted.compare_exchange_strong(none, SIGPIPE);
        }
        mBar.Refresh();
    }
    void SetProgress(int) override { }
    void ProcessPendingEvents() override
    {
        // The run writes "Aborting...", or finishes when no photo was left to start.
        if (gInterrupted.load() != 0)
            mStopRequested = true;
    }
    [[nodiscard]] bool StopRequested() const override { return mStopRequested; }
    void ClearStopRequest() override { mStopRequested = false; }
    void ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome) override
    {
        mRecorder.Add(position, task, outcome);
        const TPixelSize decoded = outcome.SourceSize.value_or(TPixelSize {});
        mBar.Advance(double(decoded.Width) * decoded.Height / 1e6);
    }

    void Start(const TJob &job, TShard shard)
    {
        mRecorder.Start(job, shard, ProgramVersionOrEmpty());
        mBar.Start(shard.Size(int(job.SourceNames.size())));
    }
    void EraseProgress() { mBar.Erase(); }
    /** aborted: whether the run stopped before its last photo (TRunSummary::Stopped). */
    [[nodiscard]] TRunReport Report(bool aborted) const { return mRecorder.Finish(aborted); }

private:
    static QString ProgramVersionOrEmpty()
    {
        try {
            return ProgramVersionText();
        } catch (const Exception &) {
            // A missing version block leaves the report's version empty; the run itself does not need it.
            return {};
        }
    }

    TStatusLog &mLog;
    bool mQuiet;
    TProgressBar mBar;
    bool mLinesOnBarTerminal;
    TReportRecorder mRecorder;
    bool mStopRequested = false;
    bool mOutputClosed = false;
};

// --dry-run: one line per photo of the plan, then the clashes. Exit 0 when the run could start, else 2.
int PrintDryRun(const TJob &job, TShard shard, const std::vector<TOtherOutput> &reports)
{
    // The photos' clashes, then those of the reports the run would write.
    const TDryRun plan = PlanDryRun(job, shard, reports);
    const auto size = [](const std::optional<TPixelSize> &pixels) {
        return pixels ? QStringLiteral("%1x%2").arg(pixels->Width).arg(pixels->Height) : QStringLiteral("?");
    };
    for (const TPlanRow &row : plan.Rows) {
        QString line =
            QStringLiteral("%1 of %2: %3").arg(row.Position + 1).arg(job.SourceNames.size()).arg(row.SourceName);
        if (row.OutputName.isEmpty()) {
            PrintLine(stdout, line + QStringLiteral("  (nothing to write)"));
            continue;
        }
        line += QStringLiteral(" -> ") + row.OutputName;
        if (!row.Problem.isEmpty())
            line += QStringLiteral("  ERROR: ") + row.Problem;
        else
            line += QStringLiteral("  %1 -> %2").arg(size(row.SourceSize), size(row.PlannedSize));
        if (row.Skipped)
            line += QStringLiteral("  ") + SkippedText();
        else if (row.Replaces != TReplaces::Nothing)
            line += QStringLiteral("  replaces ") + ReplacesText(row.Replaces);
        PrintLine(stdout, line);
        for (const TVariantTask &variant : row.Variants)
            PrintLine(stdout,
                QStringLiteral("    + %1/%2  %3").arg(variant.Name, row.OutputName, size(variant.PlannedSize)));
    }
    if (plan.Clashes.isEmpty())
        return kExitOk;
    PrintLine(stdout,
        QStringLiteral("Refused: nothing would be written; these outputs would overwrite photos of this run:"));
    for (const QString &clash : plan.Clashes)
        PrintLine(stdout, QStringLiteral("  ") + clash);
    return kExitUsage;
}

// The reports a run writes, each checked like one more output of the run.
std::vector<TOtherOutput> ReportOutputs(const TBatchOptions &options)
{
    std::vector<TOtherOutput> reports;
    for (const auto &[label, path] : { std::pair { "--report", options.ReportFile },
             std::pair { "--report-json", options.ReportJson },
             std::pair { "--report-csv", options.ReportCsv },
             std::pair { "--save-preset", options.SavePreset } }) {
        if (!path.isEmpty())
            reports.push_back({ QString::fromLatin1(label), path });
    }
    return reports;
}

void PrintRefusal(const QStringList &clashes)
{
    PrintLine(stderr,
        QStringLiteral("vellumar-batch: nothing was written; these outputs would overwrite photos of this run:"));
    for (const QString &clash : clashes)
        PrintLine(stderr, QStringLiteral("  ") + clash);
}

// --save-preset: the settings as given; false, with the reason printed, when the file cannot be written.
bool SavePreset(const TBatchOptions &options)
{
    try {
        SavePresetFile(options.SavePreset, options.Job);
        return true;
    } catch (const Exception &error) {
        PrintLine(stderr, QStringLiteral("vellumar-batch: --save-preset: ") + error.Message());
        return false;
    }
}

// The job the options describe, over the listing and into destination.
TJob JobFromOptions(const TBatchOptions &options, const TSourceList &list, const QString &destination)
{
    TJob job = options.Job;
    job.SourceFolder = list.ListFolder();
    job.SourceNames = NamesOutsideDestination(list.Names(), list.ListFolder(), destination);
    job.DestinationFolder = destination;
    return job;
}

// --merge-reports: the shards' JSON reports as the single run's. Nothing is written unless they all fit.
int MergeReportFiles(const QString &output, const QStringList &inputs)
{
    std::vector<TOtherOutput> read;
    for (const QString &input : inputs)
        read.push_back({ input, input });
    if (const QStringList clashes = FileClashes(read, { { QStringLiteral("--merge-reports"), output } });
        !clashes.isEmpty()) {
        PrintLine(stderr,
            QStringLiteral("vellumar-batch: --merge-reports: nothing was written: ")
                + clashes.join(QStringLiteral("; ")));
        return kExitUsage;
    }
    std::vector<TRunReport> reports;
    try {
        for (const QString &input : inputs)
            reports.push_back(TRunReport::LoadJson(input));
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
    // A preset alone; a dry run writes nothing, the preset included.
    if (options.Source.isEmpty())
        return options.DryRun || SavePreset(options) ? kExitOk : kExitImageFailed;

    TSourceList list;
    list.SetRecursive(options.Job.Recursive);
    try {
        list.ChangeListFolder(options.Source);
    } catch (const Exception &error) {
        PrintLine(stderr,
            QStringLiteral("vellumar-batch: cannot read the source folder %1: %2")
                .arg(options.Source, error.Message()));
        return kExitFolder;
    }
    const QString destination = QDir::cleanPath(QDir(options.Destination).absolutePath());
    const TShard shard = options.Shard.value_or(TShard {});
    const std::vector<TOtherOutput> reports = ReportOutputs(options);
    TFixedJob job(JobFromOptions(options, list, destination + QLatin1Char('/')));
    if (options.DryRun)
        return PrintDryRun(job.Snapshot(), shard, reports);
    // The whole plan, reports included, is checked before anything is made: a refused run leaves no trace.
    if (const QStringList clashes = PlanClashes(job.Snapshot(), reports); !clashes.isEmpty()) {
        PrintRefusal(clashes);
        return kExitUsage;
    }
    std::error_code made;
    std::filesystem::create_directories(ToPath(destination), made);
    if (made || !DirectoryExists(destination)) {
        // A file in the way makes no error of its own, but is no folder either.
        const QString reason = made ? QString::fromStdString(made.message()) : SystemReason(ENOTDIR);
        PrintLine(stderr,
            QStringLiteral("vellumar-batch: ")
                + WithReason(QStringLiteral("cannot create the destination folder %1").arg(destination), reason));
        return kExitFolder;
    }
    // Checked like a report, and saved before the first photo: a run that is stopped can be run again.
    if (!options.SavePreset.isEmpty() && !SavePreset(options))
        return kExitImageFailed;

    TStatusLog log;
    TCliSink sink(log, options.Quiet, !options.NoProgress);
    for (const QString &line : SourceFolderLines(list))
        sink.AddStatusLine(line);
    if (NameSameFolder(destination, list.ListFolder())) {
        for (const QString &line : SameFolderWarningLines())
            PrintLine(stderr, line);
    }
    sink.AddStatusLine(DestinationFolderLine(destination));

    const int jobs = options.Jobs > 0 ? options.Jobs : int(std::max(1u, std::thread::hardware_concurrency()));
    TRunSummary summary;
    // Kept until the program ends, so that a signal while the report is written is handled too.
    HandleStopSignals();
    try {
        sink.Start(job.Snapshot(), shard);
        summary = RunBatch(job, sink, jobs, shard, options.MemoryBudget);
        sink.EraseProgress();
    } catch (const ERunRefused &refused) {
        sink.EraseProgress();
        PrintRefusal(refused.Clashes());
        return kExitUsage;
    }

    // Whether the run stopped early decides, not whether a signal came: the log's last word, the
    // report and the status then agree.
    int status =
        summary.Stopped ? kExitSignalBase + gInterrupted.load() : (summary.Failed > 0 ? kExitImageFailed : kExitOk);
    const auto save = [&status](const QString &path, const std::function<void(const QString &)> &write) {
        if (path.isEmpty())
            return;
        try {
            write(path);
        } catch (const Exception &error) {
            PrintLine(stderr, QStringLiteral("vellumar-batch: ") + error.Message());
            status = std::max(status, int(kExitImageFailed));
        }
    };
    save(options.ReportFile, [&log](const QString &path) {
        log.SaveStatusReport(path);
    });
    if (!options.ReportJson.isEmpty() || !options.ReportCsv.isEmpty()) {
        const TRunReport report = sink.Report(summary.Stopped);
        save(options.ReportJson, [&report](const QString &path) {
            report.SaveJson(path);
        });
        save(options.ReportCsv, [&report](const QString &path) {
            report.SaveCsv(path);
        });
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

// While the runtime folder is shielded at start-up, Qt reports (as critical) the folder it could not make.
void QuietStartUpMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("QStandardPaths: ")))
        QuietMessages(type, context, message);
}

} // namespace

} // namespace vellumar

int main(int argc, char *argv[])
{
    // A closed standard output is found as EPIPE on the next log line and stops the run like Ctrl-C;
    // the signal would kill the program before the reports are written.
    struct sigaction ignore {
    };
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
    // Fonts need a GUI application, never a display: the run works on a machine without one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(vellumar::QuietMessages);
    // Without XDG_RUNTIME_DIR, Qt's start-up looks for a sandbox marker in the runtime folder and so
    // creates TMPDIR/runtime-<user>; the command line needs no such folder and must create nothing it
    // was not asked for. Under a TMPDIR that cannot hold a folder the look-up finds none, and the
    // user's TMPDIR is back before anything else runs.
    const bool shieldRuntimeFolder = !qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const std::optional<QByteArray> userTmpDir =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    if (shieldRuntimeFolder) {
        qputenv("TMPDIR", "/dev/null");
        qInstallMessageHandler(vellumar::QuietStartUpMessages);
    }
    QGuiApplication app(argc, argv);
    if (shieldRuntimeFolder) {
        qInstallMessageHandler(vellumar::QuietMessages);
        if (userTmpDir)
            qputenv("TMPDIR", *userTmpDir);
        else
            qunsetenv("TMPDIR");
    }
    vellumar::ApplyAppMetadata();
    // The same face substitutions as the window, so both draw an overlay alike.
    vellumar::InstallDialogFontSubstitutes();
    // A name that is not UTF-8 would be read as another name, and so another folder or file.
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QString::fromUtf8(raw).toUtf8() != raw) {
            std::fprintf(stderr,
                "vellumar-batch: argument %d is not valid UTF-8; file and folder names must be UTF-8\n",
                i);
            return vellumar::kExitUsage;
        }
    }
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return vellumar::Run(arguments);
}
