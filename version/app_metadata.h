#pragma once

#include <QString>

namespace vellumar
{

/** The application title, also the caption of the error box. */
inline constexpr const char *kAppTitle = "Vellumar";

/** Sets the application and organisation names on the running Qt application. */
void ApplyAppMetadata();

} // namespace vellumar
