#include <ostream>

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include "imaging/native_name.h"

namespace vellumar
{
namespace
{

struct TNativeCase {
    const char *Bytes;
    const char16_t *Text; // what PathFromNative makes of Bytes
    const char *Shown; // PrintableName of that text
};

void PrintTo(const TNativeCase &c, std::ostream *out)
{
    *out << c.Shown;
}

class NativeName : public ::testing::TestWithParam<TNativeCase>
{
};

// Bytes to text and back are lossless; text shows one escape per byte that is not valid UTF-8.
TEST_P(NativeName, RoundTripsAndShows)
{
    const TNativeCase &c = GetParam();
    const QByteArray bytes(c.Bytes);
    const QString text = QStringView(c.Text).toString();
    EXPECT_EQ(PathFromNative(bytes), text);
    EXPECT_EQ(NativePath(text), bytes);
    EXPECT_EQ(NativePath(PrintableName(text)), QByteArray(c.Shown));
    // Escaping an escaped text changes nothing, so a line may be escaped at every stage it passes.
    EXPECT_EQ(PrintableName(PrintableName(text)), PrintableName(text));
}

INSTANTIATE_TEST_SUITE_P(Table,
    NativeName,
    ::testing::Values(TNativeCase { "", u"", "" },
        TNativeCase { "back\\slash.jpg", u"back\\slash.jpg", "back\\slash.jpg" },
        TNativeCase { "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82.jpg",
            u"caf\u00e9 \u20ac \U0001F642.jpg",
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82.jpg" },
        TNativeCase { "\xef\xbb\xbf.jpg", u"\ufeff.jpg", "\xef\xbb\xbf.jpg" }, // a byte-order mark is a character
        TNativeCase { "caf\xe9.jpg", u"caf\xdce9.jpg", "caf\\xe9.jpg" },
        TNativeCase { "\xff\xfe", u"\xdcff\xdcfe", "\\xff\\xfe" },
        TNativeCase { "\xc0\xaf", u"\xdcc0\xdcaf", "\\xc0\\xaf" }, // overlong "/"
        TNativeCase { "\xed\xa0\x80", u"\xdced\xdca0\xdc80", "\\xed\\xa0\\x80" }, // an encoded surrogate
        TNativeCase { "\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80", "\\xf4\\x90\\x80\\x80" }, // past U+10FFFF
        TNativeCase { "\xe2\x82x\xe2\x82", u"\xdce2\xdc82x\xdce2\xdc82", "\\xe2\\x82x\\xe2\\x82" }, // cut short
        TNativeCase { "x\nFINISHED\r\t\x01\x1f\x7f.jpg",
            u"x\nFINISHED\r\t\x01\x1f\x7f.jpg",
            "x\\nFINISHED\\r\\t\\x01\\x1f\\x7f.jpg" },
        TNativeCase { "\xc2\x85\xe2\x80\xa8\xe2\x80\xa9", u"\u0085\u2028\u2029", "\\u0085\\u2028\\u2029" }));

TEST(NativeName, ALoneSurrogateThatIsNoByteIsShownAndWrittenAsReplacement)
{
    const QString lone = QString(QChar(char16_t(0xD800))) + QLatin1String(".jpg");
    EXPECT_EQ(PrintableName(lone), QLatin1String("\\ud800.jpg"));
    EXPECT_EQ(NativePath(lone), QByteArray("\xef\xbf\xbd.jpg"));
}

} // namespace
} // namespace vellumar
