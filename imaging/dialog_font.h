#pragma once

#include <QFont>

namespace vellumar
{

/**
 * The windows' layouts are measured in "MS Sans Serif" at 8 points. Where that face is missing, the
 * nearest in width among the common sans faces takes its place, so that captions fit their fixed
 * bounds. Program-wide and idempotent; a substitution already made by someone else is kept.
 */
void InstallDialogFontSubstitutes();

/**
 * font with glyphs that advance by whole pixels (full hinting), as the layouts were measured: with
 * fractional advances, a caption that just fits its bounds there runs a pixel or two past them.
 */
[[nodiscard]] QFont WithDialogFontMetrics(QFont font);

} // namespace vellumar
