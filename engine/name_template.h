#pragma once

// Names (and overlay texts) made from tokens that a photo fills: {name}, {n}, {date}, {time}, {camera}, {w}, {h}.

#include <cstdint>

#include <QString>

namespace vellumar
{

/** What one photo gives each token, already formatted. */
struct TTokenValues {
    /** The listed name without its extension. */
    QString Name;
    /** The running number, padded. */
    QString Number;
    /** YYYY-MM-DD and HHMMSS of the EXIF date taken, or of the file's modification time. */
    QString Date;
    QString Time;
    QString Camera;
    QString Width;
    QString Height;
};

/** Why text cannot be a template: an unknown token or a brace left open; empty when it can. */
[[nodiscard]] QString TemplateProblem(const QString &text);

/** The text holds a token that needs the photo's facts (its date, camera or written size). */
[[nodiscard]] bool TemplateReadsPhoto(const QString &text);

/**
 * text with every token replaced by its value; for a file name (forName) each value keeps only characters a
 * file name may safely hold (others, "/" among them, become "_"). A text with a problem is returned as it is.
 */
[[nodiscard]] QString FillTokens(const QString &text, const TTokenValues &values, bool forName);

/**
 * The date and time tokens from an EXIF DateTimeOriginal ("YYYY:MM:DD HH:MM:SS"), or, when it is not one,
 * from modifiedSeconds (seconds since 1970) in local time.
 */
void SetDateTokens(TTokenValues &values, const QString &dateTimeOriginal, std::int64_t modifiedSeconds);

} // namespace vellumar
