#include "engine/job_settings.h"

#include <cmath>
#include <limits>

namespace vellumar
{

namespace
{
// A GCC and Clang extension; __extension__ keeps -Wpedantic quiet about it.
__extension__ typedef unsigned __int128 TUint128; // NOLINT(modernize-use-using)
} // namespace

QString TOutputNamer::DisplayFormat(int padding)
{
    if (padding < 0 || padding > 4)
        padding = 0;
    return QString(padding, QLatin1Char('0')) + QLatin1Char('#');
}

QString TOutputNamer::FormatNumber(std::int64_t value, int padding)
{
    if (padding < 0 || padding > 4)
        padding = 0;
    if (value == 0 && padding == 0)
        return {};
    // The magnitude in unsigned arithmetic, so that the smallest 64-bit value has one too.
    const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    QString digits = QString::number(magnitude);
    if (digits.size() < padding + 1)
        digits.prepend(QString(padding + 1 - digits.size(), QLatin1Char('0')));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

std::int64_t TOutputNamer::ParseNumber(QStringView text)
{
    constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max();
    std::uint64_t magnitude = 0;
    bool negative = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('-') || c == QLatin1Char('('))
            negative = true;
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            continue;
        const std::uint64_t digit = c.unicode() - u'0';
        magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
    }
    return negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
}

QString TOutputNamer::SampleName(const QString &prefix, const QString &numberText, const QString &suffix)
{
    return prefix + numberText + suffix + QStringLiteral(".jpg");
}

QString TOutputNamer::NumberText() const
{
    return FormatNumber(mNumber, mPadding);
}

QString TOutputNamer::SampleName() const
{
    return SampleName(mPrefix, NumberText(), mSuffix);
}

void TOutputNamer::Advance()
{
    if (mNumber < std::numeric_limits<std::int64_t>::max())
        ++mNumber;
}

QString TOutputNamer::OutputName(const QString &listedName, bool rename) const
{
    return rename ? SampleName() : listedName;
}

double ScaleFromPercent(int percent)
{
    return double(100 - percent) / 100.0;
}

int FloorTimesScale(int x, double scale)
{
    if (std::isnan(scale))
        return 0;
    const bool negative = (x < 0) != std::signbit(scale);
    const auto saturated = [negative] {
        return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    };
    if (x == 0 || scale == 0.0)
        return 0;
    if (std::isinf(scale))
        return saturated();
    // scale = significand * 2^(exponent - 53) exactly, with a 53-bit integer significand.
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(scale), &exponent);
    const auto significand = static_cast<TUint128>(std::ldexp(fraction, 53));
    const TUint128 magnitude = static_cast<TUint128>(x < 0 ? -std::int64_t(x) : x);
    const TUint128 product = magnitude * significand; // at most 32 + 53 bits
    const int shift = exponent - 53;
    TUint128 whole = 0;
    if (shift >= 0) {
        if (shift >= 128 - 85)
            return saturated();
        whole = product << shift;
    } else if (shift > -128) {
        whole = product >> -shift;
    }
    const TUint128 limit =
        negative ? TUint128(std::numeric_limits<int>::max()) + 1 : TUint128(std::numeric_limits<int>::max());
    if (whole > limit)
        return saturated();
    return negative ? int(-std::int64_t(whole)) : int(whole);
}

} // namespace vellumar
