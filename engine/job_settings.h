#pragma once

#include <cstdint>

#include <QString>

namespace vellumar
{

/**
 * The output naming rule: prefix + running number in the padding's display format + suffix + ".jpg".
 * A plain value, part of a job (TJob): the window makes one from its fields for each snapshot, the command line
 * from its options. A run names by position from the rule of Start (NumberAtPosition).
 */
class TOutputNamer
{
public:
    /** "#", "0#", "00#", "000#" or "0000#" for padding 0 to 4; "#" for any other padding. */
    [[nodiscard]] static QString DisplayFormat(int padding);
    /**
     * value in the display format of padding: at least padding + 1 digits, zero-filled on the left, never
     * cut; a negative value has "-" before the zeros. With padding 0 (or outside 0 to 4) the value 0 is
     * the empty text. FormatNumber(-5, 1) is "-05", FormatNumber(123, 1) is "123".
     */
    [[nodiscard]] static QString FormatNumber(std::int64_t value, int padding);
    /**
     * The value of a number field's text: its ASCII digits read as one decimal number, negative when the
     * text contains "-" or "("; no digits read as 0. A number beyond the 64-bit range saturates at
     * +/-(2^63 - 1). ParseNumber("-007") is -7, ParseNumber("(12)") is -12, ParseNumber("+") is 0.
     */
    [[nodiscard]] static std::int64_t ParseNumber(QStringView text);
    /** prefix + numberText + suffix + ".jpg", every part as given. */
    [[nodiscard]] static QString SampleName(const QString &prefix, const QString &numberText, const QString &suffix);

    [[nodiscard]] QString Prefix() const { return mPrefix; }
    void SetPrefix(const QString &prefix) { mPrefix = prefix; }
    [[nodiscard]] QString Suffix() const { return mSuffix; }
    void SetSuffix(const QString &suffix) { mSuffix = suffix; }
    [[nodiscard]] std::int64_t Number() const { return mNumber; }
    void SetNumber(std::int64_t number) { mNumber = number; }
    [[nodiscard]] int Padding() const { return mPadding; }
    /** Any value is kept; one outside 0 to 4 formats as padding 0. */
    void SetPadding(int padding) { mPadding = padding; }

    /** FormatNumber(Number(), Padding()). */
    [[nodiscard]] QString NumberText() const;
    /** The name that the next renamed image receives. */
    [[nodiscard]] QString SampleName() const;
    /** Adds 1 to the number; at the largest 64-bit value the number stays there. */
    void Advance();
    /**
     * The output name of an image listed as listedName: that name unchanged when rename is false, else
     * SampleName(). Does not advance the number: the caller advances once per renamed image.
     */
    [[nodiscard]] QString OutputName(const QString &listedName, bool rename) const;

private:
    QString mPrefix;
    QString mSuffix;
    std::int64_t mNumber = 1;
    int mPadding = 0;
};

/**
 * The scale for a reduction by percent: the double nearest to (100 - percent) / 100, made by one double
 * division of the whole number 100 - percent by 100 (1.0 - percent / 100.0 differs for some percents,
 * 7, 70 and 99 among them). Percents outside 1 to 99 give a scale outside (0, 1), which the reduction
 * refuses.
 */
[[nodiscard]] double ScaleFromPercent(int percent);

/**
 * The whole part of the exact product x * scale, as a pixel size after a reduction. The product is never
 * rounded to a double first: scale is split into its integer significand and power of two and multiplied
 * in 128-bit integers, so FloorTimesScale(3000, ScaleFromPercent(30)) is 2099 (0.7 is stored a hair
 * below 0.7). For x >= 0 and scale >= 0 this is the floor; a negative product is truncated toward zero.
 * Results beyond int's range saturate; a NaN scale gives 0.
 */
[[nodiscard]] int FloorTimesScale(int x, double scale);

} // namespace vellumar
