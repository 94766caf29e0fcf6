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

QImage Reference(const QImage &stored, int orientation)
{
    QImage quarter = stored.transformed(QTransform().rotate(90));
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return quarter.mirrored(true, false);
    case 6:
        return quarter;
    case 7:
        return quarter.mirrored(false, true);
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

// Compared as colours: an 8-bit picture's reference goes through Qt's indexed-image transforms.
void ExpectSamePicture(const QImage &actual, const QImage &expected, int orientation)
{
    ASSERT_EQ(actual.size(), expected.size()) << "orientation " << orientation;
    EXPECT_EQ(actual.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32))
        << "orientation " << orientation;
}

class Orientation : public ::testing::TestWithParam<int>
{
};

TEST_P(Orientation, DecodedAndTurnedBitmapsAreTheUprightPicture)
{
    const int orientation = GetParam();
    TTempDir dir;
    for (const bool gray : { false, true }) {
        // Odd sides, so that a turn that swapped the wrong axis cannot match.
        const std::vector<std::uint8_t> jpeg = test::WithSegments(MakeJpeg({ .Width = 37, .Height = 21, .Gray = gray }),
            { { 0xE1, MakeExif({ .BigEndian = gray, .Orientation = orientation }) } });
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

} // namespace
} // namespace vellumar
