// vellumar-batch over a folder of hostile files, in each mode: the run finishes, reports every image,
// leaves the sources alone, stays under 1 GiB and spends under 10 seconds on any one image.
#include <algorithm>
#include <map>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "tests/support/hostile_jpegs.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeHostileJpegs;
using test::ReadBytes;
using test::TTempDir;

constexpr qint64 kImageTimeLimitMs = 10000;
constexpr long kMemoryLimitKiB = 1024L * 1024;

// Under AddressSanitizer the program is several times slower and its shadow memory counts as its own:
// the limits are the product's, so that build checks everything else.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Each printed line with the time it arrived, in milliseconds since the run began.
struct TTimedLine {
    QString Text;
    qint64 ArrivedMs = 0;
};

struct TCorpusRun {
    bool Exited = false;
    int ExitCode = -1;
    std::vector<TTimedLine> Lines;
};

// The CLI prints and flushes each line as it happens, and with one job it works on one image at a
// time, so the time between an image's "File i of n" line and the next image's ">" (or "FINISHED")
// bounds the time spent on that image.
TCorpusRun RunTimed(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VELLUMAR_BATCH_EXE), arguments);
    TCorpusRun run;
    QByteArray pending;
    const auto collect = [&] {
        pending += process.readAllStandardOutput();
        const qint64 now = clock.elapsed();
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            run.Lines.push_back({ QString::fromUtf8(pending.left(end)), now });
            pending.remove(0, end + 1);
        }
    };
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        collect();
        if (clock.elapsed() > 600000) {
            process.kill();
            process.waitForFinished();
        }
    }
    collect();
    run.Exited = process.exitStatus() == QProcess::NormalExit;
    run.ExitCode = process.exitCode();
    return run;
}

std::map<QString, QByteArray> FolderHashes(const QString &folder)
{
    std::map<QString, QByteArray> hashes;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        const std::vector<std::uint8_t> bytes = ReadBytes(folder + QLatin1Char('/') + name);
        hashes[name] = QCryptographicHash::hash(
            QByteArrayView(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
            QCryptographicHash::Sha256);
    }
    return hashes;
}

// The output name that an image's lines, from first up to end, announce: the new name of a renamed
// image, else the name that the resizing or the overlay names.
QString OutputName(const std::vector<TTimedLine> &lines, std::size_t first, std::size_t end)
{
    static const QLatin1String kRenaming("Renaming: ");
    static const QLatin1String kResizing("Resizing: ");
    static const QLatin1String kOverlay("Adding overlay: ");
    for (std::size_t i = first; i < end; ++i) {
        const QString &text = lines[i].Text;
        if (text.startsWith(kRenaming))
            return text.section(QStringLiteral(" to "), -1);
        for (const QLatin1String prefix : { kResizing, kOverlay }) {
            if (text.startsWith(prefix) && text.endsWith(QLatin1String("...")))
                return text.mid(prefix.size()).chopped(3);
        }
    }
    return {};
}

const QStringList kRenameOnly { QStringLiteral("--rename") };

class HostileCorpus : public ::testing::TestWithParam<QStringList>
{
protected:
    void SetUp() override
    {
        for (const test::THostileFile &file : MakeHostileJpegs(320, 240)) {
            mSource.Write(QString::fromStdString(file.Name), file.Bytes);
            mListed += file.Listed ? 1 : 0;
        }
    }

    TTempDir mSource;
    int mListed = 0;
};

TEST_P(HostileCorpus, FinishesWithinLimitsAndLeavesTheSourcesAlone)
{
    ASSERT_GE(mListed, 60);
    const std::map<QString, QByteArray> before = FolderHashes(mSource.Path());
    TTempDir destination;
    const TCorpusRun run = RunTimed(QStringList { QStringLiteral("--jobs"), QStringLiteral("1") } + GetParam()
        + QStringList { mSource.Path(), destination.Path() });

    ASSERT_TRUE(run.Exited);
    EXPECT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << run.ExitCode;
    ASSERT_GE(run.Lines.size(), 2u);
    EXPECT_EQ(run.Lines[run.Lines.size() - 2].Text, QStringLiteral("FINISHED"));
    EXPECT_TRUE(run.Lines.back().Text.startsWith(QLatin1String("Summary: "))) << run.Lines.back().Text.toStdString();

    // Every image has its header lines, in order, and the time to the next header is bounded.
    qint64 slowestMs = 0;
    int outputs = 0;
    std::size_t at = 0;
    for (int image = 1; image <= mListed; ++image) {
        const QString header = QStringLiteral("File %1 of %2").arg(image).arg(mListed);
        while (at < run.Lines.size() && run.Lines[at].Text != header)
            ++at;
        ASSERT_LT(at, run.Lines.size()) << "no line " << header.toStdString();
        ASSERT_GT(at, 0u);
        EXPECT_EQ(run.Lines[at - 1].Text, QStringLiteral(">"));
        std::size_t next = at + 1;
        while (next < run.Lines.size() && run.Lines[next].Text != QStringLiteral(">")
            && run.Lines[next].Text != QStringLiteral("FINISHED"))
            ++next;
        ASSERT_LT(next, run.Lines.size());
        const qint64 spentMs = run.Lines[next].ArrivedMs - run.Lines[at].ArrivedMs;
        if (!kSanitized) {
            EXPECT_LT(spentMs, kImageTimeLimitMs) << header.toStdString();
        }
        if (spentMs > kImageTimeLimitMs / 10)
            std::printf("%s: %lld ms\n", qPrintable(run.Lines[at + 1].Text), spentMs);
        slowestMs = std::max(slowestMs, spentMs);

        // Done (its output is there) or refused (with an error line): never dropped in silence.
        const QString output = OutputName(run.Lines, at + 1, next);
        ASSERT_FALSE(output.isEmpty()) << header.toStdString();
        const bool refused =
            std::any_of(run.Lines.begin() + long(at), run.Lines.begin() + long(next), [](const auto &line) {
                return line.Text.startsWith(QLatin1String("ERROR: "))
                    || line.Text.startsWith(QLatin1String("Overlay ERROR: "));
            });
        EXPECT_TRUE(refused || QFileInfo::exists(destination.File(output))) << output.toStdString();
        outputs += !refused && QFileInfo::exists(destination.File(output)) ? 1 : 0;
    }
    std::printf("%d images done, %d refused or skipped\n", outputs, mListed - outputs);

    EXPECT_EQ(FolderHashes(mSource.Path()), before);
    rusage usage {};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    if (!kSanitized) {
        EXPECT_LT(usage.ru_maxrss, kMemoryLimitKiB);
    }
    RecordProperty("slowest_image_ms", int(slowestMs));
    RecordProperty("peak_rss_kib", int(usage.ru_maxrss));
    std::printf("%d images, slowest %lld ms, peak memory %ld KiB\n", mListed, slowestMs, usage.ru_maxrss);
}

struct TModeName {
    std::string operator()(const ::testing::TestParamInfo<QStringList> &mode) const
    {
        static const char *const kNames[] = { "RenameOnly", "Resize", "OverlayOnly", "ResizeAndOverlay" };
        return kNames[mode.index];
    }
};

const QStringList kResize { QStringLiteral("--resize"), QStringLiteral("50") };
const QStringList kOverlayOnly { QStringLiteral("--overlay") };
const QStringList kResizeAndOverlay { QStringLiteral("--resize"), QStringLiteral("50"), QStringLiteral("--overlay") };

INSTANTIATE_TEST_SUITE_P(Modes,
    HostileCorpus,
    ::testing::Values(kRenameOnly, kResize, kOverlayOnly, kResizeAndOverlay),
    TModeName());

} // namespace
} // namespace vellumar
