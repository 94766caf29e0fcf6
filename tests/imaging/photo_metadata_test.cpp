// Camera data, XMP, IPTC and colour profiles through a re-encoding, on files made here.
#include <cstdint>
#include <map>
#include <regex>
#include <string>

#include <QCryptographicHash>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "engine/img_utils.h"
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

using test::AsciiEntry;
using test::ContainsText;
using test::kExifCameraMark;
using test::kExifGpsMark;
using test::kExifThumbnailMark;
using test::MakeExif;
using test::MakeJpeg;
using test::PointerEntry;
using test::SegmentsOf;
using test::TTempDir;
using test::TTiffDirectory;
using test::WithSegments;

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;
constexpr int kApp13 = 0xED;

std::vector<std::uint8_t> Bytes(const std::string &text)
{
    return { text.begin(), text.end() };
}

// A Photoshop image resource: "8BIM", its number, an empty name, the size and the data padded to even.
std::string PhotoshopResource(unsigned id, const std::string &data)
{
    const std::size_t size = data.size();
    std::string resource = std::string("8BIM") + char(id >> 8) + char(id & 0xFF) + std::string(2, '\0')
        + char(size >> 24) + char(size >> 16) + char(size >> 8) + char(size) + data;
    return size % 2 != 0 ? resource + '\0' : resource;
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
    ASSERT_EQ(ExifOrientation(exif), TOrientation::Rotate90);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x tiff:Orientation=\"6\"/>";
    const std::string iptc = std::string("Photoshop 3.0\0", 14) + PhotoshopResource(0x0404, "\x1C\x02\x05");
    const std::vector<std::uint8_t> source = WithSegments(MakeJpeg({ .Width = 32, .Height = 16 }),
        { { kApp1, exif }, { kApp1, Bytes(xmp) }, { kApp13, Bytes(iptc) }, { 0xEC, Bytes("Ducky-other") } });

    QString warning;
    const std::vector<std::uint8_t> out = Reencoded(source, c.Mode, true, warning);
    EXPECT_TRUE(warning.isEmpty());
    const auto app1 = SegmentsOf(out, kApp1);
    ASSERT_EQ(app1.size(), 2u);
    EXPECT_TRUE(IsExifPayload(app1[0]));
    EXPECT_EQ(ExifOrientation(app1[0]), TOrientation::Normal);
    EXPECT_LE(app1[0].size(), exif.size());
    EXPECT_TRUE(ContainsText(app1[0], kExifCameraMark));
    EXPECT_FALSE(ContainsText(app1[0], kExifThumbnailMark));
    EXPECT_EQ(ContainsText(app1[0], kExifGpsMark), c.Mode == TMetadataMode::mmKeep);
    // Without GPS the rest stays readable, and a second rewrite finds nothing more to drop.
    if (c.Mode == TMetadataMode::mmKeepNoGps) {
        EXPECT_EQ(RewriteExif(app1[0], { .RemoveGps = true }), app1[0]);
    }
    EXPECT_TRUE(ContainsText(app1[1], "tiff:Orientation=\"1\""));
    EXPECT_EQ(SegmentsOf(out, kApp13), std::vector<std::vector<std::uint8_t>> { Bytes(iptc) });
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
    ASSERT_EQ(ExifOrientation(exif), TOrientation::Normal);
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

// exiftool's reading of a file, as "Group:Tag" to value, every group and duplicate shown.
std::map<std::string, std::string> ExifToolTags(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"),
        { QStringLiteral("-a"), QStringLiteral("-G1"), QStringLiteral("-s"), path });
    process.waitForFinished(60000);
    std::map<std::string, std::string> tags;
    const std::regex line(R"(^\[([^\]]+)\]\s+(\S+)\s*: ?(.*)$)");
    for (const QByteArray &text : process.readAllStandardOutput().split('\n')) {
        std::smatch match;
        const std::string textLine = text.trimmed().toStdString();
        if (std::regex_match(textLine, match, line))
            tags[match[1].str() + ':' + match[2].str()] = match[3].str();
    }
    return tags;
}

std::string Listing(const std::map<std::string, std::string> &tags)
{
    std::string text;
    for (const auto &[name, value] : tags) {
        if (!name.starts_with("System:") && !name.starts_with("File:"))
            text += name + " = " + value + '\n';
    }
    return text;
}

std::vector<std::uint8_t> Xmp(const std::string &body)
{
    return Bytes(std::string("http://ns.adobe.com/xap/1.0/\0", 29)
        + R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
        + body + "</rdf:RDF></x:xmpmeta>");
}

struct TOracleCase {
    const char *Name;
    TMetadataMode Mode;
    std::vector<test::TSegment> Segments;
    /** What exiftool reads in the output, as "Group:Tag" or "Group:Tag=value" (the source has the tag too). */
    std::vector<std::string> Kept;
    /** What exiftool reads in the source and must not read in the output. */
    std::vector<std::string> Gone;
};

std::vector<TOracleCase> OracleCases()
{
    using test::RationalEntry;
    using test::ShortEntry;
    using test::UndefinedEntry;
    constexpr std::uint16_t kExifPointer = 0x8769;
    constexpr std::uint16_t kGpsPointer = 0x8825;
    const test::TTiffEntry make = AsciiEntry(0x010F, "VellumarCam");
    const test::TTiffEntry taken = AsciiEntry(0x9003, "2024:05:06 07:08:09");
    const test::TTiffEntry makerNote = UndefinedEntry(0x927C, "VellumarNote0123456789");
    const TTiffDirectory latitude { { AsciiEntry(0x0001, "N"), RationalEntry(0x0002, { 10, 30, 15 }) } };
    const TTiffDirectory longitude { { AsciiEntry(0x0003, "E"), RationalEntry(0x0004, { 113, 54, 0 }) } };
    const std::vector<std::string> camera = { "IFD0:Make=VellumarCam",
        "ExifIFD:DateTimeOriginal=2024:05:06 07:08:09",
        "ExifIFD:MakerNoteUnknownText=VellumarNote0123456789" };
    const auto withCamera = [&](std::vector<std::string> more) {
        more.insert(more.end(), camera.begin(), camera.end());
        return more;
    };
    const std::vector<std::uint8_t> plainExif =
        test::MakeTiffExif({ { { make, PointerEntry(kExifPointer, 1) } }, { { taken, makerNote } } });
    const std::vector<std::uint8_t> gpsXmp =
        Xmp(R"(<rdf:Description xmlns:exif="http://ns.adobe.com/exif/1.0/" exif:GPSLatitude="10,30.25N"/>)");
    const std::string gpsPacket(gpsXmp.begin() + 29, gpsXmp.end());

    // UTF-16 big-endian, as its byte order marks say: ASCII characters become a zero byte and the character.
    std::string utf16;
    for (const char c : "\x01<?xpacket begin=\"\x01\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>" + gpsPacket)
        utf16 += c == '\x01' ? std::string("\xFE\xFF") : std::string { '\0', c };
    const std::string extension = R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF )"
                                  R"(xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description )"
                                  R"(xmlns:exif="http://ns.adobe.com/exif/1.0/" exif:GPSLongitude="113,54E"/>)"
                                  "</rdf:RDF></x:xmpmeta>";
    const std::string guid = QCryptographicHash::hash(QByteArray::fromStdString(extension), QCryptographicHash::Md5)
                                 .toHex()
                                 .toUpper()
                                 .toStdString();
    const auto chunk = [&](std::size_t offset, std::size_t length) {
        const std::size_t total = extension.size();
        return Bytes(std::string("http://ns.adobe.com/xmp/extension/\0", 35) + guid + char(total >> 24)
            + char(total >> 16) + char(total >> 8) + char(total) + char(offset >> 24) + char(offset >> 16)
            + char(offset >> 8) + char(offset) + extension.substr(offset, length));
    };
    const std::string iptc = std::string("\x1C\x02\x05\x00\x05", 5) + "Title";
    const std::vector<std::uint8_t> photoshop =
        Bytes(std::string("Photoshop 3.0\0", 14) + PhotoshopResource(0x0404, iptc)
            + PhotoshopResource(0x040C, std::string(40, '\x01')) + PhotoshopResource(0x0424, gpsPacket));

    const TMetadataMode keep = TMetadataMode::mmKeep;
    const TMetadataMode noGps = TMetadataMode::mmKeepNoGps;
    return {
        { "GPS pointer in the Exif IFD, a clean XMP packet",
            noGps,
            { { kApp1,
                  test::MakeTiffExif({ { { make, PointerEntry(kExifPointer, 1) } },
                      { { taken, makerNote, PointerEntry(kGpsPointer, 2) } },
                      latitude }) },
                { kApp1, Xmp(R"(<rdf:Description xmlns:xmp="http://ns.adobe.com/xap/1.0/" xmp:Rating="3"/>)") } },
            withCamera({ "XMP-xmp:Rating=3" }),
            { "GPS:GPSLatitude" } },
        { "two GPS pointers in IFD0",
            noGps,
            { { kApp1,
                test::MakeTiffExif({ { { make,
                                         PointerEntry(kGpsPointer, 2),
                                         PointerEntry(kExifPointer, 1),
                                         PointerEntry(kGpsPointer, 3) } },
                    { { taken, makerNote } },
                    latitude,
                    longitude }) } },
            camera,
            { "GPS:GPSLatitude", "GPS:GPSLongitude" } },
        { "GPS pointer into IFD0",
            noGps,
            { { kApp1,
                test::MakeTiffExif({ { { make, PointerEntry(kExifPointer, 1), PointerEntry(kGpsPointer, 0) } },
                    { { taken, makerNote } } }) } },
            camera,
            {} },
        { "IFD1 is IFD0",
            keep,
            { { kApp1,
                test::MakeTiffExif({ { { make, PointerEntry(kExifPointer, 1), PointerEntry(kGpsPointer, 2) }, 0 },
                    { { taken, makerNote } },
                    latitude }) } },
            withCamera({ "GPS:GPSLatitude" }),
            {} },
        { "IFD1 is the Exif IFD",
            keep,
            { { kApp1,
                test::MakeTiffExif({ { { make, PointerEntry(kExifPointer, 1) }, 1 }, { { taken, makerNote } } }) } },
            camera,
            {} },
        { "XMP in IFD0",
            noGps,
            { { kApp1, test::MakeTiffExif({ { { make, UndefinedEntry(0x02BC, gpsPacket) } } }) } },
            { "IFD0:Make=VellumarCam" },
            { "XMP-exif:GPSLatitude" } },
        { "orientation 0",
            keep,
            { { kApp1, test::MakeTiffExif({ { { make, ShortEntry(0x0112, 0) } } }) } },
            { "IFD0:Orientation=Horizontal (normal)" },
            {} },
        { "drone XMP",
            noGps,
            { { kApp1, plainExif },
                { kApp1,
                    Xmp(R"(<rdf:Description xmlns:drone-dji="http://www.dji.com/drone-dji/1.0/" )"
                        R"(drone-dji:GpsLatitude="22.54" drone-dji:GpsLongitude="113.95"/>)") } },
            camera,
            { "XMP-drone-dji:GPSLatitude" } },
        { "XMP destination as an element",
            noGps,
            { { kApp1, plainExif },
                { kApp1,
                    Xmp(R"(<rdf:Description xmlns:exif="http://ns.adobe.com/exif/1.0/">)"
                        "<exif:GPSDestLatitude>10,30.25N</exif:GPSDestLatitude></rdf:Description>") } },
            camera,
            { "XMP-exif:GPSDestLatitude" } },
        { "UTF-16 XMP",
            noGps,
            { { kApp1, plainExif }, { kApp1, Bytes(std::string("http://ns.adobe.com/xap/1.0/\0", 29) + utf16) } },
            camera,
            { "XMP-exif:GPSLatitude" } },
        { "extended XMP",
            noGps,
            { { kApp1, plainExif },
                { kApp1,
                    Xmp(R"(<rdf:Description xmlns:xmpNote="http://ns.adobe.com/xmp/note/" xmpNote:HasExtendedXMP=")"
                        + guid + R"("/>)") },
                { kApp1, chunk(0, 100) },
                { kApp1, chunk(100, extension.size() - 100) } },
            withCamera({ "XMP-xmpNote:HasExtendedXMP" }),
            { "XMP-exif:GPSLongitude" } },
        { "Photoshop resources, keep",
            keep,
            { { kApp13, photoshop } },
            { "IPTC:ObjectName=Title" },
            { "Photoshop:PhotoshopThumbnail", "XMP-exif:GPSLatitude" } },
        { "Photoshop resources, no GPS",
            noGps,
            { { kApp13, photoshop } },
            { "IPTC:ObjectName=Title" },
            { "Photoshop:PhotoshopThumbnail", "XMP-exif:GPSLatitude" } },
    };
}

// Hostile and odd photos through the run's re-encoding, read by an independent reader: without GPS no
// position is left in any form, and what stays stays readable.
TEST(PhotoMetadata, ExifToolReadsNoPositionAndTheKeptTags)
{
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
        GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is not installed";
    const std::regex place("gps|latitude|longitude|position(?!ing)", std::regex::icase);
    for (const TOracleCase &c : OracleCases()) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const QString source =
            dir.Write(QStringLiteral("in.jpg"), WithSegments(MakeJpeg({ .Width = 32, .Height = 16 }), c.Segments));
        const std::map<std::string, std::string> before = ExifToolTags(source);
        const TImageOutput output = ReduceJpeg(source, 90, 0.5, nullptr, {}, { .Metadata = c.Mode });
        const std::map<std::string, std::string> after =
            ExifToolTags(dir.Write(QStringLiteral("out.jpg"), output.Bytes));
        SCOPED_TRACE("source:\n" + Listing(before) + "output:\n" + Listing(after));
        EXPECT_TRUE(output.Warnings.isEmpty()) << output.Warnings.join(QLatin1Char('\n')).toStdString();
        for (const std::string &kept : c.Kept) {
            const std::size_t equals = kept.find('=');
            const std::string name = kept.substr(0, equals);
            EXPECT_TRUE(before.contains(name)) << name;
            const std::string read = !after.contains(name) ? "(missing) " + name
                : equals == std::string::npos              ? name
                                                           : name + '=' + after.at(name);
            EXPECT_EQ(read, kept);
        }
        for (const std::string &gone : c.Gone) {
            EXPECT_TRUE(before.contains(gone)) << gone;
            EXPECT_FALSE(after.contains(gone)) << gone;
        }
        if (c.Mode == TMetadataMode::mmKeepNoGps) {
            for (const auto &[name, value] : after)
                EXPECT_FALSE(std::regex_search(name, place)) << name << " = " << value;
        }
    }
}

} // namespace
} // namespace vellumar
