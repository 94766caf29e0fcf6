// Outputs made for the web: the codings' pixels (read by djpeg, not by our decoder), the size cap, the variants
// from one decode, and names from a photo's EXIF date or, without one, its file time.
#include <cstdio>
#include <ctime>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>
#include <utime.h>

#include "engine/batch_run.h"
#include "engine/image_plan.h"
#include "engine/img_utils.h"
#include "imaging/jpeg_bridge.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::TTempDir;

// A photo with fine detail everywhere, so that its size depends strongly on the quality.
std::vector<std::uint8_t> DetailedPhoto(int width, int height)
{
    QRandomGenerator random(7);
    std::vector<std::uint8_t> bgr(std::size_t(width) * height * 3);
    for (std::size_t i = 0; i < bgr.size(); ++i)
        bgr[i] = std::uint8_t((i / 3 % std::size_t(width)) / 4 + random.bounded(96));
    return test::EncodeReferenceJpeg(bgr.data(), width, height, width * 3, 95);
}

// The pixels djpeg decodes from a file, as a binary PPM.
QByteArray DjpegPixels(const QString &path)
{
    QProcess djpeg;
    djpeg.start(QStringLiteral("djpeg"), { QStringLiteral("-ppm"), path });
    djpeg.waitForFinished(60000);
    return djpeg.exitCode() == 0 ? djpeg.readAllStandardOutput() : QByteArray();
}

TEST(WebOutputs, CodingsDecodeToTheSamePixelsWithAnotherDecoder)
{
    if (QProcess::execute(QStringLiteral("djpeg"), { QStringLiteral("-version") }) < 0)
        GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    TTempDir dir;
    const QString source = dir.Write(QStringLiteral("photo.jpg"), DetailedPhoto(480, 360));
    TResizeOptions smooth { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 300 };
    const struct {
        TJpegCoding Coding;
        bool Progressive;
    } cases[] = { { TJpegCoding::Baseline, false },
        { TJpegCoding::Optimized, false },
        { TJpegCoding::Progressive, true } };
    QByteArray baselinePixels;
    std::size_t baselineBytes = 0;
    for (const auto &c : cases) {
        const TImageOutput made = ReduceJpeg(source, 85, 1.0, nullptr, smooth, { .Coding = c.Coding });
        const QString written = dir.Write(QStringLiteral("out%1.jpg").arg(int(c.Coding)), made.Bytes);
        const QByteArray pixels = DjpegPixels(written);
        ASSERT_FALSE(pixels.isEmpty());
        EXPECT_EQ(ReadJpegStreamHeader(made.Bytes).Progressive, c.Progressive);
        if (c.Coding == TJpegCoding::Baseline) {
            baselinePixels = pixels;
            baselineBytes = made.Bytes.size();
        } else {
            EXPECT_EQ(pixels, baselinePixels) << int(c.Coding);
            EXPECT_LT(made.Bytes.size(), baselineBytes) << int(c.Coding);
        }
    }
}

TEST(WebOutputs, TheCapIsNeverExceededAndTheQualityIsTheHighestThatFits)
{
    TTempDir dir;
    const QString source = dir.Write(QStringLiteral("photo.jpg"), DetailedPhoto(640, 480));
    const TResizeOptions ownSize { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 640 };
    TOverlaySettings overlay = DefaultOverlaySettings();
    for (const std::int64_t cap : { 30 << 10, 60 << 10, 120 << 10 }) {
        for (const bool withOverlay : { false, true }) {
            const TOverlaySettings *drawn = withOverlay ? &overlay : nullptr;
            const TImageOutput made =
                ReduceJpeg(source, 90, 1.0, drawn, ownSize, { .MaxBytes = cap, .MinQuality = 10 });
            EXPECT_LE(std::int64_t(made.Bytes.size()), cap) << cap;
            // The same picture without a cap at that quality gives the same bytes; one step up does not fit.
            ASSERT_LT(made.Quality, 100);
            if (!withOverlay) {
                EXPECT_EQ(ReduceJpeg(source, made.Quality, 1.0, nullptr, ownSize).Bytes, made.Bytes);
                EXPECT_GT(std::int64_t(ReduceJpeg(source, made.Quality + 1, 1.0, nullptr, ownSize).Bytes.size()), cap);
            }
        }
    }
    try {
        (void)ReduceJpeg(source, 90, 1.0, nullptr, ownSize, { .MaxBytes = 4 << 10, .MinQuality = 40 });
        ADD_FAILURE() << "a photo that cannot fit was written";
    } catch (const std::exception &error) {
        EXPECT_NE(QString::fromUtf8(error.what()).indexOf(QStringLiteral("even at quality 40: ")), -1) << error.what();
    }
}

// Each photo is decoded once, however many variants it has and whatever the main output does; the variants
// have their sizes and the log a line for each.
TEST(WebOutputs, VariantsAreWrittenFromOneDecode)
{
    const std::vector<TOutputVariant> variants { ParseOutputVariant(QStringLiteral("thumbs=60")),
        ParseOutputVariant(QStringLiteral("mid=150x100@70")) };
    const struct {
        const char *Name;
        bool Resize;
        bool Rename;
    } cases[] = { { "reduced", true, false }, { "copied", false, true } };
    for (const auto &c : cases) {
        TTempDir dir;
        const QString source = dir.File(QStringLiteral("src"));
        const QString destination = dir.File(QStringLiteral("dst"));
        QDir().mkpath(source);
        QDir().mkpath(destination);
        dir.Write(QStringLiteral("src/a.jpg"), test::MakeJpeg({ .Width = 400, .Height = 300 }));
        dir.Write(QStringLiteral("src/b.jpg"), test::MakeJpeg({ .Width = 300, .Height = 400 }));
        TFixedJob job = test::MakeJob(source, destination);
        job.Values().Resize = c.Resize;
        job.Values().ResizeOptions = { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 200 };
        job.Values().Rename = c.Rename;
        job.Values().Variants = variants;
        test::TRecordingSink sink;
        const std::uint64_t before = JpegDecodesStarted();
        const TRunSummary summary = RunBatch(job, sink);
        EXPECT_EQ(JpegDecodesStarted() - before, 2u) << c.Name;
        EXPECT_EQ(summary.Failed, 0) << sink.Lines.join(QLatin1Char('\n')).toStdString();
        // A renamed copy takes the running number as its name, in its variants too.
        const QString a = c.Rename ? QStringLiteral("1.jpg") : QStringLiteral("a.jpg");
        const QString b = c.Rename ? QStringLiteral("2.jpg") : QStringLiteral("b.jpg");
        const struct {
            QString Path;
            int Width;
            int Height;
        } written[] = { { QStringLiteral("thumbs/") + a, 60, 45 },
            { QStringLiteral("mid/") + a, 133, 100 },
            { QStringLiteral("thumbs/") + b, 45, 60 },
            { QStringLiteral("mid/") + b, 75, 100 } };
        for (const auto &w : written) {
            const TJpegHeaderFacts facts = ReadJpegStreamHeader(test::ReadBytes(destination + u'/' + w.Path));
            EXPECT_EQ(QSize(facts.Width, facts.Height), QSize(w.Width, w.Height)) << w.Path.toStdString();
            EXPECT_EQ(sink.Lines.filter(w.Path + QStringLiteral(" written: H%1 W%2").arg(w.Height).arg(w.Width)).size(),
                1)
                << w.Path.toStdString();
        }
    }
}

// "YYYY-MM-DD_HHMMSS" of seconds in local time, by the C library.
QString LocalStamp(std::time_t seconds)
{
    char text[32];
    std::tm local {};
    localtime_r(&seconds, &local);
    std::strftime(text, sizeof text, "%Y-%m-%d_%H%M%S", &local);
    return QString::fromLatin1(text);
}

TEST(WebOutputs, TemplateNamesFromTheExifDateOrTheFileTime)
{
    TTempDir dir;
    const QString source = dir.File(QStringLiteral("src"));
    QDir().mkpath(source);
    const std::vector<std::uint8_t> exif = test::MakeTiffExif({
        { { test::AsciiEntry(0x0110, "Cam/One"), test::PointerEntry(0x8769, 1) } },
        { { test::AsciiEntry(0x9003, "2021:07:14 09:05:03") } },
    });
    dir.Write(QStringLiteral("src/dated.jpg"),
        test::WithSegments(test::MakeJpeg({ .Width = 80, .Height = 60 }), { { 0xE1, exif } }));
    const QString undated = dir.Write(QStringLiteral("src/undated.jpg"), test::MakeJpeg({ .Width = 60, .Height = 80 }));
    const std::time_t fileTime = 1600000000;
    const utimbuf times { fileTime, fileTime };
    ASSERT_EQ(utime(undated.toLocal8Bit().constData(), &times), 0);
    TFixedJob job = test::MakeJob(source, dir.File(QStringLiteral("dst")));
    QDir().mkpath(dir.File(QStringLiteral("dst")));
    job.Values().Rename = true;
    job.Values().Namer.SetNumber(7);
    job.Values().Namer.SetPadding(2);
    job.Values().NameTemplate = QStringLiteral("{date}_{time}_{camera}_{name}_{n}_{w}x{h}");
    job.Values().Overlay = true;
    job.Values().OverlayTokens = true;
    job.Values().OverlaySettings.Text = QStringLiteral("{camera} {date} {w}");
    test::TRecordingSink sink;
    (void)RunBatch(job, sink);
    // The overlay's text takes the same values, with the camera's name as stored.
    EXPECT_EQ(
        PlanImageTask(job.Values(), 0, ReadPhotoFacts(source + QStringLiteral("/dated.jpg"))).OverlaySettings.Text,
        QStringLiteral("Cam/One 2021-07-14 80"));
    QStringList names = QDir(dir.File(QStringLiteral("dst"))).entryList(QDir::Files);
    names.sort();
    QStringList expected { QStringLiteral("2021-07-14_090503_Cam_One_dated_007_80x60.jpg"),
        LocalStamp(fileTime) + QStringLiteral("__undated_008_60x80.jpg") };
    expected.sort();
    EXPECT_EQ(names.join(u' ').toStdString(), expected.join(u' ').toStdString());
}

} // namespace
} // namespace vellumar
