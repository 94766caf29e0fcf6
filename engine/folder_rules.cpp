#include "engine/folder_rules.h"

#include <filesystem>
#include <system_error>

#include <QDir>

#include "engine/source_list.h"
#include "imaging/file_io.h"

namespace vellumar
{

namespace
{

// Only A to Z are folded: names differing in other letters are different folders.
QString AsciiLower(QString text)
{
    for (QChar &c : text)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + (u'a' - u'A'));
    return text;
}

} // namespace

QString NormalisedFolder(const QString &folder)
{
    const QString absolute =
        folder.startsWith(QLatin1Char('/')) ? folder : QDir::currentPath() + QLatin1Char('/') + folder;
    QStringList parts;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

bool NameSameFolder(const QString &first, const QString &second)
{
    if (first.isEmpty() || second.isEmpty())
        return false;
    const QString a = NormalisedFolder(first);
    const QString b = NormalisedFolder(second);
    if (DirectoryExists(a) && DirectoryExists(b)) {
        std::error_code error;
        return std::filesystem::equivalent(ToPath(a), ToPath(b), error) && !error;
    }
    return AsciiLower(a) == AsciiLower(b);
}

QStringList NamesOutsideDestination(const QStringList &names, const QString &sourceFolder, const QString &destination)
{
    if (sourceFolder.isEmpty() || destination.isEmpty())
        return names;
    const QString source = NormalisedFolder(sourceFolder);
    const QString inside = NormalisedFolder(destination);
    const QString start = source.endsWith(QLatin1Char('/')) ? source : source + QLatin1Char('/');
    if (!inside.startsWith(start) || inside.size() == start.size())
        return names;
    const QString prefix = inside.mid(start.size()) + QLatin1Char('/');
    QStringList outside;
    outside.reserve(names.size());
    for (const QString &name : names)
        if (!name.startsWith(prefix))
            outside << name;
    return outside;
}

QStringList SourceFolderLines(const TSourceList &list)
{
    return { QStringLiteral("Source Folder is: ") + list.ListFolder(),
        QStringLiteral("Images Found: %1").arg(list.Count()) };
}

QString DestinationFolderLine(const QString &folder)
{
    return QStringLiteral("Destination Folder is: ") + folder;
}

QStringList SameFolderWarningLines()
{
    return { QStringLiteral("Destination and source folders are the same."),
        QStringLiteral("If source files are to be re-sized without"),
        QStringLiteral("being re-named then files WILL be overwritten") };
}

} // namespace vellumar
