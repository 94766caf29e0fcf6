#include "tests/support/report_schema.h"

#include <QProcess>

namespace vellumar::test
{

namespace
{

QString SchemaViolations(const QString &schema, const QString &path)
{
    static constexpr auto kValidate = R"(import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding="utf-8"))
jsonschema.Draft202012Validator.check_schema(schema)
jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2], encoding="utf-8")))
)";
    QProcess python;
    python.start(QStringLiteral("python3"), { QStringLiteral("-c"), QString::fromUtf8(kValidate), schema, path });
    if (!python.waitForFinished(60000))
        return QStringLiteral("python3 did not run: ") + python.errorString();
    if (python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0)
        return {};
    return QString::fromUtf8(python.readAllStandardError()).trimmed();
}

} // namespace

QString ReportSchemaViolations(const QString &path)
{
    return SchemaViolations(QStringLiteral(VELLUMAR_REPORT_SCHEMA), path);
}

QString PresetSchemaViolations(const QString &path)
{
    return SchemaViolations(QStringLiteral(VELLUMAR_PRESET_SCHEMA), path);
}

} // namespace vellumar::test
