// Draws fuzzed overlay text with fuzzed settings onto small pictures: the renderer must give a picture
// of the source's size whatever the text, the size class, the position, the style or the font.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include "imaging/bitmap.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "overlay/jpeg_text_overlay.h"
#include "tests/fuzz/fuzz_check.h"

namespace
{

struct TPictureSize {
    int Width;
    int Height;
};

// The usual small picture, its portrait twin, one large enough for real glyphs, one narrower than
// the renderer's right margin, and a single pixel.
constexpr std::array<TPictureSize, 5> kPictures { { { 64, 48 }, { 48, 64 }, { 320, 240 }, { 8, 200 }, { 1, 1 } } };

const std::array<QString, 5> kFonts {
    QStringLiteral("Arial"),
    QStringLiteral("DejaVu Sans"),
    QStringLiteral("DejaVu Serif"),
    QString(),
    QStringLiteral("No Such Face \u00e9"),
};

std::unique_ptr<QGuiApplication> gApplication;
std::unique_ptr<QTemporaryDir> gFolder;
std::array<QString, kPictures.size()> gPicturePaths;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    using namespace vellumar;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gApplication = std::make_unique<QGuiApplication>(*argc, *argv);
    // libFuzzer leaves through exit(), after Qt's own statics are gone: the application is never
    // destroyed (registered after the pointer's destructor, this handler runs before it).
    std::atexit([] {
        (void)gApplication.release();
    });
    gFolder = std::make_unique<QTemporaryDir>();
    VELLUMAR_FUZZ_CHECK(gFolder->isValid());
    for (std::size_t i = 0; i < kPictures.size(); ++i) {
        TBitmap picture;
        picture.SetPixelFormat24();
        picture.SetBitmapWidth(kPictures[i].Width);
        picture.SetBitmapHeight(kPictures[i].Height);
        QImage &pixels = picture.MutableImage();
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x)
                pixels.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
        }
        gPicturePaths[i] = gFolder->filePath(QStringLiteral("picture%1.jpg").arg(i));
        WriteFileAtomic(gPicturePaths[i], EncodeJpegStream(picture, 90));
    }
    return 0;
}

// Layout: picture, font, size class, position, style, colour (3 bytes), flags; the rest is the text,
// UTF-8 or (flag 2) UTF-16 so that lone surrogates reach the layout too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vellumar;
    constexpr std::size_t kSettingsSize = 9;
    if (size < kSettingsSize)
        return 0;
    const std::size_t picture = data[0] % kPictures.size();
    TJPEGTextOverlay overlay;
    overlay.SourceFile = gPicturePaths[picture];
    overlay.Settings.FontName = kFonts[data[1] % kFonts.size()];
    overlay.Settings.SizeClass = data[2];
    overlay.Settings.TextPosition = data[3];
    overlay.Settings.FontStyle = data[4];
    overlay.Settings.FontColor =
        TColor(data[5]) | TColor(data[6]) << 8 | TColor(data[7]) << 16 | TColor(data[8] & 0x80) << 24;
    overlay.Settings.WordWrap = (data[8] & 1) != 0;
    const char *text = reinterpret_cast<const char *>(data + kSettingsSize);
    const auto length = qsizetype(size - kSettingsSize);
    if ((data[8] & 2) != 0) {
        std::u16string units(std::size_t(length / 2), u'\0');
        std::memcpy(units.data(), text, units.size() * 2);
        overlay.Settings.Text = QString::fromStdU16String(units);
    } else {
        overlay.Settings.Text = QString::fromUtf8(text, length);
    }
    overlay.SaveOutput = false;

    VELLUMAR_FUZZ_CHECK(overlay.ProcessFile());
    VELLUMAR_FUZZ_CHECK(overlay.OutputImage().ImageWidth() == kPictures[picture].Width);
    VELLUMAR_FUZZ_CHECK(overlay.OutputImage().ImageHeight() == kPictures[picture].Height);
    return 0;
}
