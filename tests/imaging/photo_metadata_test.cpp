// Camera data, XMP, IPTC and colour profiles through a re-encoding, on files made here.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "imaging/errors.h"
#include "imaging/exif.h"
#include "imaging/jpeg_image.h"
#include "imaging/jpeg_metadata.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::ContainsText;
using test::kExifCameraMark;
using test::kExifGpsMark;
using test::kExifThumbnailMark;
using test::MakeExif;
using test::MakeJpeg;
using test::SegmentsOf;
using test::TTempDir;
using test::WithSegments;

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;
constexpr int kApp13 = 0xED;

std::vector<std::uint8_t> Bytes(const std::string &text)
{
    return { text.begin(), text.end() };
}

// A source photo carrying each kind of segment, its EXIF in the given byte order, read back from a real file
// and written again the way a re-encoding does.
std::vector<std::uint8_t>
Reencoded(const std::vector<std::uint8_t> &source, TMetadataMode mode, bool turned, QString &warning)
{
    TTempDir dir;
    TJPEGImage input;
    input.LoadJpegFile(dir.Write(QStringLiteral("in.jpg"), source));
    const TJpegMarkers markers = ReadJpegStreamMarkers(input.CompressedData());
    TJPEGImage output;
    output.AssignBitmap(input.TakeBitmap());
    output.SetMarkers(OutputMarkers(markers, mode, turned, warning));
    output.SaveJpegFile(dir.File(QStringLiteral("out.jpg")));
    return test::ReadBytes(dir.File(QStringLiteral("out.jpg")));
}

struct TExifCase {
    bool BigEndian;
    TMetadataMode Mode;
};

class ExifKept : public ::testing::TestWithParam<TExifCase>
{
};

TEST_P(ExifKept, OrientationResetThumbnailGoneGpsAsChosen)
{
    const TExifCase c = GetParam();
    const std::vector<std::uint8_t> exif = MakeExif({ .BigEndian = c.BigEndian, .Orientation = 6 });
    ASSERT_EQ(ExifOrientation(exif), 6);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x tiff:Orientation=\"6\"/>";
    const std::string iptc = std::string("Photoshop 3.0\0", 14) + "8BIM-iptc";
    const std::vector<std::uint8_t> source = WithSegments(MakeJpeg({ .Width = 32, .Height = 16 }),
        { { kApp1, exif }, { kApp1, Bytes(xmp) }, { kApp13, Bytes(iptc) }, { 0xEC, Bytes("Ducky-other") } });

    QString warning;
    const std::vector<std::uint8_t> out = Reencoded(source, c.Mode, true, warning);
    EXPECT_TRUE(warning.isEmpty());
    const auto app1 = SegmentsOf(out, kApp1);
    ASSERT_EQ(app1.size(), 2u);
    EXPECT_TRUE(IsExifPayload(app1[0]));
    EXPECT_EQ(ExifOrientation(app1[0]), 1);
    EXPECT_LE(app1[0].size(), exif.size());
    EXPECT_TRUE(ContainsText(app1[0], kExifCameraMark));
    EXPECT_FALSE(ContainsText(app1[0], kExifThumbnailMark));
    EXPECT_EQ(ContainsText(app1[0], kExifGpsMark), c.Mode == TMetadataMode::mmKeep);
    // Without GPS the rest stays readable, and a second rewrite finds nothing more to drop.
    if (c.Mode == TMetadataMode::mmKeepNoGps) {
        EXPECT_EQ(RewriteExif(app1[0], { .RemoveGps = true }), app1[0]);
    }
    EXPECT_TRUE(ContainsText(app1[1], "tiff:Orientation=\"1\""));
    EXPECT_EQ(SegmentsOf(out, kApp13).size(), 1u);
    EXPECT_TRUE(SegmentsOf(out, 0xEC).empty());
}

INSTANTIATE_TEST_SUITE_P(ByteOrders,
    ExifKept,
    ::testing::Values(TExifCase { false, TMetadataMode::mmKeep },
        TExifCase { true, TMetadataMode::mmKeep },
        TExifCase { false, TMetadataMode::mmKeepNoGps },
        TExifCase { true, TMetadataMode::mmKeepNoGps }));

TEST(PhotoMetadata, NoneKeepsOnlyTheColourProfileSplitOverTwoChunks)
{
    // A profile too long for one segment arrives in two numbered chunks and leaves joined, byte for byte.
    std::vector<std::uint8_t> profile(70000);
    for (std::size_t i = 0; i < profile.size(); ++i)
        profile[i] = std::uint8_t(i * 7 + i / 256);
    const std::vector<std::uint8_t> source = WithSegments(MakeJpeg({ .Width = 32, .Height = 16 }),
        { { kApp1, MakeExif({}) },
            { kApp2, test::IccChunk(1, 2, profile.begin(), 40000) },
            { kApp2, test::IccChunk(2, 2, profile.begin() + 40000, 30000) } });

    QString warning;
    const std::vector<std::uint8_t> out = Reencoded(source, TMetadataMode::mmNone, false, warning);
    EXPECT_TRUE(warning.isEmpty());
    EXPECT_TRUE(SegmentsOf(out, kApp1).empty());
    EXPECT_EQ(ReadJpegStreamMarkers(out).IccProfile, profile);
    EXPECT_EQ(SegmentsOf(out, kApp2).size(), 2u);
}

TEST(PhotoMetadata, MalformedExifIsDroppedWithAWarning)
{
    std::vector<std::uint8_t> exif = MakeExif({ .BigEndian = true });
    exif[6 + 4] = 0x7F; // IFD0 far past the segment's end
    ASSERT_EQ(ExifOrientation(exif), 1);
    EXPECT_THROW((void)RewriteExif(exif, {}), EInvalidGraphic);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x/>";
    const std::vector<std::uint8_t> source =
        WithSegments(MakeJpeg({ .Width = 16, .Height = 16 }), { { kApp1, exif }, { kApp1, Bytes(xmp) } });

    QString warning;
    const std::vector<std::uint8_t> out = Reencoded(source, TMetadataMode::mmKeep, false, warning);
    EXPECT_EQ(warning, QStringLiteral("EXIF data dropped: Malformed EXIF data (IFD0 outside the segment)"));
    const auto app1 = SegmentsOf(out, kApp1);
    ASSERT_EQ(app1.size(), 1u);
    EXPECT_FALSE(IsExifPayload(app1[0]));
}

} // namespace
} // namespace vellumar
