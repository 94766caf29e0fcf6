#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "imaging/errors.h"
#include "imaging/file_io.h"

namespace vellumar
{

struct TJob;

/**
 * Knows the listed sources of a run and the outputs planned so far, and tells when an output must not
 * be written: it would replace a listed photo other than the image's own, or a file already planned
 * for another image. Files are compared by their place on disk when they exist, else by their folder's
 * place on disk and their name, or by their normalised paths. In a folder whose file system does not
 * tell upper from lower case (TFolder::FoldsCase) names are compared case-folded.
 */
class TOutputGuard
{
public:
    TOutputGuard(const QString &sourceFolder, const QStringList &sourceNames);

    /**
     * Why image index (0-based in the listing) must not write outputPath, as one line; empty when it may.
     * A permitted path is noted as planned for that image.
     */
    [[nodiscard]] QString Refusal(int index, const QString &outputPath);

    /**
     * Names another file of the run by label (a report) and returns the index under which Refusal checks
     * and plans it; such a file is never the own output of a listed image.
     */
    [[nodiscard]] int AddOtherFile(const QString &label);
    /** True when an image other than index has outputPath planned (compared as Refusal compares). */
    [[nodiscard]] bool PlannedByOther(int index, const QString &outputPath);
    /** Notes a file the run reads besides its listing (a report to merge): no output may replace it. */
    void AddOtherSource(const QString &label, const QString &path);

private:
    // A file's normalised path, its folder's identity with its name (case-folded where the folder folds
    // case), and its device and inode while it exists: any one names it.
    struct TFileKeys {
        std::vector<QString> Keys;
        bool Folded = false;
    };
    [[nodiscard]] TFileKeys KeysOf(const QString &path);
    // The other image that holds one of keys, and whether only a case-folded name matched; -1 for none.
    [[nodiscard]] static std::pair<int, bool>
    Find(const std::map<QString, int> &files, const TFileKeys &keys, int index);

    // The listed names, then the labels of the other files.
    QStringList mNames;
    int mListed = 0;
    std::map<QString, int> mSources;
    std::map<QString, int> mPlanned;
    // Each folder met, its facts read once: a run plans thousands of outputs into one or two folders, or into
    // the thousands of folders of a library, of which only a few are held open at a time.
    struct TFolderFacts {
        bool Exists = false;
        std::optional<TFolder> Folder;
        TFileIdentity Identity;
        bool FoldsCase = false;
    };
    [[nodiscard]] const TFolder *Opened(const QString &path, TFolderFacts &facts);
    std::map<QString, TFolderFacts> mFolders;
    int mOpenFolders = 0;
};

/**
 * The files a run has written, by their place on disk, so that no image replaces another's output
 * under another spelling of its name. Safe on any thread.
 */
class TWrittenFiles
{
public:
    /** Notes that the file at identity was written as path. */
    void Note(const TFileIdentity &identity, const QString &path);
    /** The path under which the file at identity was written; empty when this run did not write it. */
    [[nodiscard]] QString WrittenAs(const TFileIdentity &identity) const;

private:
    mutable std::mutex mMutex;
    std::map<TFileIdentity, QString> mFiles;
};

/** One listed image's output as planned at Start. */
struct TPlannedOutput {
    /** Empty when the image would write nothing. */
    QString OutputName;
    /** Empty when nothing would be written or no destination folder is chosen. */
    QString OutputPath;
    /** The output exists and the job skips existing outputs: nothing would be written there. */
    bool Skipped = false;
};

/** A file a run writes besides its photos (a report), named by Label ("--report") in clashes. */
struct TOtherOutput {
    QString Label;
    QString Path;
};

/** The outputs of a run planned with the job's settings as they stand, and its clashes. */
struct TRunPlan {
    /** One per listed image, in listing order. */
    std::vector<TPlannedOutput> Outputs;
    /** All clashes, those of the other outputs last. */
    QStringList Clashes;
    /** The other outputs' clashes alone. */
    QStringList OtherClashes;
};

/** Plans the run without changing the job, its existing outputs skipped or renamed as the job says; see PlanClashes. */
[[nodiscard]] TRunPlan PlanRun(const TJob &job, const std::vector<TOtherOutput> &others = {});

/**
 * Every clash of a run planned with the job's settings: an
 * output that would replace another listed source, two images with one output, a running number that
 * would pass its largest value; and each of the other outputs (reports) that would be a listed source,
 * a planned output or another of them. Empty when the run may start.
 */
[[nodiscard]] QStringList PlanClashes(const TJob &job, const std::vector<TOtherOutput> &others = {});

/**
 * The clashes of a command that reads inputs and writes outputs outside a run (merging reports): an
 * output that is one of the inputs or another output. Compared as TOutputGuard compares.
 */
[[nodiscard]] QStringList FileClashes(const std::vector<TOtherOutput> &inputs,
    const std::vector<TOtherOutput> &outputs);

/** A run refused before its first write; the message names the first few clashes and their count. */
class ERunRefused : public Exception
{
public:
    explicit ERunRefused(QStringList clashes);
    [[nodiscard]] const QStringList &Clashes() const { return mClashes; }

private:
    QStringList mClashes;
};

} // namespace vellumar
