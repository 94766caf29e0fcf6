#pragma once

#include <QString>
#include <QStringList>

namespace vellumar
{

class TSourceList;

/**
 * folder made absolute (from the current directory) and lexically normalised: "." and ".." segments
 * and repeated or trailing "/" go, ".." at the root stays at the root. No link is followed.
 */
[[nodiscard]] QString NormalisedFolder(const QString &folder);

/**
 * The one rule for "the same folder", shared by the window, the command line, the listing and the run.
 * Two existing folders are the same when they are one directory on disk (links and case followed as the
 * file system does); otherwise their normalised texts must be equal without regard to the case of A to
 * Z, which errs towards warning. An empty text names no folder.
 */
[[nodiscard]] bool NameSameFolder(const QString &first, const QString &second);

/**
 * names (a listing of sourceFolder) without those inside destination when destination lies within the source
 * folder: a listing of subfolders would otherwise take a run's earlier outputs for photos. Compared by
 * normalised paths.
 */
[[nodiscard]] QStringList
NamesOutsideDestination(const QStringList &names, const QString &sourceFolder, const QString &destination);

/** "Source Folder is: <folder>" and "Images Found: <count>", as both front ends log a chosen source. */
[[nodiscard]] QStringList SourceFolderLines(const TSourceList &list);
/** "Destination Folder is: <folder>". */
[[nodiscard]] QString DestinationFolderLine(const QString &folder);
/** The three lines of the warning shown when the destination is the source folder. */
[[nodiscard]] QStringList SameFolderWarningLines();

} // namespace vellumar
