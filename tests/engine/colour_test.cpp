// Colours of CMYK, YCCK, gray and wide-gamut photos, checked against conversions made here with Little CMS
// straight from the source's components, not through the program's code.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>
#include <lcms2.h>

#include "engine/img_utils.h"
#include "imaging/jpeg_bridge.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using TBytes = std::vector<std::uint8_t>;
using namespace vellumar::test;

constexpr int kWidth = 128;
constexpr int kHeight = 96;
constexpr char kCmykProfilePath[] = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

struct TCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using TProfile = std::unique_ptr<void, TCloser>;

TBytes Saved(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    TBytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

TBytes RgbProfile(double rx, double ry, double gx, double gy, double bx, double by, bool srgbCurve)
{
    const cmsCIExyY white { 0.3127, 0.3290, 1.0 };
    const cmsCIExyYTRIPLE primaries { { rx, ry, 1.0 }, { gx, gy, 1.0 }, { bx, by, 1.0 } };
    const double srgb[5] = { 2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045 };
    cmsToneCurve *curve =
        srgbCurve ? cmsBuildParametricToneCurve(nullptr, 4, srgb) : cmsBuildGamma(nullptr, 563.0 / 256);
    cmsToneCurve *curves[3] = { curve, curve, curve };
    const TBytes bytes = Saved(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

TBytes AdobeRgbProfile()
{
    return RgbProfile(0.64, 0.33, 0.21, 0.71, 0.15, 0.06, false);
}

TBytes DisplayP3Profile()
{
    return RgbProfile(0.680, 0.320, 0.265, 0.690, 0.150, 0.060, true);
}

TBytes GrayProfile()
{
    cmsToneCurve *curve = cmsBuildGamma(nullptr, 1.8);
    const TBytes bytes = Saved(cmsCreateGrayProfile(cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return bytes;
}

TBytes CmykProfile()
{
    std::ifstream in(kCmykProfilePath, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

// Smooth pictures with saturated corners, stored as the encoder takes them (CMYK inverted, as Adobe writes).
TBytes Pixels(int components)
{
    TBytes rows;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int a = x * 255 / (kWidth - 1);
            const int b = y * 255 / (kHeight - 1);
            if (components == 1)
                rows.push_back(std::uint8_t((a + b) / 2));
            else if (components == 3)
                rows.insert(rows.end(), { std::uint8_t(a), std::uint8_t(255 - b), std::uint8_t((a + b) / 4) });
            else
                rows.insert(rows.end(),
                    { std::uint8_t(255 - a),
                        std::uint8_t(255 - b),
                        std::uint8_t(255 - (a + b) / 3),
                        std::uint8_t(255 - b / 3) });
        }
    }
    return rows;
}

// The source's own components converted to sRGB (blue, green, red) as a colour-managed reader does.
TBytes Reference(const TBytes &jpeg, int components, const TBytes &profile)
{
    const TBytes stored = DecodeComponentsJpeg(jpeg);
    const TProfile source(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
    const TProfile srgb(cmsCreate_sRGBProfile());
    const cmsUInt32Number format = components == 4 ? TYPE_CMYK_8_REV : (components == 1 ? TYPE_GRAY_8 : TYPE_BGR_8);
    cmsHTRANSFORM transform = cmsCreateTransform(source.get(),
        format,
        srgb.get(),
        TYPE_BGR_8,
        INTENT_PERCEPTUAL,
        cmsFLAGS_BLACKPOINTCOMPENSATION);
    TBytes out(std::size_t(kWidth) * kHeight * 3);
    cmsDoTransform(transform, stored.data(), out.data(), cmsUInt32Number(kWidth * kHeight));
    cmsDeleteTransform(transform);
    return out;
}

// Mean absolute difference per sample between an output and the full-size reference it was reduced from.
double Distance(const TBytes &output, int width, const TBytes &reference)
{
    const int step = kWidth / width;
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const std::size_t pixel = i / 3;
        const std::size_t x = pixel % std::size_t(width) * std::size_t(step) + std::size_t(step / 2);
        const std::size_t y = pixel / std::size_t(width) * std::size_t(step) + std::size_t(step / 2);
        sum += std::abs(int(output[i]) - int(reference[(y * kWidth + x) * 3 + i % 3]));
        ++count;
    }
    return sum / double(count);
}

cmsColorSpaceSignature ProfileSpace(const TBytes &profile)
{
    const TProfile opened(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
    return opened ? cmsGetColorSpace(opened.get()) : cmsColorSpaceSignature(0);
}

enum class TProfileWritten { Source, Srgb, None };

struct TColourCase {
    const char *Name;
    int Components;
    bool Ycck;
    TBytes (*Profile)();
    bool ToSrgb;
    TProfileWritten Written;
};

class ColourOfOutput : public ::testing::TestWithParam<TColourCase>
{
};

TEST_P(ColourOfOutput, FitsItsProfileAndTheManagedReference)
{
    const TColourCase &c = GetParam();
    const TBytes profile = c.Profile();
    if (profile.empty())
        GTEST_SKIP() << kCmykProfilePath << " is missing (Debian package libgs-common)";
    TTempDir dir;
    const TBytes jpeg = EncodeComponentsJpeg(Pixels(c.Components),
        kWidth,
        kHeight,
        c.Components,
        { .Quality = 98, .FullChroma = true, .Ycck = c.Ycck, .Icc = profile });
    const QString source = dir.Write(QStringLiteral("photo.jpg"), jpeg);
    // Where nothing is converted the reference is the stored colour itself.
    const TBytes reference =
        c.Written == TProfileWritten::Srgb ? Reference(jpeg, c.Components, profile) : DecodeComponentsJpeg(jpeg);
    const TPhotoOptions photo { .ToSrgb = c.ToSrgb };
    TOverlaySettings noText;
    noText.Text.clear();

    const struct {
        const char *Mode;
        TImageOutput Output;
    } outputs[] = {
        { "reduce", ReduceJpeg(source, 100, 0.5, nullptr, {}, photo) },
        { "overlay", OverlayJpeg(source, dir.File(QStringLiteral("out.jpg")), noText, photo) },
        { "both", ReduceJpeg(source, 100, 0.5, &noText, {}, photo) },
    };
    for (const auto &[mode, output] : outputs) {
        SCOPED_TRACE(mode);
        int width = 0;
        int height = 0;
        int components = 0;
        const TBytes pixels = DecodeReferenceJpeg(output.Bytes, &width, &height, &components);
        EXPECT_EQ(components, 3);
        const TBytes written = ReadJpegStreamMarkers(output.Bytes).IccProfile;
        switch (c.Written) {
        case TProfileWritten::Source:
            EXPECT_EQ(written, profile);
            break;
        case TProfileWritten::Srgb:
            EXPECT_EQ(ProfileSpace(written), cmsSigRgbData);
            EXPECT_NE(written, profile);
            break;
        case TProfileWritten::None:
            EXPECT_TRUE(written.empty());
            break;
        }
        // Unconverted CMYK has no stored colour to compare with; the plain conversion has its own tests.
        if (c.Components != 3 && c.Written != TProfileWritten::Srgb)
            continue;
        EXPECT_LE(Distance(pixels, width, reference), 2.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources,
    ColourOfOutput,
    ::testing::Values(TColourCase { "Cmyk", 4, false, CmykProfile, false, TProfileWritten::Srgb },
        TColourCase { "Ycck", 4, true, CmykProfile, false, TProfileWritten::Srgb },
        TColourCase { "Gray", 1, false, GrayProfile, false, TProfileWritten::Srgb },
        TColourCase { "AdobeRgbKept", 3, false, AdobeRgbProfile, false, TProfileWritten::Source },
        TColourCase { "AdobeRgbToSrgb", 3, false, AdobeRgbProfile, true, TProfileWritten::Srgb },
        TColourCase { "DisplayP3ToSrgb", 3, false, DisplayP3Profile, true, TProfileWritten::Srgb },
        // A profile that does not describe RGB is not written with RGB pixels.
        TColourCase { "RgbWithCmykProfile", 3, false, CmykProfile, false, TProfileWritten::None },
        TColourCase { "CmykWithGrayProfile", 4, false, GrayProfile, false, TProfileWritten::None }),
    [](const ::testing::TestParamInfo<TColourCase> &param) {
        return std::string(param.param.Name);
    });

TEST(ColourOfOutput, KeptExifComesFirstAfterStartOfImage)
{
    TTempDir dir;
    const QString source = dir.Write(QStringLiteral("exif.jpg"),
        WithSegments(MakeJpeg({ .Width = 32, .Height = 16 }), { { 0xE1, MakeExif({}) } }));
    for (const TMetadataMode mode : { TMetadataMode::mmNone, TMetadataMode::mmKeep }) {
        const TBytes out = ReduceJpeg(source, 90, 0.5, nullptr, {}, { .Metadata = mode }).Bytes;
        ASSERT_GT(out.size(), 12u);
        const bool kept = mode == TMetadataMode::mmKeep;
        // EXIF's TIFF header then sits at byte 12, as in a camera's file; JFIF follows it.
        EXPECT_EQ(out[3], kept ? 0xE1 : 0xE0);
        EXPECT_EQ(std::string(out.begin() + 6, out.begin() + 10), kept ? "Exif" : "JFIF");
        const std::size_t next = 4 + (std::size_t(out[4]) << 8 | out[5]);
        EXPECT_EQ(out[next + 1], kept ? 0xE0 : 0xDB);
    }
}

} // namespace
} // namespace vellumar
