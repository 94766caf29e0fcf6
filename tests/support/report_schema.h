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

} // namespace vellumar::test
