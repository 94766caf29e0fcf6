#include <limits>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "engine/run_plan.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJob;
using test::MakeJpeg;
using test::ReadBytes;
using test::TRecordingSink;
using test::TTempDir;

enum class TInto { Source, Other, LinkToSource };

struct TPlanCase {
    const char *Name;
    TInto Into;
    bool Rename;
    bool Resize;
    std::int64_t Number;
    const char *Prefix;
    int Clashes;
    const char *FirstClash; // the start of the first clash's text after "<name> -> <path> "
};

class PlanCheck : public ::testing::TestWithParam<TPlanCase>
{
protected:
    PlanCheck()
    {
        for (const char *name : { "1.jpg", "2.jpg", "3.jpg", "4.jpg" })
            mSource.Write(QString::fromLatin1(name), MakeJpeg());
        // A file that is not listed may be replaced.
        mOther.WriteText(QStringLiteral("2.jpg"), "an older output");
    }
    TTempDir mSource;
    TTempDir mOther;
};

TEST_P(PlanCheck, RefusesOutputsThatWouldOverwritePhotosOfTheRun)
{
    const TPlanCase &c = GetParam();
    const QString link = mOther.File(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(mSource.Path(), link));
    const QString destination =
        c.Into == TInto::Source ? mSource.Path() : (c.Into == TInto::Other ? mOther.Path() : link);
    TFixedJob job = MakeJob(mSource.Path(), destination);
    job.Values().Rename = c.Rename;
    job.Values().Resize = c.Resize;
    job.Values().Namer.SetNumber(c.Number);
    job.Values().Namer.SetPrefix(QString::fromUtf8(c.Prefix));
    const QStringList clashes = PlanClashes(job.Snapshot());
    EXPECT_EQ(clashes.size(), c.Clashes) << clashes.join(QLatin1Char('\n')).toStdString();
    if (c.FirstClash != nullptr && !clashes.isEmpty()) {
        EXPECT_TRUE(clashes[0].contains(QString::fromUtf8(c.FirstClash))) << clashes[0].toStdString();
    }
}

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(Cases,
    PlanCheck,
    ::testing::Values(TPlanCase { "EachNameOnItsOwnSource", TInto::Source, true, false, 1, "", 0, nullptr },
        TPlanCase { "ResizeInPlace", TInto::Source, false, true, 1, "", 0, nullptr },
        TPlanCase { "NamesShiftedOntoLaterSources",
            TInto::Source,
            true,
            false,
            2,
            "",
            3,
            "would replace the listed photo 2.jpg" },
        TPlanCase { "NamesShiftedOntoEarlierSources",
            TInto::Source,
            true,
            true,
            0,
            "",
            3,
            "would replace the listed photo 1.jpg" },
        TPlanCase { "ThroughALinkToTheSourceFolder",
            TInto::LinkToSource,
            true,
            false,
            3,
            "",
            2,
            "would replace the listed photo 3.jpg" },
        TPlanCase { "NothingWrittenNothingRefused", TInto::Source, false, false, 2, "", 0, nullptr },
        TPlanCase { "AnotherFolderAndAnUnlistedFile", TInto::Other, true, false, 1, "", 0, nullptr },
        TPlanCase { "RunningNumberOverflow",
            TInto::Other,
            true,
            false,
            kLargest,
            "",
            1,
            "would pass 9223372036854775807" },
        TPlanCase { "LastNumberBeforeOverflow", TInto::Other, true, false, kLargest - 3, "", 0, nullptr },
        TPlanCase { "ASlashFailsItsImageLater", TInto::Source, true, false, 2, "../", 0, nullptr }),
    [](const ::testing::TestParamInfo<TPlanCase> &param) {
        return std::string(param.param.Name);
    });

TEST(RunPlan, ARefusedRunWritesAndLogsNothingAndNamesTheFirstClashes)
{
    TTempDir source;
    for (int i = 1; i <= 8; ++i)
        source.Write(QStringLiteral("%1.jpg").arg(i), MakeJpeg());
    TFixedJob job = MakeJob(source.Path(), source.Path());
    job.Values().Rename = true;
    job.Values().Resize = true;
    job.Values().Namer.SetNumber(2);
    TRecordingSink sink;
    const auto before = ReadBytes(source.File(QStringLiteral("2.jpg")));
    try {
        RunBatch(job, sink, 2);
        ADD_FAILURE() << "the run was not refused";
    } catch (const ERunRefused &refused) {
        EXPECT_EQ(refused.Clashes().size(), 7);
        const QStringList lines = refused.Message().split(QLatin1Char('\n'));
        EXPECT_EQ(lines.size(), 7); // the heading, five clashes and the count of the others
        EXPECT_EQ(lines.last(), QStringLiteral("... and 2 more"));
    }
    EXPECT_TRUE(sink.Lines.isEmpty());
    EXPECT_EQ(job.Values().Namer.Number(), 2);
    EXPECT_EQ(ReadBytes(source.File(QStringLiteral("2.jpg"))), before);
    EXPECT_EQ(QDir(source.Path()).entryList(QDir::Files).size(), 8);
}

// The window's fields may change during a run: each image is checked again as it is planned.
TEST(RunPlan, EachImageIsCheckedAgainWhenItsTurnComes)
{
    TTempDir source;
    TTempDir destination;
    for (int i = 1; i <= 3; ++i)
        source.Write(QStringLiteral("%1.jpg").arg(i), MakeJpeg());
    TFixedJob job = MakeJob(source.Path(), destination.Path());
    job.Values().Rename = true;
    job.Values().Namer.SetNumber(2);
    TRecordingSink sink;
    sink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints == 2) // before image 2: the destination field now names the source folder
            job.Values().DestinationFolder = source.Path();
        if (s.EventPoints == 4) // before image 3 (a failed image has no event point after it)
            job.Values().DestinationFolder.clear();
    };
    const auto before = ReadBytes(source.File(QStringLiteral("3.jpg")));
    const TRunSummary summary = RunBatch(job, sink);
    EXPECT_TRUE(sink.Lines.contains(QStringLiteral("ERROR: 2.jpg -> %1 would replace the listed photo 3.jpg; "
                                                   "nothing is written")
                                        .arg(source.File(QStringLiteral("3.jpg")))))
        << sink.Lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(sink.Lines.contains(QStringLiteral("ERROR: No destination folder is chosen.")));
    EXPECT_EQ(ReadBytes(source.File(QStringLiteral("3.jpg"))), before);
    EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files), QStringList { QStringLiteral("2.jpg") });
    EXPECT_EQ(summary.Failed, 2);
}

// Reports are more outputs of the run: never a listed photo (by any spelling or link), never a planned
// output, never another report; a run writing no photos still checks them.
TEST(RunPlan, ReportsAreCheckedLikeOutputs)
{
    TTempDir source;
    TTempDir destination;
    for (int i = 1; i <= 2; ++i)
        source.Write(QStringLiteral("%1.jpg").arg(i), MakeJpeg());
    ASSERT_TRUE(QFile::link(source.File(QStringLiteral("1.jpg")), destination.File(QStringLiteral("link.jpg"))));
    const QString planned = destination.File(QStringLiteral("2.jpg"));
    struct TCase {
        bool Resize;
        std::vector<TOtherOutput> Reports;
        QStringList Clashes; // the starts of the clashes, in order
    };
    const std::vector<TCase> cases {
        { true, { { "--report", destination.File(QStringLiteral("log.txt")) } }, {} },
        { true,
            { { "--report", source.Path() + QStringLiteral("/./2.jpg") } },
            { QStringLiteral("--report -> %1/./2.jpg would replace the listed photo 2.jpg").arg(source.Path()) } },
        { false,
            { { "--report-csv", destination.File(QStringLiteral("link.jpg")) } },
            { QStringLiteral("--report-csv -> %1 would replace the listed photo 1.jpg")
                    .arg(destination.File(QStringLiteral("link.jpg"))) } },
        { true,
            { { "--report-json", planned } },
            { QStringLiteral("--report-json -> %1 is also the output of 2.jpg").arg(planned) } },
        { false, { { "--report-json", planned } }, {} },
        { false,
            { { "--report", destination.File(QStringLiteral("r")) },
                { "--report-json", destination.File(QStringLiteral("r")) },
                { "--report-csv", destination.Path() + QStringLiteral("//r") } },
            { QStringLiteral("--report-json -> %1 is also the output of --report")
                    .arg(destination.File(QStringLiteral("r"))),
                QStringLiteral("--report-csv -> %1//r is also the output of --report").arg(destination.Path()) } },
    };
    for (const TCase &c : cases) {
        TFixedJob job = MakeJob(source.Path(), destination.Path());
        job.Values().Resize = c.Resize;
        const TRunPlan plan = PlanRun(job.Snapshot(), c.Reports);
        EXPECT_EQ(plan.OtherClashes, c.Clashes);
        EXPECT_EQ(plan.Clashes, c.Clashes);
        EXPECT_EQ(PlanClashes(job.Snapshot(), c.Reports), c.Clashes);
    }

    // Merging: the output may be none of the inputs.
    const QString input = destination.WriteText(QStringLiteral("a.json"), "{}");
    EXPECT_EQ(FileClashes({ { input, input } }, { { "--merge-reports", destination.Path() + "/x/../a.json" } }),
        QStringList {
            QStringLiteral("--merge-reports -> %1/x/../a.json would replace %2").arg(destination.Path(), input) });
    EXPECT_TRUE(FileClashes({ { input, input } }, { { "--merge-reports", destination.File("b.json") } }).isEmpty());
}

} // namespace
} // namespace vellumar
