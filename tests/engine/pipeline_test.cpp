#include <csignal>
#include <ostream>
#include <string>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "imaging/errors.h"
#include "overlay/jpeg_text_overlay.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::DecodeReferenceJpeg;
using test::EncodeReferenceJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

using TBytes = std::vector<std::uint8_t>;

class TFixedOverlay : public TOverlaySettingsProvider
{
public:
    TFixedOverlay()
    {
        mSettings.Text = QStringLiteral("Vellumar\r\nproof copy");
        mSettings.FontName = QStringLiteral("DejaVu Sans");
        mSettings.FontColor = 0x0000FF;
        mSettings.SizeClass = 1;
        mSettings.TextPosition = 8;
    }
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override { return mSettings; }

private:
    TOverlaySettings mSettings;
};

struct TJpegFacts {
    int Width = 0;
    int Height = 0;
    int Components = 0;
};

TJpegFacts Inspect(const QString &path)
{
    TJpegFacts facts;
    (void)DecodeReferenceJpeg(ReadBytes(path), &facts.Width, &facts.Height, &facts.Components);
    return facts;
}

struct TSegment {
    std::uint8_t Marker = 0;
    TBytes Payload;
};

// The marker segments from SOI up to and including the first SOS.
std::vector<TSegment> HeaderSegments(const TBytes &jpeg)
{
    std::vector<TSegment> segments;
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        segments.push_back({ jpeg[at + 1], TBytes(jpeg.begin() + long(at) + 4, jpeg.begin() + long(at + 2 + length)) });
        if (jpeg[at + 1] == 0xDA)
            break;
        at += 2 + length;
    }
    return segments;
}

std::vector<TBytes> QuantTables(const TBytes &jpeg)
{
    std::vector<TBytes> tables;
    for (const TSegment &segment : HeaderSegments(jpeg)) {
        if (segment.Marker == 0xDB)
            tables.push_back(segment.Payload);
    }
    return tables;
}

bool HasMarker(const TBytes &jpeg, std::uint8_t marker)
{
    for (const TSegment &segment : HeaderSegments(jpeg)) {
        if (segment.Marker == marker)
            return true;
    }
    return false;
}

// The quantisation tables depend on the quality alone, so any pixels give the reference ones.
std::vector<TBytes> ReferenceTables(int quality)
{
    const TBytes pixels(16 * 16 * 3, 100);
    return QuantTables(EncodeReferenceJpeg(pixels.data(), 16, 16, 16 * 3, quality));
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

template<typename TError, typename TCall>
QString MessageOf(TCall &&call)
{
    try {
        call();
    } catch (const TError &error) {
        return error.Message();
    } catch (const std::exception &error) {
        ADD_FAILURE() << "unexpected error: " << error.what();
        return {};
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

// ---- Size arithmetic ---------------------------------------------------------------------------

struct TSizeCase {
    int SourceWidth;
    int SourceHeight;
    int Percent;
    int WrittenWidth;
    int WrittenHeight;
    int ReportedHeight;
    int ReportedWidth;
};

// Printed into the test names that CTest lists, so they read as the table's row.
void PrintTo(const TSizeCase &size, std::ostream *out)
{
    *out << size.SourceWidth << "x" << size.SourceHeight << " p" << size.Percent;
}

class ResizeSizeTable : public ::testing::TestWithParam<TSizeCase>
{
};

TEST_P(ResizeSizeTable, WritesTheWholePartAndReportsTheTargetRectangle)
{
    const TSizeCase &size = GetParam();
    TTempDir dir;
    const QString source = dir.Write(QStringLiteral("photo.jpg"),
        MakeJpeg({ .Width = size.SourceWidth, .Height = size.SourceHeight, .Quality = 20 }));
    const QString destination = dir.File(QStringLiteral("reduced.jpg"));
    const TFixedOverlay overlay;
    TReportedSize reported;
    ASSERT_TRUE(ResizeJpegFile(source, destination, 75, ScaleFromPercent(size.Percent), false, overlay, reported));
    EXPECT_EQ(reported.Height, size.ReportedHeight);
    EXPECT_EQ(reported.Width, size.ReportedWidth);
    const TJpegFacts written = Inspect(destination);
    EXPECT_EQ(written.Width, size.WrittenWidth);
    EXPECT_EQ(written.Height, size.WrittenHeight);
}

INSTANTIATE_TEST_SUITE_P(Pipeline,
    ResizeSizeTable,
    ::testing::Values(TSizeCase { 1024, 768, 50, 512, 384, 384, 512 },
        TSizeCase { 1001, 801, 50, 500, 400, 401, 501 },
        TSizeCase { 1000, 750, 10, 900, 675, 675, 900 },
        TSizeCase { 3000, 2000, 30, 2099, 1399, 1400, 2100 },
        TSizeCase { 100, 100, 1, 98, 98, 99, 99 },
        TSizeCase { 4000, 3000, 75, 1000, 750, 750, 1000 },
        TSizeCase { 640, 480, 99, 6, 4, 4, 6 }),
    [](const ::testing::TestParamInfo<TSizeCase> &row) {
        return std::to_string(row.param.SourceWidth) + "x" + std::to_string(row.param.SourceHeight) + "_p"
            + std::to_string(row.param.Percent);
    });

TEST(Pipeline, AReductionToZeroPixelsFailsAndWritesNothing)
{
    TTempDir dir;
    const QString source = dir.Write(QStringLiteral("thin.jpg"), MakeJpeg({ .Width = 1, .Height = 300 }));
    const TBytes previous = MakeJpeg({ .Width = 8, .Height = 8 });
    const QString destination = dir.Write(QStringLiteral("out.jpg"), previous);
    const TFixedOverlay overlay;
    TReportedSize reported;
    EXPECT_EQ(MessageOf<Exception>([&] {
        (void)ResizeJpegFile(source, destination, 75, ScaleFromPercent(50), true, overlay, reported);
    }),
        QStringLiteral("Cannot reduce 1 x 300 pixels: the result would be 0 x 150 pixels"));
    EXPECT_EQ(ReadBytes(destination), previous);
    EXPECT_EQ(Entries(dir.Path()), QStringList({ QStringLiteral("out.jpg"), QStringLiteral("thin.jpg") }));
}

// ---- Failures, row by row ------------------------------------------------------------------------

class PipelineFailures : public ::testing::Test
{
protected:
    TTempDir Dir;
    TFixedOverlay Overlay;
    TReportedSize Reported { -7, -7 };

    bool Copy(const QString &source, const QString &destination) { return CopyImageFile(source, destination); }
    bool Resize(const QString &source, const QString &destination)
    {
        return ResizeJpegFile(source, destination, 75, ScaleFromPercent(50), false, Overlay, Reported);
    }
    void AddOverlay(const QString &source, const QString &destination)
    {
        AddOverlayToFile(source, destination, Overlay);
    }
    QString Photo() { return Dir.Write(QStringLiteral("photo.jpg"), MakeJpeg({ .Width = 80, .Height = 60 })); }
};

TEST_F(PipelineFailures, MissingSource)
{
    const QString source = Dir.File(QStringLiteral("gone.jpg"));
    const QString destination = Dir.File(QStringLiteral("out.jpg"));
    EXPECT_FALSE(Copy(source, destination));
    EXPECT_FALSE(Resize(source, destination));
    EXPECT_EQ(Reported.Height, -7) << "no size is reported";
    EXPECT_EQ(MessageOf<EOverlayException>([&] {
        AddOverlay(source, destination);
    }),
        QStringLiteral("Error opening %1 - Error: Cannot open file %1").arg(source));
    EXPECT_TRUE(Entries(Dir.Path()).isEmpty());
}

TEST_F(PipelineFailures, EmptySource)
{
    const QString source = Dir.Write(QStringLiteral("empty.jpg"), {});
    const QString destination = Dir.File(QStringLiteral("out.jpg"));
    EXPECT_FALSE(Copy(source, destination));
    EXPECT_FALSE(QFile::exists(destination));
    EXPECT_TRUE(MessageOf<EJPEG>([&] {
        (void)Resize(source, destination);
    }).startsWith("JPEG error #"));
    // The codec's own error passes on, unwrapped.
    EXPECT_TRUE(MessageOf<EJPEG>([&] {
        AddOverlay(source, destination);
    }).startsWith("JPEG error #"));
    EXPECT_EQ(Entries(Dir.Path()), QStringList { QStringLiteral("empty.jpg") });
}

TEST_F(PipelineFailures, TextNamedJpg)
{
    const QString source = Dir.WriteText(QStringLiteral("notes.jpg"), "not a picture\n");
    const QString copy = Dir.File(QStringLiteral("copy.jpg"));
    // A plain copy takes only a JPEG: a link put in a photo's place cannot publish another file.
    QString reason;
    EXPECT_FALSE(CopyImageFile(source, copy, &reason));
    EXPECT_EQ(reason, QStringLiteral("%1 is not a JPEG file").arg(source));
    EXPECT_FALSE(QFile::exists(copy));
    const QString destination = Dir.File(QStringLiteral("out.jpg"));
    EXPECT_TRUE(MessageOf<EJPEG>([&] {
        (void)Resize(source, destination);
    }).startsWith("JPEG error #"));
    EXPECT_TRUE(MessageOf<EOverlayException>([&] {
        AddOverlay(source, destination);
    }).startsWith(QStringLiteral("Error opening %1 - Error: JPEG error #").arg(source)));
    EXPECT_FALSE(QFile::exists(destination));
}

TEST_F(PipelineFailures, MissingDestinationFolder)
{
    const QString source = Photo();
    const QString destination = Dir.File(QStringLiteral("missing/out.jpg"));
    EXPECT_FALSE(Copy(source, destination));
    EXPECT_EQ(MessageOf<EFCreateError>([&] {
        (void)Resize(source, destination);
    }),
        QStringLiteral("Cannot create file %1: No such file or directory").arg(destination));
    EXPECT_NO_THROW(AddOverlay(source, destination)) << "a missing folder is skipped quietly";
    EXPECT_EQ(Entries(Dir.Path()), QStringList { QStringLiteral("photo.jpg") });
}

TEST_F(PipelineFailures, UnwritableDestination)
{
    const QString source = Photo();
    // A folder part that is a regular file fails for root too.
    const QString blocker = Dir.WriteText(QStringLiteral("blocker"), "file\n");
    const QString underFile = blocker + QStringLiteral("/out.jpg");
    EXPECT_FALSE(Copy(source, underFile));
    EXPECT_EQ(MessageOf<EFCreateError>([&] {
        (void)Resize(source, underFile);
    }),
        QStringLiteral("Cannot create file %1: Not a directory").arg(underFile));
    EXPECT_NO_THROW(AddOverlay(source, underFile)) << "not a folder: skipped like a missing one";

    // A destination that is a folder: the final rename fails and the folder stays as it was.
    ASSERT_TRUE(QDir(Dir.Path()).mkdir(QStringLiteral("taken.jpg")));
    const QString folder = Dir.File(QStringLiteral("taken.jpg"));
    EXPECT_FALSE(Copy(source, folder));
    EXPECT_EQ(MessageOf<EFCreateError>([&] {
        (void)Resize(source, folder);
    }),
        QStringLiteral("Cannot create file %1: Is a directory").arg(folder));
    EXPECT_EQ(MessageOf<EOverlayException>([&] {
        AddOverlay(source, folder);
    }),
        QStringLiteral("Error saving %1 - Error: Cannot create file %1: Is a directory").arg(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(Entries(folder).isEmpty());
    EXPECT_EQ(Entries(Dir.Path()),
        QStringList({ QStringLiteral("blocker"), QStringLiteral("photo.jpg"), QStringLiteral("taken.jpg") }))
        << "no temporary file is left behind";
}

TEST_F(PipelineFailures, ReadOnlyDestinationFolder)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    const QString source = Photo();
    ASSERT_TRUE(QDir(Dir.Path()).mkdir(QStringLiteral("locked")));
    const QString locked = Dir.File(QStringLiteral("locked"));
    ASSERT_EQ(::chmod(locked.toUtf8().constData(), 0555), 0);
    const QString destination = locked + QStringLiteral("/out.jpg");
    EXPECT_FALSE(Copy(source, destination));
    EXPECT_EQ(MessageOf<EFCreateError>([&] {
        (void)Resize(source, destination);
    }),
        QStringLiteral("Cannot create file %1: No such file or directory").arg(destination));
    EXPECT_EQ(MessageOf<EOverlayException>([&] {
        AddOverlay(source, destination);
    }),
        QStringLiteral("Error saving %1 - Error: Cannot create file %1").arg(destination));
    EXPECT_TRUE(Entries(locked).isEmpty());
    ::chmod(locked.toUtf8().constData(), 0755);
}

// Restores the process's file size limit and SIGXFSZ disposition on every way out.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        mPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &mPrevious);
        rlimit limited = mPrevious;
        limited.rlim_cur = bytes;
        mActive = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &mPrevious);
        std::signal(SIGXFSZ, mPreviousHandler);
    }
    TFileSizeLimit(const TFileSizeLimit &) = delete;
    TFileSizeLimit &operator=(const TFileSizeLimit &) = delete;
    [[nodiscard]] bool Active() const { return mActive; }

private:
    rlimit mPrevious {};
    void (*mPreviousHandler)(int) = SIG_DFL;
    bool mActive = false;
};

// The overlay after a reduction is drawn in memory and written once: the bytes are those of writing the
// reduction at its quality and overlaying that file, and a failed write leaves nothing behind.
TEST_F(PipelineFailures, AReducedOverlaidPhotoIsWrittenOnceWithTheTwoStepBytes)
{
    for (const TJpegFixtureOptions &options : { TJpegFixtureOptions { .Width = 401, .Height = 299, .Quality = 95 },
             TJpegFixtureOptions { .Width = 120, .Height = 90, .Gray = true } }) {
        const QString source = Dir.Write(QStringLiteral("photo.jpg"), MakeJpeg(options));
        const QString reduced = Dir.File(QStringLiteral("reduced.jpg"));
        const QString twoSteps = Dir.File(QStringLiteral("two.jpg"));
        const QString oneStep = Dir.File(QStringLiteral("one.jpg"));
        ASSERT_TRUE(ResizeJpegFile(source, reduced, 40, ScaleFromPercent(30), false, Overlay, Reported));
        AddOverlayToFile(reduced, twoSteps, Overlay);
        ASSERT_TRUE(ResizeJpegFile(source, oneStep, 40, ScaleFromPercent(30), true, Overlay, Reported));
        EXPECT_EQ(ReadBytes(oneStep), ReadBytes(twoSteps)) << options.Width;
    }

    const QString source =
        Dir.Write(QStringLiteral("photo.jpg"), MakeJpeg({ .Width = 400, .Height = 300, .Quality = 95 }));
    const QString destination = Dir.File(QStringLiteral("out.jpg"));
    {
        // The reduced photo alone would fit under the limit; the overlaid one does not.
        ASSERT_TRUE(ResizeJpegFile(source, destination, 40, ScaleFromPercent(50), false, Overlay, Reported));
        const std::size_t plainSize = ReadBytes(destination).size();
        ASSERT_TRUE(QFile::remove(destination));
        TFileSizeLimit limit(plainSize + 1);
        ASSERT_TRUE(limit.Active());
        EXPECT_EQ(MessageOf<EWriteError>([&] {
            (void)ResizeJpegFile(source, destination, 40, ScaleFromPercent(50), true, Overlay, Reported);
        }),
            QStringLiteral("Stream write error: File too large (%1)").arg(destination));
    }
    EXPECT_FALSE(QFile::exists(destination));
    EXPECT_EQ(Entries(Dir.Path()),
        QStringList({ QStringLiteral("one.jpg"),
            QStringLiteral("photo.jpg"),
            QStringLiteral("reduced.jpg"),
            QStringLiteral("two.jpg") }));
}

// ---- Destinations ---------------------------------------------------------------------------------

TEST(Pipeline, ACopyKeepsEveryByteAndReplacesAnOlderFile)
{
    TTempDir dir;
    const TBytes photo = MakeJpeg({ .Width = 50, .Height = 40, .Comment = "kept by a copy" });
    const QString source = dir.Write(QStringLiteral("photo.jpg"), photo);
    const QString destination = dir.Write(QStringLiteral("Holiday1.jpg"), MakeJpeg({ .Width = 300, .Height = 200 }));
    EXPECT_TRUE(CopyImageFile(source, destination));
    EXPECT_EQ(ReadBytes(destination), photo);
    EXPECT_EQ(ReadBytes(source), photo);
}

TEST(Pipeline, TheSourceAsDestinationIsReplacedOnlyBySuccess)
{
    TTempDir dir;
    const TFixedOverlay overlay;
    TReportedSize reported;
    const QString photo = dir.Write(QStringLiteral("photo.jpg"), MakeJpeg({ .Width = 120, .Height = 90 }));
    ASSERT_TRUE(ResizeJpegFile(photo, photo, 75, ScaleFromPercent(50), false, overlay, reported));
    const TJpegFacts reduced = Inspect(photo);
    EXPECT_EQ(reduced.Width, 60);
    EXPECT_EQ(reduced.Height, 45);

    const QString text = dir.WriteText(QStringLiteral("notes.jpg"), "not a picture\n");
    const TBytes before = ReadBytes(text);
    EXPECT_THROW((void)ResizeJpegFile(text, text, 75, ScaleFromPercent(50), true, overlay, reported), EJPEG);
    EXPECT_THROW(AddOverlayToFile(text, text, overlay), EOverlayException);
    EXPECT_EQ(ReadBytes(text), before);
    EXPECT_EQ(Entries(dir.Path()), QStringList({ QStringLiteral("notes.jpg"), QStringLiteral("photo.jpg") }));
}

// ---- What reaches the output ------------------------------------------------------------------

TEST(Pipeline, TheOverlayDecidesTheFinalQuality)
{
    TTempDir dir;
    const TFixedOverlay overlay;
    TReportedSize reported;
    const QString source = dir.Write(QStringLiteral("photo.jpg"), MakeJpeg({ .Width = 200, .Height = 150 }));
    const QString plain = dir.File(QStringLiteral("plain.jpg"));
    const QString overlaid = dir.File(QStringLiteral("overlaid.jpg"));
    ASSERT_TRUE(ResizeJpegFile(source, plain, 40, ScaleFromPercent(50), false, overlay, reported));
    ASSERT_TRUE(ResizeJpegFile(source, overlaid, 40, ScaleFromPercent(50), true, overlay, reported));
    ASSERT_NE(ReferenceTables(40), ReferenceTables(90));
    EXPECT_EQ(QuantTables(ReadBytes(plain)), ReferenceTables(40));
    EXPECT_EQ(QuantTables(ReadBytes(overlaid)), ReferenceTables(90));
    EXPECT_EQ(Inspect(overlaid).Width, 100);
    EXPECT_EQ(Inspect(overlaid).Height, 75);
}

TEST(Pipeline, OnlyPixelsReachTheOutput)
{
    TTempDir dir;
    const TFixedOverlay overlay;
    TReportedSize reported;

    // A camera-style APP1 "Exif" segment right after SOI, and a comment.
    TBytes photo = MakeJpeg({ .Width = 96, .Height = 64, .Comment = "camera comment" });
    const std::string exif("Exif\0\0MM\0*\0\0\0\x08\0\0", 16);
    TBytes app1 { 0xFF, 0xE1, 0, std::uint8_t(exif.size() + 2) };
    app1.insert(app1.end(), exif.begin(), exif.end());
    photo.insert(photo.begin() + 2, app1.begin(), app1.end());
    ASSERT_TRUE(HasMarker(photo, 0xE1));
    ASSERT_TRUE(HasMarker(photo, 0xFE));
    const QString source = dir.Write(QStringLiteral("photo.jpg"), photo);
    const QString gray = dir.Write(QStringLiteral("gray.jpg"), MakeJpeg({ .Width = 96, .Height = 64, .Gray = true }));

    for (const QString &input : { source, gray }) {
        const QString reduced = dir.File(QStringLiteral("reduced.jpg"));
        const QString overlaid = dir.File(QStringLiteral("overlaid.jpg"));
        const QString both = dir.File(QStringLiteral("both.jpg"));
        ASSERT_TRUE(ResizeJpegFile(input, reduced, 60, ScaleFromPercent(25), false, overlay, reported));
        AddOverlayToFile(input, overlaid, overlay);
        ASSERT_TRUE(ResizeJpegFile(input, both, 60, ScaleFromPercent(25), true, overlay, reported));
        for (const QString &output : { reduced, overlaid, both }) {
            const TBytes bytes = ReadBytes(output);
            EXPECT_FALSE(HasMarker(bytes, 0xE1)) << output.toStdString();
            EXPECT_FALSE(HasMarker(bytes, 0xFE)) << output.toStdString();
            EXPECT_EQ(Inspect(output).Components, 3) << output.toStdString();
        }
    }
}

} // namespace
} // namespace vellumar
