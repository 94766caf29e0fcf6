#include <map>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "imaging/exif.h"
#include "imaging/jpeg_image.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

struct TBatchResult {
    int ExitCode = -1;
    QStringList Lines;
    QString Errors;
};

TBatchResult RunBatchCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELLUMAR_BATCH_EXE), arguments);
    process.waitForFinished(240000);
    TBatchResult result;
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    result.Lines = out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
    result.Errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void AddPhotos(const TTempDir &dir, int count)
{
    for (int i = 0; i < count; ++i) {
        TJpegFixtureOptions options;
        options.Width = 90 + 7 * i;
        options.Height = 60 + 5 * i;
        options.Gray = i % 5 == 3;
        options.Progressive = i % 4 == 1;
        dir.Write(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')), MakeJpeg(options));
    }
}

QStringList Sorted(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

TEST(BatchCli, VersionAndHelp)
{
    const TBatchResult version = RunBatchCli({ QStringLiteral("--version") });
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Lines, QStringList { QStringLiteral("1.2.1.20") });
    const TBatchResult help = RunBatchCli({ QStringLiteral("--help") });
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Lines.value(0).startsWith(QLatin1String("Usage: vellumar-batch")));
}

TEST(BatchCli, UsageErrorsNameTheOptionAndProcessNothing)
{
    TTempDir source;
    TTempDir destination;
    AddPhotos(source, 1);
    const std::vector<std::pair<QStringList, QString>> cases {
        { { QStringLiteral("--frobnicate") }, QStringLiteral("--frobnicate") },
        { { QStringLiteral("--resize"), QStringLiteral("0") }, QStringLiteral("--resize") },
        { { QStringLiteral("--resize=100") }, QStringLiteral("--resize") },
        { { QStringLiteral("--quality"), QStringLiteral("101") }, QStringLiteral("--quality") },
        { { QStringLiteral("--overlay-quality=0") }, QStringLiteral("--overlay-quality") },
        { { QStringLiteral("--padding"), QStringLiteral("5") }, QStringLiteral("--padding") },
        { { QStringLiteral("--color"), QStringLiteral("chartreuse") }, QStringLiteral("--color") },
        { { QStringLiteral("--position"), QStringLiteral("middle") }, QStringLiteral("--position") },
        { { QStringLiteral("--size"), QStringLiteral("huge") }, QStringLiteral("--size") },
        { { QStringLiteral("--jobs"), QStringLiteral("0") }, QStringLiteral("--jobs") },
        { { QStringLiteral("--prefix"), QStringLiteral("../src/") }, QStringLiteral("--prefix") },
        { { QStringLiteral("--suffix=/x") }, QStringLiteral("--suffix") },
        { { QStringLiteral("--metadata"), QStringLiteral("all") }, QStringLiteral("--metadata") },
        { { QStringLiteral("--memory"), QStringLiteral("10") }, QStringLiteral("--memory") },
        { { QStringLiteral("--no-auto-orient=yes") }, QStringLiteral("--no-auto-orient") },
        { { QStringLiteral("--long-edge"), QStringLiteral("0") }, QStringLiteral("--long-edge") },
        { { QStringLiteral("--fit"), QStringLiteral("1600") }, QStringLiteral("--fit") },
        { { QStringLiteral("--fit=0x10") }, QStringLiteral("--fit") },
        { { QStringLiteral("--filter=bicubic"), QStringLiteral("--resize=50") }, QStringLiteral("--filter") },
        { { QStringLiteral("--filter=smooth") }, QStringLiteral("--filter") },
        { { QStringLiteral("--resize=50"), QStringLiteral("--long-edge=10") }, QStringLiteral("--long-edge") },
    };
    for (const auto &[options, named] : cases) {
        const TBatchResult result = RunBatchCli(options + QStringList { source.Path(), destination.Path() });
        EXPECT_EQ(result.ExitCode, 2) << named.toStdString();
        EXPECT_TRUE(result.Errors.contains(named)) << result.Errors.toStdString();
        EXPECT_EQ(result.Errors.count(QLatin1Char('\n')), 1) << result.Errors.toStdString();
        EXPECT_TRUE(result.Lines.isEmpty());
    }
    EXPECT_EQ(RunBatchCli({ source.Path() }).ExitCode, 2);
    // An unset variable as a folder would mean the working directory.
    EXPECT_EQ(RunBatchCli({ QStringLiteral("--resize"), source.Path(), QString() }).ExitCode, 2);
    EXPECT_EQ(RunBatchCli({ QStringLiteral("--resize"), QString(), destination.Path() }).ExitCode, 2);
    EXPECT_TRUE(Sorted(destination.Path()).isEmpty());

    // A name that is not UTF-8 is refused, never read as another folder.
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"),
            QStringLiteral("exec \"$0\" --resize \"$1\" \"$2$(printf '\\377')\""),
            QStringLiteral(VELLUMAR_BATCH_EXE),
            source.Path(),
            destination.Path() });
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 2);
    EXPECT_TRUE(shell.readAllStandardError().contains("not valid UTF-8"));
}

// Outputs that would overwrite photos of the run: nothing is written, the clashes are printed, exit 2.
TEST(BatchCli, APlannedClashWritesNothing)
{
    TTempDir source;
    for (int i = 1; i <= 4; ++i)
        source.Write(QStringLiteral("%1.jpg").arg(i), MakeJpeg());
    const auto before = ReadBytes(source.File(QStringLiteral("2.jpg")));
    const TBatchResult shifted = RunBatchCli(
        { QStringLiteral("--rename"), QStringLiteral("--number"), QStringLiteral("2"), source.Path(), source.Path() });
    EXPECT_EQ(shifted.ExitCode, 2);
    EXPECT_TRUE(shifted.Errors.contains(
        QStringLiteral("1.jpg -> %1 would replace the listed photo 2.jpg").arg(source.File(QStringLiteral("2.jpg")))))
        << shifted.Errors.toStdString();
    EXPECT_EQ(shifted.Errors.count(QStringLiteral("would replace")), 3);
    EXPECT_EQ(ReadBytes(source.File(QStringLiteral("2.jpg"))), before);

    TTempDir destination;
    const TBatchResult overflow = RunBatchCli({ QStringLiteral("--rename"),
        QStringLiteral("--number=9223372036854775807"),
        source.Path(),
        destination.Path() });
    EXPECT_EQ(overflow.ExitCode, 2);
    EXPECT_TRUE(overflow.Errors.contains(QStringLiteral("The running number would pass")));
    EXPECT_TRUE(Sorted(destination.Path()).isEmpty());
    EXPECT_EQ(Sorted(source.Path()).size(), 4);
}

// Every report is one more output of the run: it may replace no photo, no planned output and no other
// report. A refused run writes nothing and makes no folder.
TEST(BatchCli, AReportThatWouldReplaceAPhotoOrAnotherOutputRefusesTheRun)
{
    TTempDir source;
    TTempDir dir;
    AddPhotos(source, 3);
    std::map<QString, std::vector<std::uint8_t>> before;
    for (const QString &name : Sorted(source.Path()))
        before[name] = ReadBytes(source.File(name));
    const QString destination = dir.File(QStringLiteral("new/deeper/dst"));
    const QString shared = dir.File(QStringLiteral("report"));
    const std::vector<std::pair<QStringList, QStringList>> cases {
        { { "--report",
              source.File("photo00.jpg"),
              "--report-json",
              source.File("photo01.jpg"),
              "--report-csv",
              source.File("photo02.jpg") },
            { "--report -> " + source.File("photo00.jpg") + " would replace the listed photo photo00.jpg",
                "--report-json -> " + source.File("photo01.jpg") + " would replace the listed photo photo01.jpg",
                "--report-csv -> " + source.File("photo02.jpg") + " would replace the listed photo photo02.jpg" } },
        { { "--report-json", destination + "/photo01.jpg" },
            { "--report-json -> " + destination + "/photo01.jpg is also the output of photo01.jpg" } },
        { { "--report", shared, "--report-json", shared, "--report-csv", shared },
            { "--report-json -> " + shared + " is also the output of --report",
                "--report-csv -> " + shared + " is also the output of --report" } },
    };
    for (const auto &[reports, clashes] : cases) {
        for (const bool dryRun : { false, true }) {
            const QStringList options = dryRun ? QStringList { "--dry-run" } : QStringList();
            const TBatchResult result =
                RunBatchCli(options + reports + QStringList { "--resize", "50", source.Path(), destination });
            EXPECT_EQ(result.ExitCode, 2) << result.Errors.toStdString();
            const QString printed = dryRun ? result.Lines.join(QLatin1Char('\n')) : result.Errors;
            for (const QString &clash : clashes)
                EXPECT_TRUE(printed.contains(QStringLiteral("  ") + clash)) << printed.toStdString();
        }
    }
    for (const auto &[name, bytes] : before)
        EXPECT_EQ(ReadBytes(source.File(name)), bytes) << name.toStdString();
    EXPECT_TRUE(Sorted(dir.Path()).isEmpty());
    EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Merging: the merged report may not replace one of the reports it reads, by any spelling.
    const QString input = dir.WriteText(QStringLiteral("shard.json"), "{}");
    const TBatchResult merge =
        RunBatchCli({ "--merge-reports", dir.Path() + "/./shard.json", input, dir.File("other.json") });
    EXPECT_EQ(merge.ExitCode, 2);
    EXPECT_TRUE(merge.Errors.contains("would replace " + input)) << merge.Errors.toStdString();
    EXPECT_EQ(ReadBytes(input), (std::vector<std::uint8_t> { '{', '}' }));
}

// A report file larger than any real report is refused before it is read.
TEST(BatchCli, MergeRefusesAHugeReport)
{
    TTempDir dir;
    const QString huge = dir.WriteText(QStringLiteral("huge.json"), "{");
    QFile file(huge);
    ASSERT_TRUE(file.resize(65 * 1024 * 1024));
    const TBatchResult result = RunBatchCli({ "--merge-reports", dir.File("merged.json"), huge });
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_TRUE(result.Errors.contains(huge + " is larger than 64 MiB and is not read as a report"))
        << result.Errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.File("merged.json")));
}

// Without XDG_RUNTIME_DIR, neither a dry run nor a run (with text drawn) leaves a folder in TMPDIR.
TEST(BatchCli, CreatesNoRuntimeFolder)
{
    TTempDir source;
    TTempDir destination;
    TTempDir tmp;
    AddPhotos(source, 2);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), tmp.Path());
    for (const QStringList &options : { QStringList { "--dry-run", "--resize", "50" },
             QStringList { "--overlay", "--text", "x", "--resize", "50" } }) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VELLUMAR_BATCH_EXE), options + QStringList { source.Path(), destination.Path() });
        ASSERT_TRUE(process.waitForFinished(240000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
        EXPECT_TRUE(process.readAllStandardError().isEmpty());
        EXPECT_TRUE(Sorted(tmp.Path()).isEmpty());
        EXPECT_TRUE(QDir(tmp.Path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }
    EXPECT_EQ(Sorted(destination.Path()).size(), 2);
}

// The text is drawn at the layouts' 96 pixels per inch wherever the program runs: a screen of 144, scaled
// (other hinting) or not (other font sizes), makes the same files, the default size of text on a tiny
// photo included.
TEST(BatchCli, TheScreensResolutionDoesNotChangeTheFiles)
{
    TTempDir source;
    TTempDir config;
    source.Write(QStringLiteral("photo.jpg"), MakeJpeg(TJpegFixtureOptions { .Width = 320, .Height = 240 }));
    source.Write(QStringLiteral("tiny.jpg"), MakeJpeg(TJpegFixtureOptions { .Width = 60, .Height = 16 }));
    const QString screen = QStringLiteral("offscreen:configfile=")
        + config.WriteText(QStringLiteral("screen.json"),
            R"({"screens":[{"name":"s","x":0,"y":0,"width":800,"height":600,"logicalDpi":144,"logicalBaseDpi":96,"dpr":1}]})");
    const auto run = [&](const QString &platform, const QString &scaling) {
        TTempDir destination;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        environment.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), scaling);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VELLUMAR_BATCH_EXE),
            { QStringLiteral("--overlay"),
                QStringLiteral("--text"),
                QStringLiteral("Same\\nbytes"),
                QStringLiteral("--quiet"),
                source.Path(),
                destination.Path() });
        EXPECT_TRUE(process.waitForFinished(240000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
        return std::pair { ReadBytes(destination.File(QStringLiteral("photo.jpg"))),
            ReadBytes(destination.File(QStringLiteral("tiny.jpg"))) };
    };
    const auto plain = run(QStringLiteral("offscreen"), QStringLiteral("1"));
    ASSERT_FALSE(plain.first.empty());
    ASSERT_FALSE(plain.second.empty());
    for (const QString &scaling : { QStringLiteral("1"), QStringLiteral("0") }) {
        const auto atScreen = run(screen, scaling);
        EXPECT_TRUE(atScreen.first == plain.first) << "photo.jpg, scaling " << scaling.toStdString();
        EXPECT_TRUE(atScreen.second == plain.second) << "tiny.jpg, scaling " << scaling.toStdString();
    }
}

TEST(BatchCli, UnusableFoldersExitWithThreeAndSayWhy)
{
    TTempDir destination;
    const TBatchResult result = RunBatchCli({ destination.File(QStringLiteral("missing")), destination.Path() });
    EXPECT_EQ(result.ExitCode, 3);
    EXPECT_TRUE(result.Lines.isEmpty());

    // A file where the destination folder should be: the message ends with the system's reason.
    TTempDir source;
    source.Write(QStringLiteral("a.jpg"), MakeJpeg());
    QFile blocker(destination.File(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const TBatchResult blocked = RunBatchCli({ "--resize", "50", source.Path(), blocker.fileName() + "/dst" });
    EXPECT_EQ(blocked.ExitCode, 3);
    EXPECT_TRUE(blocked.Errors.contains(QStringLiteral("cannot create the destination folder ") + blocker.fileName()
        + QStringLiteral("/dst: Not a directory")))
        << blocked.Errors.toStdString();
}

TEST(BatchCli, PrintsTheWindowsLogAndSavesTheReport)
{
    TTempDir source;
    TTempDir destination;
    AddPhotos(source, 2);
    source.WriteText(QStringLiteral("broken.jpg"), "not a photo");
    const QString report = destination.File(QStringLiteral("report.txt"));
    const TBatchResult result = RunBatchCli({ QStringLiteral("--resize"),
        QStringLiteral("50"),
        QStringLiteral("--rename"),
        QStringLiteral("--prefix=web_"),
        QStringLiteral("--padding"),
        QStringLiteral("2"),
        QStringLiteral("--report"),
        report,
        source.Path(),
        destination.Path() + QStringLiteral("/") });
    EXPECT_EQ(result.ExitCode, 1) << "an image failed";
    ASSERT_GE(result.Lines.size(), 4);
    EXPECT_EQ(result.Lines[0], QStringLiteral("Source Folder is: ") + source.Path());
    EXPECT_EQ(result.Lines[1], QStringLiteral("Images Found: 3"));
    EXPECT_EQ(result.Lines[2], QStringLiteral("Destination Folder is: ") + destination.Path());
    const QStringList run = result.Lines.mid(3);
    EXPECT_EQ(run.value(0), QString());
    EXPECT_EQ(run.value(3), QStringLiteral("Renaming: broken.jpg to web_001.jpg"));
    EXPECT_EQ(run.value(4), QStringLiteral("Resizing: web_001.jpg..."));
    EXPECT_TRUE(run.value(5).startsWith(QLatin1String("ERROR: JPEG error #")));
    EXPECT_EQ(run.value(10), QStringLiteral("web_002.jpg resized: H30 W45"));
    EXPECT_EQ(run.value(run.size() - 2), QStringLiteral("FINISHED"));
    EXPECT_TRUE(run.last().startsWith(QLatin1String("Summary: 2 of 3 images done, 1 failed, 0 with warnings, ")));
    EXPECT_EQ(Sorted(destination.Path()),
        (QStringList { QStringLiteral("report.txt"), QStringLiteral("web_002.jpg"), QStringLiteral("web_003.jpg") }));
    const std::vector<std::uint8_t> bytes = ReadBytes(report);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
        result.Lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// Each size mode and filter: the log reports the written size; nearest by percent is the reduction of old.
TEST(BatchCli, SizeModesAndFiltersWriteAndReportTheirSizes)
{
    TTempDir source;
    AddPhotos(source, 1); // 90 x 60
    const auto reduce = [&](const QStringList &options, const QString &line, int width, int height) {
        TTempDir destination;
        const TBatchResult result = RunBatchCli(options + QStringList { source.Path(), destination.Path() });
        EXPECT_EQ(result.ExitCode, 0) << options.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.Lines.contains(line)) << options.join(QLatin1Char(' ')).toStdString();
        TJPEGImage written;
        written.LoadJpegFile(destination.File(QStringLiteral("photo00.jpg")));
        EXPECT_EQ(written.ImageWidth(), width);
        EXPECT_EQ(written.ImageHeight(), height);
        return ReadBytes(destination.File(QStringLiteral("photo00.jpg")));
    };
    const QString half = QStringLiteral("photo00.jpg resized: H30 W45");
    EXPECT_EQ(reduce({ QStringLiteral("--resize=50"), QStringLiteral("--filter=nearest") }, half, 45, 30),
        reduce({ QStringLiteral("--resize=50") }, half, 45, 30));
    (void)reduce({ QStringLiteral("--resize=50"), QStringLiteral("--filter=smooth") }, half, 45, 30);
    (void)reduce({ QStringLiteral("--long-edge=45"), QStringLiteral("--filter=smooth") }, half, 45, 30);
    (void)reduce({ QStringLiteral("--fit=40x40") }, QStringLiteral("photo00.jpg resized: H27 W40"), 40, 27);
    // The overlay is drawn on the final picture, whatever chose its size.
    EXPECT_EQ(reduce({ QStringLiteral("--long-edge=45"), QStringLiteral("--overlay") }, half, 45, 30),
        reduce({ QStringLiteral("--resize=50"), QStringLiteral("--overlay") }, half, 45, 30));
    // Never enlarged: written again at its own size.
    (void)reduce({ QStringLiteral("--long-edge=200"), QStringLiteral("--filter=smooth") },
        QStringLiteral("photo00.jpg resized: H60 W90"),
        90,
        60);
}

TEST(BatchCli, SameFolderWarnsOnStandardErrorAndGoesOn)
{
    TTempDir source;
    AddPhotos(source, 1);
    const TBatchResult result =
        RunBatchCli({ QStringLiteral("--rename"), source.Path(), source.Path() + QStringLiteral("/./") });
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Errors,
        QStringLiteral("Destination and source folders are the same.\n"
                       "If source files are to be re-sized without\n"
                       "being re-named then files WILL be overwritten\n"));
    EXPECT_EQ(result.Lines.value(result.Lines.size() - 2), QStringLiteral("FINISHED"));
    EXPECT_EQ(Sorted(source.Path()), (QStringList { QStringLiteral("1.jpg"), QStringLiteral("photo00.jpg") }));
}

TEST(BatchCli, OneJobAndFourJobsGiveTheSameLogAndFiles)
{
    TTempDir source;
    AddPhotos(source, 22);
    source.WriteText(QStringLiteral("photo05.jpg"), "text, not a photo");
    source.WriteText(QStringLiteral("photo17.jpg"), QByteArray());
    TJpegFixtureOptions big;
    big.Width = 400;
    big.Height = 300;
    std::vector<std::uint8_t> truncated = MakeJpeg(big);
    truncated.resize(truncated.size() * 2 / 3); // cut inside the scan: decodes
    source.Write(QStringLiteral("photo11.jpg"), truncated);
    const QStringList options { QStringLiteral("--resize"),
        QStringLiteral("40"),
        QStringLiteral("--quality"),
        QStringLiteral("70"),
        QStringLiteral("--rename"),
        QStringLiteral("--number"),
        QStringLiteral("8"),
        QStringLiteral("--overlay"),
        QStringLiteral("--text"),
        QStringLiteral("Two\\nlines"),
        QStringLiteral("--position"),
        QStringLiteral("bottom-center"),
        QStringLiteral("--color"),
        QStringLiteral("#FF8000") };
    TTempDir one;
    TTempDir four;
    const TBatchResult serial =
        RunBatchCli(options + QStringList { QStringLiteral("--jobs=1"), source.Path(), one.Path() });
    const TBatchResult parallel = RunBatchCli(
        options + QStringList { QStringLiteral("--jobs"), QStringLiteral("4"), source.Path(), four.Path() });
    EXPECT_EQ(serial.ExitCode, 1);
    EXPECT_EQ(parallel.ExitCode, 1);
    // The summary's time is the one difference.
    const QRegularExpression time(QStringLiteral(", [0-9.]+ s$"));
    EXPECT_EQ(serial.Lines.mid(3).replaceInStrings(time, QString()),
        parallel.Lines.mid(3).replaceInStrings(time, QString()));
    EXPECT_EQ(serial.Lines.filter(QStringLiteral("ERROR")).size(), 2);
    const QStringList files = Sorted(one.Path());
    EXPECT_EQ(files.size(), 20);
    EXPECT_EQ(Sorted(four.Path()), files);
    for (const QString &name : files)
        EXPECT_EQ(ReadBytes(one.File(name)), ReadBytes(four.File(name))) << name.toStdString();
}

// A phone portrait stored sideways comes out upright with its camera data but not its position; a photo
// with broken camera data is written without it and warned about.
TEST(BatchCli, SidewaysPhotosComeOutUprightWithTheChosenMetadata)
{
    TTempDir source;
    TTempDir destination;
    source.Write(QStringLiteral("a_portrait.jpg"),
        test::WithSegments(MakeJpeg({ .Width = 120, .Height = 80 }),
            { { 0xE1, test::MakeExif({ .BigEndian = true, .Orientation = 6 }) } }));
    std::vector<std::uint8_t> broken = test::MakeExif({});
    broken[6 + 4] = 0x7F;
    source.Write(QStringLiteral("b_broken.jpg"),
        test::WithSegments(MakeJpeg({ .Width = 40, .Height = 30 }), { { 0xE1, broken } }));

    const TBatchResult run = RunBatchCli({ QStringLiteral("--resize"),
        QStringLiteral("50"),
        QStringLiteral("--metadata=keep-no-gps"),
        source.Path(),
        destination.Path() });
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Lines.contains(QStringLiteral("a_portrait.jpg resized: H60 W40")));
    EXPECT_TRUE(run.Lines.contains(
        QStringLiteral("WARNING: EXIF data dropped: Malformed EXIF data (IFD0 outside the segment)")));
    const std::vector<std::uint8_t> portrait = ReadBytes(destination.File(QStringLiteral("a_portrait.jpg")));
    const auto exif = test::SegmentsOf(portrait, 0xE1);
    ASSERT_EQ(exif.size(), 1u);
    EXPECT_EQ(ExifOrientation(exif[0]), TOrientation::Normal);
    EXPECT_TRUE(test::ContainsText(exif[0], test::kExifCameraMark));
    EXPECT_FALSE(test::ContainsText(exif[0], test::kExifGpsMark));
    EXPECT_TRUE(test::SegmentsOf(ReadBytes(destination.File(QStringLiteral("b_broken.jpg"))), 0xE1).empty());

    // A box is fitted by the upright picture, 80 x 120 here.
    TTempDir fitted;
    const TBatchResult fit = RunBatchCli({ QStringLiteral("--fit=60x40"), source.Path(), fitted.Path() });
    EXPECT_TRUE(fit.Lines.contains(QStringLiteral("a_portrait.jpg resized: H40 W27")));

    // As stored, the tag kept so that a viewer still turns it; sizes as stored.
    TTempDir asStored;
    const TBatchResult kept = RunBatchCli({ QStringLiteral("--resize"),
        QStringLiteral("50"),
        QStringLiteral("--no-auto-orient"),
        QStringLiteral("--metadata"),
        QStringLiteral("keep"),
        source.Path(),
        asStored.Path() });
    EXPECT_TRUE(kept.Lines.contains(QStringLiteral("a_portrait.jpg resized: H40 W60")));
    const auto storedExif = test::SegmentsOf(ReadBytes(asStored.File(QStringLiteral("a_portrait.jpg"))), 0xE1);
    ASSERT_EQ(storedExif.size(), 1u);
    EXPECT_EQ(ExifOrientation(storedExif[0]), TOrientation::Rotate90);
    EXPECT_TRUE(test::ContainsText(storedExif[0], test::kExifGpsMark));
}

// Under a cap a copy stays byte for byte when it fits and is encoded again when it does not; the dry run, the
// log and the report agree on the templated names, the variants and the quality chosen.
TEST(BatchCli, CappedCopiesWithTemplatedNames)
{
    TTempDir source;
    TTempDir destination;
    const std::vector<std::uint8_t> small = MakeJpeg({ .Width = 64, .Height = 48 });
    source.Write(QStringLiteral("small.jpg"), small);
    source.Write(QStringLiteral("large.jpg"), MakeJpeg({ .Width = 600, .Height = 450, .Quality = 100 }));
    const QStringList options { QStringLiteral("--name-template={name}_{w}x{h}"),
        QStringLiteral("--max-size=40K"),
        QStringLiteral("--variant=v=100") };
    const TBatchResult plan =
        RunBatchCli(options + QStringList { QStringLiteral("--dry-run"), source.Path(), destination.Path() });
    EXPECT_EQ(plan.ExitCode, 0) << plan.Errors.toStdString();
    const QString report = destination.File(QStringLiteral("r.json"));
    const TBatchResult run = RunBatchCli(
        options + QStringList { QStringLiteral("--report-json"), report, source.Path(), destination.Path() });
    EXPECT_EQ(run.ExitCode, 0) << run.Lines.join(QLatin1Char('\n')).toStdString();
    for (const QString &name : { QStringLiteral("large_600x450.jpg"), QStringLiteral("small_64x48.jpg") }) {
        EXPECT_EQ(plan.Lines.filter(QStringLiteral(" -> ") + name).size(), 1) << name.toStdString();
        EXPECT_LE(QFileInfo(destination.File(name)).size(), 40 << 10);
    }
    EXPECT_EQ(ReadBytes(destination.File(QStringLiteral("small_64x48.jpg"))), small);
    EXPECT_EQ(plan.Lines.filter(QStringLiteral("+ v/large_600x450.jpg  100x75")).size(), 1);
    EXPECT_EQ(ReadJpegStreamHeader(ReadBytes(destination.File(QStringLiteral("v/large_600x450.jpg")))).Width, 100);
    const QStringList chosen = run.Lines.filter(QStringLiteral("large_600x450.jpg written at quality "));
    ASSERT_EQ(chosen.size(), 1);
    const int quality = QRegularExpression(QStringLiteral("quality (\\d+)")).match(chosen[0]).captured(1).toInt();
    EXPECT_GE(quality, 40);
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString json = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(json.contains(QStringLiteral("\"quality\": %1").arg(quality))) << json.toStdString();
}

} // namespace
} // namespace vellumar
