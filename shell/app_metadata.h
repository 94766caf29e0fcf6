#pragma once

#include <QString>

namespace vellumar {

/** The application title, also the caption of the error box. */
inline constexpr const char *kAppTitle = "Vellumar";
/** The program's file version, as the version block states it. */
inline constexpr const char *kFileVersion = "1.2.1.20";

/** Sets the application name and version on the running Qt application. */
void ApplyAppMetadata();

} // namespace vellumar
