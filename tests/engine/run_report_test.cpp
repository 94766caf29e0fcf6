#include <limits>

#include <QFile>

#include <gtest/gtest.h>

#include "engine/batch_run.h"
#include "engine/run_report.h"
#include "imaging/errors.h"
#include "tests/support/report_schema.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::TTempDir;

// Seven photos in every state a run produces, with texts that need quoting in CSV.
TRunReport SampleReport()
{
    TRunReport report;
    for (int i = 0; i < 7; ++i) {
        TPhotoRecord record;
        record.Position = i;
        record.SourcePath = QStringLiteral("/src/photo %1, \"best\".jpg").arg(i);
        record.Status = std::array { TPhotoStatus::Done,
            TPhotoStatus::Failed,
            TPhotoStatus::Warning,
            TPhotoStatus::Skipped }[std::size_t(i % 4)];
        if (record.Status != TPhotoStatus::Skipped) {
            record.OutputPath = QStringLiteral("/dest/trip_%1.jpg").arg(i + 1);
            record.Operations = { QStringLiteral("rename"), QStringLiteral("resize"), QStringLiteral("overlay") };
            record.SourceSize = TPixelSize { 4000 + i, 3000 };
            record.SourceBytes = 1000000 + i;
            record.Quality = 90;
            record.OverlayText = QStringLiteral("© Jo\r\nSummer");
            record.Orientation = 6;
            record.Milliseconds = 40 + i;
        }
        if (record.Status == TPhotoStatus::Done || record.Status == TPhotoStatus::Warning) {
            record.OutputSize = TPixelSize { 2000, 1500 };
            record.OutputBytes = 300000 + i;
        }
        if (record.Status == TPhotoStatus::Failed)
            record.Message = QStringLiteral("ERROR: JPEG error #53: Not a JPEG file");
        report.Add(record);
    }
    TReportSummary &summary = report.Summary();
    summary.ListingSize = 7;
    summary.WallMilliseconds = 1234;
    summary.StartedAt = QStringLiteral("2026-12-10T04:30:00Z");
    summary.Version = QStringLiteral("1.2.1.20");
    summary.Options = QJsonObject { { QStringLiteral("resize"), 50 }, { QStringLiteral("rename"), true } };
    report.Summarise();
    return report;
}

TEST(RunReport, JsonValidatesAgainstTheSchemaAndReadsBackUnchanged)
{
    const TTempDir dir;
    const TRunReport report = SampleReport();
    EXPECT_EQ(report.Summary().Done, 2);
    EXPECT_EQ(report.Summary().Failed, 2);
    EXPECT_EQ(report.Summary().Warnings, 2);
    EXPECT_EQ(report.Summary().Skipped, 1);
    EXPECT_EQ(report.Summary().OutputBytes, 300000 + 300002 + 300004 + 300006);
    const QString path = dir.File(QStringLiteral("report.json"));
    report.SaveJson(path);
    EXPECT_EQ(test::ReportSchemaViolations(path), QString());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TRunReport back = TRunReport::FromJson(file.readAll(), path);
    EXPECT_EQ(back.Photos(), report.Photos());
    EXPECT_EQ(back.Summary(), report.Summary());
    EXPECT_THROW((void)TRunReport::FromJson("{\"format\":\"other\"}", path), Exception);
    EXPECT_THROW((void)TRunReport::FromJson("[1,", path), Exception);
    QByteArray hugeShard = report.ToJson();
    hugeShard.replace("\"shard\": null", "\"shard\": {\"count\": 2000000000, \"index\": 1}");
    EXPECT_THROW((void)TRunReport::FromJson(hugeShard, path), Exception);
}

// A photo's status and message come from its outcome's failure and warnings, worded as the log words them.
TEST(ReportRecorder, StatusAndMessageComeFromTheOutcome)
{
    const auto outcome = [](std::optional<TImageFailure> failure, QStringList warnings) {
        TImageOutcome made;
        made.Failure = std::move(failure);
        made.Warnings = std::move(warnings);
        return made;
    };
    const struct {
        TImageOutcome Outcome;
        TPhotoStatus Status;
        const char *Message;
    } cases[] = {
        { outcome({}, {}), TPhotoStatus::Done, "" },
        { outcome(TImageFailure { TFailureKind::Error, QStringLiteral("no room") }, {}),
            TPhotoStatus::Failed,
            "ERROR: no room" },
        { outcome({}, { QStringLiteral("short"), QStringLiteral("odd") }),
            TPhotoStatus::Warning,
            "WARNING: short; WARNING: odd" },
        { outcome(TImageFailure { TFailureKind::OverlayError, QStringLiteral("no font") }, { QStringLiteral("short") }),
            TPhotoStatus::Failed,
            "Overlay ERROR: no font; WARNING: short" },
    };
    TTempDir source;
    for (int i = 0; i < int(std::size(cases)); ++i)
        source.WriteText(QStringLiteral("p%1.jpg").arg(i), "x");
    const TFixedJob job = test::MakeJob(source.Path(), source.Path());
    TReportRecorder recorder;
    recorder.Start(job.Snapshot(), {}, QString());
    for (int i = 0; i < int(std::size(cases)); ++i)
        recorder.Add(i, TImageTask {}, cases[i].Outcome);
    const TRunReport report = recorder.Finish(false);
    ASSERT_EQ(report.Photos().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(report.Photos()[i].Status, cases[i].Status) << i;
        EXPECT_EQ(report.Photos()[i].Message, QString::fromUtf8(cases[i].Message)) << i;
    }
}

TEST(RunReport, CsvQuotesFieldsThatNeedIt)
{
    const QList<QByteArray> rows = SampleReport().ToCsv().split('\n');
    // A header, seven rows, the line break inside six overlay texts, and the empty rest after the last CR LF.
    ASSERT_EQ(rows.size(), 1 + 7 + 6 + 1);
    EXPECT_TRUE(rows[0].startsWith("position,source,output,operations,"));
    EXPECT_TRUE(rows[1].startsWith(
        "0,\"/src/photo 0, \"\"best\"\".jpg\",/dest/trip_1.jpg,rename+resize+overlay,4000,3000,2000,1500,"));
    EXPECT_TRUE(rows[1].endsWith(",90,\"\xC2\xA9 Jo\r"));

    TRunReport formula;
    TPhotoRecord record;
    record.SourcePath = QStringLiteral("=HYPERLINK(\"x\").jpg");
    record.OverlayText = QStringLiteral("@SUM(A1)");
    formula.Add(record);
    const QByteArray row = formula.ToCsv().split('\n').value(1);
    EXPECT_TRUE(row.startsWith("0,\"'=HYPERLINK(\"\"x\"\").jpg\",")) << row.toStdString();
    EXPECT_TRUE(row.contains(",'@SUM(A1),")) << row.toStdString();
}

TRunReport ShardOf(const TRunReport &whole, TShard shard)
{
    TRunReport part;
    for (const TPhotoRecord &record : whole.Photos()) {
        if (shard.Contains(record.Position))
            part.Add(record);
    }
    part.Summary() = whole.Summary();
    part.Summary().Shard = shard;
    part.Summarise();
    return part;
}

TEST(RunReport, ShardsMergeIntoTheSingleRunAndIncompleteSetsAreRefused)
{
    const TRunReport whole = SampleReport();
    const TRunReport one = ShardOf(whole, { 1, 3 });
    const TRunReport two = ShardOf(whole, { 2, 3 });
    const TRunReport three = ShardOf(whole, { 3, 3 });
    EXPECT_EQ(one.Photos().size() + two.Photos().size() + three.Photos().size(), 7U);

    const TRunReport merged = MergeReports({ three, one, two });
    EXPECT_EQ(merged.Photos(), whole.Photos());
    EXPECT_EQ(merged.Summary(), whole.Summary());

    TRunReport otherOptions = two;
    otherOptions.Summary().Options[QStringLiteral("resize")] = 40;
    const std::vector<std::vector<TRunReport>> refused {
        { one, two },
        { one, two, two, three },
        { one, otherOptions, three },
        { one, two, ShardOf(whole, { 3, 4 }) },
        {},
    };
    for (const std::vector<TRunReport> &reports : refused)
        EXPECT_THROW((void)MergeReports(reports), Exception) << reports.size();
}

// A shard's report whose photos are not exactly its share of the listing does not merge: each case is
// shard 2/3 of seven photos (positions 1 and 4) tampered with.
TEST(RunReport, AShardMergesOnlyWithExactlyItsShareOfTheListing)
{
    const TRunReport whole = SampleReport();
    const TRunReport one = ShardOf(whole, { 1, 3 });
    const TRunReport two = ShardOf(whole, { 2, 3 });
    const TRunReport three = ShardOf(whole, { 3, 3 });
    const auto tampered = [&two](const std::vector<int> &positions) {
        TRunReport part;
        part.Summary() = two.Summary();
        for (std::size_t i = 0; i < positions.size(); ++i) {
            TPhotoRecord record = two.Photos()[i % two.Photos().size()];
            record.Position = positions[i];
            part.Add(record);
        }
        part.Summarise();
        return part;
    };
    const std::vector<std::pair<std::vector<int>, const char *>> cases {
        { {}, "shard 2/3 lists 0 photos; its share of a listing of 7 is 2" },
        { { 1 }, "shard 2/3 lists 1 photos; its share of a listing of 7 is 2" },
        { { 1, 4, 7 }, "shard 2/3 lists 3 photos; its share of a listing of 7 is 2" },
        { { 1, 7 }, "shard 2/3 lists the photo at position 7, which is not its share of the listing" },
        { { 1, 3 }, "shard 2/3 lists the photo at position 3, which is not its share of the listing" },
        { { -2, 4 }, "shard 2/3 lists the photo at position -2, which is not its share of the listing" },
        { { 4, 4 }, "shard 2/3 lists the photo at position 4 twice" },
    };
    for (const auto &[positions, message] : cases) {
        try {
            (void)MergeReports({ one, tampered(positions), three });
            ADD_FAILURE() << message;
        } catch (const Exception &error) {
            EXPECT_EQ(error.Message(), QString::fromUtf8(message));
        }
    }
    EXPECT_EQ(MergeReports({ one, tampered({ 4, 1 }), three }).Photos().size(), 7U);

    // A listing size changed in every report alike leaves each shard short of its share.
    std::vector<TRunReport> grown { one, two, three };
    for (TRunReport &part : grown)
        part.Summary().ListingSize = 1000;
    EXPECT_THROW((void)MergeReports(grown), Exception);
}

TEST(RunReport, AReportFileOverTheLimitIsNotRead)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("report.json"));
    SampleReport().SaveJson(path);
    EXPECT_EQ(TRunReport::LoadJson(path).Photos(), SampleReport().Photos());
    QFile file(path);
    ASSERT_TRUE(file.resize(kMaxReportBytes + 1)); // sparse: the size is what counts
    try {
        (void)TRunReport::LoadJson(path);
        ADD_FAILURE() << "a report over the limit was read";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), path + QStringLiteral(" is larger than 64 MiB and is not read as a report"));
    }
}

TEST(Shard, ParsesKOfNAndSplitsTheListingOnceOver)
{
    EXPECT_EQ(ParseShard(QStringLiteral("2/3")), (TShard { 2, 3 }));
    EXPECT_EQ(ParseShard(QStringLiteral("1/1")), (TShard { 1, 1 }));
    for (const char *bad : { "0/3", "4/3", "3", "/3", "1/0", "-1/3", "1/ 3x", "1/99999999", "a/b", "" })
        EXPECT_FALSE(ParseShard(QString::fromLatin1(bad)).has_value()) << bad;

    for (const int count : { 1, 4, 11 }) {
        int held = 0;
        for (int index = 1; index <= count; ++index) {
            const TShard shard { index, count };
            int size = 0;
            for (int position = 0; position < 23; ++position)
                size += shard.Contains(position) ? 1 : 0;
            EXPECT_EQ(size, shard.Size(23));
            held += size;
        }
        EXPECT_EQ(held, 23);
    }
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(NumberAtPosition(7, 5), 12);
    EXPECT_EQ(NumberAtPosition(kLargest - 2, 5), kLargest);
    EXPECT_EQ(NumberAtPosition(-3, 2), -1);
}

} // namespace
} // namespace vellumar
