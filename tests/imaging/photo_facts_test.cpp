// A photo's facts from its header and markers, read once, on files made here.
#include <string>

#include <gtest/gtest.h>

#include "imaging/photo_facts.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

std::vector<std::uint8_t> Payload(const std::string &text)
{
    return { text.begin(), text.end() };
}

TEST(PhotoFacts, HeaderAndMarkersAreReadInOnePass)
{
    const std::vector<std::uint8_t> profile(300, 7);
    const std::vector<test::TSegment> allMarkers {
        { 0xE1, test::MakeExif({ .Orientation = 6 }) },
        { 0xE1, Payload(std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x/>") },
        { 0xED, Payload(std::string("Photoshop 3.0\0", 14)) },
        { 0xE2, test::IccChunk(1, 1, profile.begin(), profile.size()) },
    };
    // Markers of more than the head that is read first put the frame further on: the whole file is read then.
    const std::vector<test::TSegment> longMarkers(70, { 0xE1, std::vector<std::uint8_t>(65000, 'x') });
    const struct {
        const char *Name;
        test::TJpegFixtureOptions Photo;
        std::vector<test::TSegment> Markers;
        int Components;
        bool Progressive, FourComponents;
        TOrientation Orientation;
        TMetadataPresent Present;
    } cases[] {
        { "plain", {}, {}, 3, false, false, TOrientation::Normal, {} },
        { "gray progressive, all markers",
            { .Gray = true, .Progressive = true },
            allMarkers,
            1,
            true,
            false,
            TOrientation::Rotate90,
            { .Icc = true, .Exif = true, .Xmp = true, .Iptc = true } },
        { "cmyk", { .Cmyk = true }, {}, 4, false, true, TOrientation::Normal, {} },
        { "markers beyond the head", {}, longMarkers, 3, false, false, TOrientation::Normal, {} },
    };
    const test::TTempDir dir;
    for (const auto &c : cases) {
        const std::vector<std::uint8_t> bytes = test::WithSegments(test::MakeJpeg(c.Photo), c.Markers);
        dir.Write(QStringLiteral("a.jpg"), bytes);
        const TPhotoFacts facts = ReadPhotoFacts(dir.File(QStringLiteral("a.jpg")));
        ASSERT_TRUE(facts.Read) << c.Name << facts.Problem.toStdString();
        EXPECT_EQ(facts.FileBytes, std::int64_t(bytes.size())) << c.Name;
        EXPECT_EQ(facts.Header.Width, c.Photo.Width) << c.Name;
        EXPECT_EQ(facts.Header.Components, c.Components) << c.Name;
        EXPECT_EQ(facts.Header.Progressive, c.Progressive) << c.Name;
        EXPECT_EQ(facts.Header.FourComponents, c.FourComponents) << c.Name;
        EXPECT_EQ(facts.Orientation, c.Orientation) << c.Name;
        EXPECT_EQ(facts.SwapsSides(), c.Orientation == TOrientation::Rotate90) << c.Name;
        EXPECT_EQ(facts.Present.Icc, c.Present.Icc) << c.Name;
        EXPECT_EQ(facts.Present.Exif, c.Present.Exif) << c.Name;
        EXPECT_EQ(facts.Present.Xmp, c.Present.Xmp) << c.Name;
        EXPECT_EQ(facts.Present.Iptc, c.Present.Iptc) << c.Name;
    }
    const TPhotoFacts missing = ReadPhotoFacts(dir.File(QStringLiteral("missing.jpg")));
    EXPECT_FALSE(missing.Read);
    EXPECT_EQ(missing.FileBytes, -1);
    EXPECT_EQ(missing.Problem, QStringLiteral("Cannot open file ") + dir.File(QStringLiteral("missing.jpg")));
}

} // namespace
} // namespace vellumar
