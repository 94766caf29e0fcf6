// Fuzzes the listing's name handling and the output namer: the wildcard match against a plain
// dynamic-programming match, the display order as a strict weak order that sorts every list the same
// way, and number formatting and parsing as inverses.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <QLocale>
#include <QString>
#include <QStringList>

#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "tests/fuzz/fuzz_check.h"

namespace
{

using vellumar::TSourceNameOrder;

constexpr std::size_t kMaxNames = 40;
constexpr qsizetype kMaxNameLength = 200;

// Collators are costly to open: one order per locale, kept for the whole run. The locales differ in
// contractions, expansions and case order.
const TSourceNameOrder &Order(std::uint8_t choice)
{
    static const std::array<const char *, 10>
        names { "C", "en_US", "de_DE", "sv_SE", "tr_TR", "da_DK", "ja_JP", "cs_CZ", "th_TH", "ar_EG" };
    static std::array<std::unique_ptr<TSourceNameOrder>, names.size()> orders;
    const std::size_t index = choice % names.size();
    if (!orders[index])
        orders[index] = std::make_unique<TSourceNameOrder>(QLocale(QLatin1String(names[index])));
    return *orders[index];
}

std::u32string Folded(const QString &text)
{
    std::u32string folded;
    for (const char32_t c : text.toUcs4())
        folded.push_back(QChar::toCaseFolded(c));
    return folded;
}

// Textbook wildcard match over the whole table of prefixes.
bool ReferenceMatch(const QString &nameText, const QString &patternText)
{
    const std::u32string name = Folded(nameText);
    const std::u32string pattern = Folded(patternText);
    std::vector<std::vector<std::uint8_t>> match(pattern.size() + 1, std::vector<std::uint8_t>(name.size() + 1, 0));
    match[0][0] = 1;
    for (std::size_t p = 1; p <= pattern.size(); ++p) {
        const char32_t c = pattern[p - 1];
        match[p][0] = c == U'*' && match[p - 1][0] != 0 ? 1 : 0;
        for (std::size_t n = 1; n <= name.size(); ++n) {
            if (c == U'*')
                match[p][n] = match[p - 1][n] != 0 || match[p][n - 1] != 0 ? 1 : 0;
            else
                match[p][n] = match[p - 1][n - 1] != 0 && (c == U'?' || c == name[n - 1]) ? 1 : 0;
        }
    }
    return match[pattern.size()][name.size()] != 0;
}

void CheckMatches(const QString &pattern, const QStringList &names)
{
    using vellumar::MatchesFilePattern;
    for (const QString &name : names) {
        VELLUMAR_FUZZ_CHECK(MatchesFilePattern(name, pattern) == ReferenceMatch(name, pattern));
        VELLUMAR_FUZZ_CHECK(MatchesFilePattern(name, name));
        VELLUMAR_FUZZ_CHECK(MatchesFilePattern(name, QStringLiteral("*")));
    }
}

void CheckOrder(const TSourceNameOrder &order, const QStringList &names)
{
    QStringList sorted = names;
    order.Sort(sorted);
    QStringList plainInput = names;
    QStringList plainSorted = sorted;
    std::sort(plainInput.begin(), plainInput.end());
    std::sort(plainSorted.begin(), plainSorted.end());
    VELLUMAR_FUZZ_CHECK(plainInput == plainSorted);
    // Sorted under a strict weak order in which only equal texts are equivalent: no later name comes
    // before an earlier one, and two names neither before the other are the same text.
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        VELLUMAR_FUZZ_CHECK(!order(sorted[i], sorted[i]));
        for (qsizetype j = i + 1; j < sorted.size(); ++j) {
            VELLUMAR_FUZZ_CHECK(!order(sorted[j], sorted[i]));
            VELLUMAR_FUZZ_CHECK(order(sorted[i], sorted[j]) || sorted[i] == sorted[j]);
        }
    }
}

void CheckNumbers(std::int64_t value, int padding, const QStringList &texts)
{
    using vellumar::TOutputNamer;
    const QString formatted = TOutputNamer::FormatNumber(value, padding);
    const int width = padding >= 0 && padding <= 4 ? padding + 1 : 1;
    if (value == 0 && width == 1) {
        VELLUMAR_FUZZ_CHECK(formatted.isEmpty());
    } else {
        VELLUMAR_FUZZ_CHECK(formatted.size() - (value < 0 ? 1 : 0) >= width);
        VELLUMAR_FUZZ_CHECK(formatted.startsWith(QLatin1Char('-')) == (value < 0));
    }
    if (value != std::numeric_limits<std::int64_t>::min())
        VELLUMAR_FUZZ_CHECK(TOutputNamer::ParseNumber(formatted) == value);
    for (const QString &text : texts) {
        const std::int64_t parsed = TOutputNamer::ParseNumber(text);
        VELLUMAR_FUZZ_CHECK(parsed != std::numeric_limits<std::int64_t>::min());
        VELLUMAR_FUZZ_CHECK(TOutputNamer::ParseNumber(TOutputNamer::FormatNumber(parsed, padding)) == parsed);
    }

    TOutputNamer namer;
    namer.SetPrefix(texts.value(0));
    namer.SetSuffix(texts.value(1));
    namer.SetNumber(value);
    namer.SetPadding(padding);
    VELLUMAR_FUZZ_CHECK(namer.SampleName() == texts.value(0) + formatted + texts.value(1) + QStringLiteral(".jpg"));
    VELLUMAR_FUZZ_CHECK(namer.OutputName(texts.value(2), false) == texts.value(2));
    namer.Advance();
    VELLUMAR_FUZZ_CHECK(namer.Number() == (value == std::numeric_limits<std::int64_t>::max() ? value : value + 1));
}

void CheckScale(std::int32_t x, int percent)
{
    using vellumar::FloorTimesScale;
    using vellumar::ScaleFromPercent;
    const double scale = ScaleFromPercent(percent);
    if (x < 0 || x == std::numeric_limits<std::int32_t>::max() || scale < 0.0 || scale > 1.0)
        return;
    const int reduced = FloorTimesScale(x, scale);
    VELLUMAR_FUZZ_CHECK(reduced >= 0 && reduced <= x);
    VELLUMAR_FUZZ_CHECK(reduced <= FloorTimesScale(x + 1, scale));
    // The scale is the double nearest to the percent's fraction, so the floor may fall one short of the
    // exact integer result, and only when that result is a whole number.
    const std::int64_t product = std::int64_t(x) * (100 - percent);
    const std::int64_t exact = product / 100;
    VELLUMAR_FUZZ_CHECK(reduced == exact || (reduced == exact - 1 && product % 100 == 0));
}

} // namespace

// Layout: locale and flags, padding, an 8-byte number, then the text; the text's first line is the
// pattern and the others are names. Flag 0x80 reads the text as UTF-16, lone surrogates and all.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t kHeaderSize = 10;
    if (size < kHeaderSize)
        return 0;
    const std::uint8_t flags = data[0];
    const int padding = data[1] < 128 ? int(data[1]) : int(data[1]) - 256;
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + 2, sizeof bits);
    const auto value = std::int64_t(bits);

    const char *text = reinterpret_cast<const char *>(data + kHeaderSize);
    const auto length = qsizetype(size - kHeaderSize);
    QString all;
    if ((flags & 0x80) != 0) {
        std::u16string units(std::size_t(length / 2), u'\0');
        std::memcpy(units.data(), text, units.size() * 2);
        all = QString::fromStdU16String(units);
    } else {
        all = QString::fromUtf8(text, length);
    }
    QStringList lines = all.split(QLatin1Char('\n'));
    const QString pattern = lines.takeFirst().left(kMaxNameLength);
    QStringList names;
    for (const QString &line : std::as_const(lines)) {
        if (names.size() == qsizetype(kMaxNames))
            break;
        names.append(line.left(kMaxNameLength));
    }

    CheckMatches(pattern, names);
    CheckOrder(Order(flags & 0x7F), names);
    CheckNumbers(value, padding, names);
    CheckScale(std::int32_t(bits >> 32), int(std::uint8_t(bits)) % 101);
    return 0;
}
