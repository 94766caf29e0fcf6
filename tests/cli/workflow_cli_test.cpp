#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/preset.h"
#include "engine/run_report.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

const QString kBatch = QStringLiteral(VELLUMAR_BATCH_EXE);

struct TRun {
    int ExitCode = -1;
    QStringList Lines;
    QString Errors;
};

TRun Batch(const QStringList &arguments)
{
    QProcess process;
    process.start(kBatch, arguments);
    process.waitForFinished(240000);
    TRun run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void AddPhotos(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        TJpegFixtureOptions options;
        options.Width = 120 + 13 * i;
        options.Height = 80 + 7 * i;
        options.Progressive = i % 3 == 1;
        std::vector<std::uint8_t> bytes = MakeJpeg(options);
        // The third is stored sideways, as a phone held upright stores it: it is planned and written upright.
        if (i == 2)
            bytes = test::WithSegments(bytes, { { 0xE1, test::MakeExif({ .Orientation = 6 }) } });
        QFile file(QStringLiteral("%1/photo%2.jpg").arg(folder).arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    }
}

// Every file of a folder with its bytes, for comparing two folders exactly.
std::map<QString, std::vector<std::uint8_t>> Contents(const QString &folder)
{
    std::map<QString, std::vector<std::uint8_t>> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files[name] = ReadBytes(folder + QLatin1Char('/') + name);
    return files;
}

TRunReport LoadReport(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return TRunReport::FromJson(file.readAll(), path);
}

TEST(WorkflowCli, DryRunWritesNothingAndNamesWhatTheRunWrites)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    const QString destination = dir.File(QStringLiteral("web"));
    AddPhotos(source, 4);
    const auto before = Contents(source);
    const QStringList options { QStringLiteral("--resize"),
        QStringLiteral("40"),
        QStringLiteral("--rename"),
        QStringLiteral("--prefix"),
        QStringLiteral("t_"),
        QStringLiteral("--number"),
        QStringLiteral("8"),
        QStringLiteral("--padding"),
        QStringLiteral("1") };

    const TRun plan = Batch(options + QStringList { QStringLiteral("--dry-run"), source, destination });
    ASSERT_EQ(plan.ExitCode, 0) << plan.Lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(destination));
    EXPECT_EQ(Contents(source), before);

    const QString report = dir.File(QStringLiteral("run.json"));
    ASSERT_EQ(
        Batch(options
            + QStringList { QStringLiteral("--quiet"), QStringLiteral("--report-json"), report, source, destination })
            .ExitCode,
        0);
    const TRunReport run = LoadReport(report);
    ASSERT_EQ(plan.Lines.size(), 4);
    ASSERT_EQ(run.Photos().size(), 4U);
    for (int i = 0; i < 4; ++i) {
        const TPhotoRecord &photo = run.Photos()[std::size_t(i)];
        const QString expected = QStringLiteral("%1 of 4: photo%2.jpg -> %3  %4x%5 -> %6x%7")
                                     .arg(i + 1)
                                     .arg(i, 2, 10, QLatin1Char('0'))
                                     .arg(QFileInfo(photo.OutputPath).fileName())
                                     .arg(photo.SourceSize->Width)
                                     .arg(photo.SourceSize->Height)
                                     .arg(photo.OutputSize->Width)
                                     .arg(photo.OutputSize->Height);
        EXPECT_EQ(plan.Lines[i], expected);
        // The sideways photo was turned by its stored orientation.
        EXPECT_EQ(photo.Orientation, i == 2 ? 6 : 1);
    }
    EXPECT_EQ(run.Summary().Options.value(QStringLiteral("metadata")), QStringLiteral("none"));
    EXPECT_EQ(run.Summary().Options.value(QStringLiteral("rotateUpright")), true);
    EXPECT_EQ(QDir(destination).entryList(QDir::Files),
        (QStringList { "t_08.jpg", "t_09.jpg", "t_10.jpg", "t_11.jpg" }));

    // Into the source folder with new numbers, later photos would be overwritten before they are read.
    const TRun refused = Batch({ QStringLiteral("--dry-run"),
        QStringLiteral("--rename"),
        QStringLiteral("--prefix"),
        QStringLiteral("photo0"),
        QStringLiteral("--number"),
        QStringLiteral("1"),
        source,
        source });
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_TRUE(refused.Lines.contains(
        QStringLiteral("Refused: nothing would be written; these outputs would overwrite photos of this run:")));
    EXPECT_EQ(Contents(source), before);
}

TEST(WorkflowCli, ReportValidatesAndItsCountsMatchTheLog)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    AddPhotos(source, 3);
    dir.WriteText(QStringLiteral("src/broken.jpg"), "not a photo");
    const QString json = dir.File(QStringLiteral("run.json"));
    const TRun run = Batch({ QStringLiteral("--resize"),
        QStringLiteral("50"),
        QStringLiteral("--report-json"),
        json,
        QStringLiteral("--report-csv"),
        dir.File(QStringLiteral("run.csv")),
        source,
        dir.File(QStringLiteral("web")) });
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(test::ReportSchemaViolations(json), QString());

    const QRegularExpressionMatch summary = QRegularExpression(
        QStringLiteral("^Summary: (\\d+) of (\\d+) images done, (\\d+) failed, (\\d+) with warnings"))
                                                .match(run.Lines.last());
    ASSERT_TRUE(summary.hasMatch()) << run.Lines.last().toStdString();
    const TRunReport report = LoadReport(json);
    EXPECT_EQ(report.Summary().Done, summary.captured(1).toInt());
    EXPECT_EQ(report.Summary().Photos, summary.captured(2).toInt());
    EXPECT_EQ(report.Summary().Failed + report.Summary().Warnings, summary.captured(3).toInt());
    EXPECT_EQ(report.Summary().Warnings, summary.captured(4).toInt());
    EXPECT_EQ(report.Summary().Failed, 1);
    const TPhotoRecord &broken = report.Photos()[0];
    EXPECT_TRUE(broken.SourcePath.endsWith(QLatin1String("broken.jpg")));
    EXPECT_TRUE(run.Lines.contains(broken.Message)) << broken.Message.toStdString();
    EXPECT_EQ(ReadBytes(dir.File(QStringLiteral("run.csv"))).empty(), false);
}

// Runs vellumar-batch with standard output and standard error on a new pseudo-terminal; returns what it drew.
QByteArray RunOnTerminal(const QStringList &arguments)
{
    std::vector<QByteArray> storage { kBatch.toUtf8() };
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    winsize size {};
    size.ws_col = 100;
    size.ws_row = 30;
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    QByteArray drawn;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        drawn.append(buffer, n);
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    return drawn;
}

// A tree processed, interrupted (an output lost), and finished by the same command with --existing skip.
TEST(WorkflowCli, ATreeRunIsResumedWithSkip)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    // Inside the source: its outputs are never listed as photos.
    const QString web = source + QStringLiteral("/web");
    AddPhotos(source, 2);
    AddPhotos(source + QStringLiteral("/2024/june"), 2);
    const QStringList tree { "--recursive", "--resize", "50", "--jobs", "2", source, web };
    ASSERT_EQ(Batch(tree).ExitCode, 0);
    const QString lost = web + QStringLiteral("/2024/june/photo01.jpg");
    ASSERT_TRUE(QFile::remove(lost));

    const QString json = dir.File(QStringLiteral("resume.json"));
    const TRun resumed = Batch(QStringList { "--existing", "skip", "--report-json", json } + tree);
    EXPECT_EQ(resumed.ExitCode, 0) << resumed.Errors.toStdString();
    EXPECT_TRUE(resumed.Lines.contains(QStringLiteral("Skipped: 2024/june/photo00.jpg exists already")));
    EXPECT_TRUE(resumed.Lines.last().startsWith(QLatin1String("Summary: 1 of 4 images done, 3 skipped, 0 failed")))
        << resumed.Lines.last().toStdString();
    EXPECT_TRUE(QFile::exists(lost));
    EXPECT_EQ(test::ReportSchemaViolations(json), QString());
    const TRunReport report = LoadReport(json);
    EXPECT_EQ(report.Summary().Skipped, 3);
    EXPECT_EQ(report.Summary().Done, 1);
}

TEST(WorkflowCli, ProgressBarOnlyOnATerminalAndErasedAtTheEnd)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    AddPhotos(source, 3);
    const QStringList run { QStringLiteral("--quiet"), QStringLiteral("--resize"), QStringLiteral("50"), source };

    const QByteArray drawn = RunOnTerminal(run + QStringList { dir.File(QStringLiteral("a")) });
    EXPECT_TRUE(drawn.contains("0/3 photos")) << drawn.constData();
    // The end wipes at least the widest bar drawn, with spaces, and returns to the line's start.
    const qsizetype width = drawn.indexOf(" left") + 5 - drawn.indexOf('[');
    const QByteArray end = drawn.mid(drawn.lastIndexOf('\r', drawn.size() - 2));
    EXPECT_GE(end.size() - 2, width) << drawn.constData();
    EXPECT_EQ(end, '\r' + QByteArray(end.size() - 2, ' ') + '\r') << drawn.constData();

    EXPECT_FALSE(RunOnTerminal(run + QStringList { QStringLiteral("--no-progress"), dir.File(QStringLiteral("b")) })
                     .contains("photos"));
    QProcess piped;
    piped.start(kBatch, run + QStringList { dir.File(QStringLiteral("c")) });
    ASSERT_TRUE(piped.waitForFinished(60000));
    EXPECT_FALSE(piped.readAllStandardError().contains("photos"));
}

// Saved as a preset and loaded again, the options make the very same files; the preset alone is saved
// without folders, and follows its documented schema.
TEST(WorkflowCli, PresetRoundTripWritesTheSameBytes)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    AddPhotos(source, 3);
    const QStringList options = QStringLiteral(
        "--long-edge 90 --filter smooth --quality 77 --rename --prefix p- --number 5 --padding 2 --overlay "
        "--text Hi\\nthere --colour #102030 --bold --size large --position bottom-right --metadata keep")
                                    .split(QLatin1Char(' '));
    const QStringList quiet { QStringLiteral("--quiet"), QStringLiteral("--no-progress") };
    const QString preset = dir.File(QStringLiteral("web.json"));

    ASSERT_EQ(Batch(quiet + options + QStringList { source, dir.File(QStringLiteral("a")) }).ExitCode, 0);
    const TRun saved = Batch(options + QStringList { QStringLiteral("--save-preset"), preset });
    ASSERT_EQ(saved.ExitCode, 0) << saved.Errors.toStdString();
    EXPECT_TRUE(saved.Lines.isEmpty());
    EXPECT_EQ(test::PresetSchemaViolations(preset), QString());
    ASSERT_EQ(Batch(quiet + QStringList { QStringLiteral("--preset"), preset, source, dir.File(QStringLiteral("b")) })
                  .ExitCode,
        0);
    const auto written = Contents(dir.File(QStringLiteral("a")));
    EXPECT_EQ(written.size(), 3U);
    EXPECT_EQ(written.begin()->first, QStringLiteral("p-005.jpg"));
    EXPECT_EQ(Contents(dir.File(QStringLiteral("b"))), written);

    // A preset saved with its folders runs without any typed.
    TJob placed = LoadPresetFile(preset, TJob {});
    placed.SourceFolder = source;
    placed.DestinationFolder = dir.File(QStringLiteral("c"));
    const QString whole = dir.WriteText(QStringLiteral("trip.json"), PresetJson(placed, true));
    ASSERT_EQ(Batch(quiet + QStringList { QStringLiteral("--preset"), whole }).ExitCode, 0);
    EXPECT_EQ(Contents(dir.File(QStringLiteral("c"))), written);
}

TEST(WorkflowCli, ThreeShardsThroughGnuParallelEqualOneRun)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    const QString destination = dir.File(QStringLiteral("web"));
    AddPhotos(source, 8);
    const QStringList options { QStringLiteral("--quiet"),
        QStringLiteral("--no-progress"),
        QStringLiteral("--resize"),
        QStringLiteral("30"),
        QStringLiteral("--rename"),
        QStringLiteral("--prefix"),
        QStringLiteral("s_"),
        QStringLiteral("--number"),
        QStringLiteral("98"),
        QStringLiteral("--overlay"),
        QStringLiteral("--text"),
        QStringLiteral("Shard test") };

    ASSERT_EQ(Batch(options
                  + QStringList { QStringLiteral("--report-json"),
                      dir.File(QStringLiteral("one.json")),
                      source,
                      destination })
                  .ExitCode,
        0);
    const auto single = Contents(destination);
    ASSERT_EQ(single.size(), 8U);
    ASSERT_TRUE(QDir(destination).removeRecursively());

    QProcess parallel;
    parallel.start(QStringLiteral("parallel"),
        QStringList { QStringLiteral("--will-cite"),
            QStringLiteral("--quote"),
            QStringLiteral("--halt"),
            QStringLiteral("now,fail=1"),
            kBatch }
            + options
            + QStringList { QStringLiteral("--shard"),
                QStringLiteral("{}/3"),
                QStringLiteral("--report-json"),
                dir.File(QStringLiteral("shard-{}.json")),
                source,
                destination,
                QStringLiteral(":::"),
                QStringLiteral("1"),
                QStringLiteral("2"),
                QStringLiteral("3") });
    ASSERT_TRUE(parallel.waitForFinished(240000));
    ASSERT_EQ(parallel.exitCode(), 0) << parallel.readAllStandardError().constData();
    EXPECT_EQ(Contents(destination), single);

    const QString merged = dir.File(QStringLiteral("merged.json"));
    ASSERT_EQ(Batch({ QStringLiteral("--merge-reports"),
                        merged,
                        dir.File(QStringLiteral("shard-3.json")),
                        dir.File(QStringLiteral("shard-1.json")),
                        dir.File(QStringLiteral("shard-2.json")) })
                  .ExitCode,
        0);
    EXPECT_EQ(test::ReportSchemaViolations(merged), QString());
    const auto withoutTimes = [](const TRunReport &report) {
        std::vector<TPhotoRecord> photos = report.Photos();
        for (TPhotoRecord &photo : photos)
            photo.Milliseconds = 0;
        return photos;
    };
    const TRunReport whole = LoadReport(dir.File(QStringLiteral("one.json")));
    const TRunReport all = LoadReport(merged);
    EXPECT_EQ(withoutTimes(all), withoutTimes(whole));
    EXPECT_EQ(all.Summary().Options, whole.Summary().Options);
    EXPECT_EQ(all.Summary().Done, 8);
    EXPECT_EQ(Batch({ QStringLiteral("--merge-reports"), merged, dir.File(QStringLiteral("shard-1.json")) }).ExitCode,
        2);
}

// The options of a whole library together: a tree, names from a template, a variant and a resumed run. Every
// output keeps its photo's folder, under the destination and under the variant's folder alike; the second run
// writes nothing.
TEST(WorkflowCli, TreeWithTemplateAndVariantResumes)
{
    const TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    AddPhotos(source, 1);
    AddPhotos(source + QStringLiteral("/trip"), 2);
    const QString destination = dir.File(QStringLiteral("out"));
    const QStringList run { QStringLiteral("--quiet"),
        QStringLiteral("--recursive"),
        QStringLiteral("--long-edge=60"),
        QStringLiteral("--name-template={name}-{n}"),
        QStringLiteral("--variant=t=20"),
        QStringLiteral("--existing=skip"),
        source,
        destination };
    ASSERT_EQ(Batch(run).ExitCode, 0);
    const QStringList expected { QStringLiteral("photo00-1.jpg"),
        QStringLiteral("trip/photo00-2.jpg"),
        QStringLiteral("trip/photo01-3.jpg") };
    std::map<QString, std::vector<std::uint8_t>> written;
    for (const QString &name : expected)
        for (const QString &folder : { destination, destination + QStringLiteral("/t") }) {
            const QString path = folder + QLatin1Char('/') + name;
            ASSERT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
            written[path] = ReadBytes(path);
        }
    const TRun resumed = Batch(run.mid(1));
    ASSERT_EQ(resumed.ExitCode, 0) << resumed.Errors.toStdString();
    EXPECT_EQ(resumed.Lines.filter(QStringLiteral("Skipped: ")).size(), 3) << resumed.Lines.join(u'\n').toStdString();
    for (const auto &[path, bytes] : written)
        EXPECT_EQ(ReadBytes(path), bytes) << path.toStdString();
}

} // namespace
} // namespace vellumar
