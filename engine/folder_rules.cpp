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
