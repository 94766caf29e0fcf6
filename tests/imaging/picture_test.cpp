#include <QImage>

#include <gtest/gtest.h>

#include "imaging/canvas.h"
#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
#include "imaging/picture.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::EncodeReferenceJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TTempDir;

TEST(Picture, LoadsByTheExtensionInLowerCase)
{
    TTempDir dir;
    const QString jpeg = dir.Write(QStringLiteral("PHOTO.JPG"), MakeJpeg({ .Width = 40, .Height = 30 }));
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&changes] {
        ++changes;
    };
    picture.LoadPictureFile(jpeg);
    TGraphic *loaded = picture.Graphic();
    ASSERT_NE(dynamic_cast<TJPEGImage *>(loaded), nullptr);
    EXPECT_EQ(loaded->Width(), 40);
    EXPECT_EQ(loaded->Height(), 30);
    EXPECT_EQ(changes, 1);

    // Refused loads keep the picture and tell nobody.
    const QString png = dir.WriteText(QStringLiteral("image.png"), "\x89PNG");
    try {
        picture.LoadPictureFile(png);
        ADD_FAILURE() << "nothing raised";
    } catch (const EInvalidGraphic &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Unknown picture file extension (.png)"));
    }
    const QString jpegAsBmp = dir.Write(QStringLiteral("photo.bmp"), MakeJpeg());
    try {
        picture.LoadPictureFile(jpegAsBmp);
        ADD_FAILURE() << "nothing raised";
    } catch (const EInvalidGraphic &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Bitmap image is not valid"));
    }
    EXPECT_EQ(picture.Graphic(), loaded);
    EXPECT_EQ(changes, 1);

    const QString bmp = dir.File(QStringLiteral("small.bmp"));
    ASSERT_TRUE(QImage(7, 5, QImage::Format_RGB888).save(bmp, "BMP"));
    picture.LoadPictureFile(bmp);
    ASSERT_NE(dynamic_cast<TBitmap *>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Graphic()->Width(), 7);
    EXPECT_EQ(picture.Graphic()->Height(), 5);
    EXPECT_EQ(changes, 2);
}

TEST(Picture, DrawnAndReencodedMatchesTheReferenceEncoder)
{
    TTempDir dir;
    TPicture picture;
    picture.LoadPictureFile(dir.Write(QStringLiteral("photo.jpeg"), MakeJpeg({ .Width = 101, .Height = 67 })));
    auto *jpeg = dynamic_cast<TJPEGImage *>(picture.Graphic());
    ASSERT_NE(jpeg, nullptr);

    TBitmap drawn;
    drawn.SetPixelFormat24();
    drawn.SetBitmapWidth(jpeg->Width());
    drawn.SetBitmapHeight(jpeg->Height());
    drawn.Canvas().DrawAt(0, 0, jpeg);
    EXPECT_EQ(drawn.Image24(), jpeg->DecodedBitmap().Image24()) << "an unscaled draw copies every pixel";

    TJPEGImage output;
    output.AssignBitmap(drawn);
    const QString saved = dir.File(QStringLiteral("saved.jpg"));
    output.SaveJpegFile(saved);
    const QImage &rows = drawn.Image();
    EXPECT_EQ(ReadBytes(saved),
        EncodeReferenceJpeg(rows.constBits(), rows.width(), rows.height(), int(rows.bytesPerLine()), 90));
}

} // namespace
} // namespace vellumar
