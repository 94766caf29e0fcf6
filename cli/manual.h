#pragma once

#include <QString>

namespace vellumar
{

/*
 * The manual pages and shell completions, written from the command line's options table so that they list
 * exactly the options the parser knows, with the values it accepts.
 */

/** The manual page of vellumar-batch, in roff; version goes into its header. */
[[nodiscard]] QString BatchManualPage(const QString &version);

/** The manual page of the window program vellumar, in roff. */
[[nodiscard]] QString WindowManualPage(const QString &version);

/** The bash completion of vellumar-batch (defines _vellumar_batch; needs bash-completion's helpers). */
[[nodiscard]] QString BashCompletion();

/** The zsh completion of vellumar-batch, for a file named _vellumar-batch on the function path. */
[[nodiscard]] QString ZshCompletion();

/** The fish completion of vellumar-batch. */
[[nodiscard]] QString FishCompletion();

} // namespace vellumar
