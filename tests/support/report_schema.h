#pragma once

#include <QString>

namespace vellumar::test
{

/**
 * Validates the JSON report at path against docs/report.schema.json with Python's jsonschema (Debian's
 * python3-jsonschema, installed by tools/deps.sh). Empty when it validates; otherwise the validator's
 * complaint, or why the validator could not run.
 */
[[nodiscard]] QString ReportSchemaViolations(const QString &path);
/** The same for the preset at path against docs/preset.schema.json. */
[[nodiscard]] QString PresetSchemaViolations(const QString &path);

} // namespace vellumar::test
