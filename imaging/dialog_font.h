#pragma once

namespace vellumar
{

/**
 * The windows' layouts are measured in "MS Sans Serif" at 8 points. Where that face is missing, the
 * nearest in width among the common sans faces takes its place, so that captions fit their fixed
 * bounds. Program-wide and idempotent; a substitution already made by someone else is kept.
 */
void InstallDialogFontSubstitutes();

} // namespace vellumar
