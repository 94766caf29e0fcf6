// All eight EXIF orientations, on real files, against Qt's own mirroring and rotation of the stored picture.
#include <QTransform>

#include <gtest/gtest.h>

#include "imaging/jpeg_image.h"
#include "imaging/jpeg_metadata.h"
#include "imaging/orientation.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeExif;
using test::MakeJpeg;
using test::TTempDir;

QImage Reference(const QImage &stored, TOrientation orientation)
{
    QImage quarter = stored.transformed(QTransform().rotate(90));
    switch (orientation) {
    case TOrientation::FlipHorizontal:
        return stored.mirrored(true, false);
    case TOrientation::Rotate180:
        return stored.mirrored(true, true);
    case TOrientation::FlipVertical:
        return stored.mirrored(false, true);
    case TOrientation::Transpose:
        return quarter.mirrored(true, false);
    case TOrientation::Rotate90:
        return quarter;
    case TOrientation::Transverse:
        return quarter.mirrored(false, true);
    case TOrientation::Rotate270:
        return stored.transformed(QTransform().rotate(270));
    case TOrientation::Normal:
        break;
    }
    return stored;
}

// Compared as colours: an 8-bit picture's reference goes through Qt's indexed-image transforms.
void ExpectSamePicture(const QImage &actual, const QImage &expected, TOrientation orientation)
{
    ASSERT_EQ(actual.size(), expected.size()) << "orientation " << ExifValue(orientation);
    EXPECT_EQ(actual.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32))
        << "orientation " << ExifValue(orientation);
}

class Orientation : public ::testing::TestWithParam<int>
{
};

TEST_P(Orientation, DecodedAndTurnedBitmapsAreTheUprightPicture)
{
    const TOrientation orientation = OrientationFromExif(GetParam());
    ASSERT_EQ(ExifValue(orientation), GetParam());
    TTempDir dir;
    for (const bool gray : { false, true }) {
        // Odd sides, so that a turn that swapped the wrong axis cannot match.
        const std::vector<std::uint8_t> jpeg = test::WithSegments(MakeJpeg({ .Width = 37, .Height = 21, .Gray = gray }),
            { { 0xE1, MakeExif({ .BigEndian = gray, .Orientation = GetParam() }) } });
        TJPEGImage image;
        image.LoadJpegFile(dir.Write(QStringLiteral("photo.jpg"), jpeg));
        ASSERT_EQ(MarkersOrientation(ReadJpegStreamMarkers(image.CompressedData())), orientation);
        const TBitmap stored = image.DecodedBitmap();
        const QImage expected = Reference(stored.Image(), orientation);

        ExpectSamePicture(OrientBitmap(stored, orientation).Image(), expected, orientation);
        TJPEGImage fresh;
        fresh.LoadJpegFile(dir.File(QStringLiteral("photo.jpg")));
        const TBitmap upright = fresh.TakeUprightBitmap(orientation);
        EXPECT_EQ(upright.PixelFormat(), stored.PixelFormat());
        ExpectSamePicture(upright.Image(), expected, orientation);
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, Orientation, ::testing::Range(1, 9));

// A number no reader can use must not index the table or turn the picture.
TEST(OrientationFromExif, ValuesOutsideOneToEightAreNormal)
{
    for (const std::int64_t value : { std::int64_t(0), std::int64_t(9), std::int64_t(-1), std::int64_t(65535) })
        EXPECT_EQ(OrientationFromExif(value), TOrientation::Normal) << value;
}

} // namespace
} // namespace vellumar
