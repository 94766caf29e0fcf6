#include "engine/dry_run.h"

namespace vellumar
{

QString ReplacesText(TReplaces replaces)
{
    switch (replaces) {
    case TReplaces::Nothing:
        break;
    case TReplaces::ExistingFile:
        return QStringLiteral("an existing file");
    case TReplaces::OwnSource:
        return QStringLiteral("its own source");
    }
    return {};
}

} // namespace vellumar
