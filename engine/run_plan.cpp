#include "engine/run_plan.h"

#include <limits>
#include <optional>

#include "engine/batch_run.h"
#include "engine/folder_rules.h"
#include "engine/image_plan.h"
#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "imaging/native_name.h"

namespace vellumar
{

namespace
{

constexpr int kClashesShown = 5;

// Lexical normalisation of a file's path; the folder part through the one folder rule's normaliser.
QString NormalisedFile(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return NormalisedFolder(QString()) + QLatin1Char('/') + path;
    return PathInFolder(NormalisedFolder(path.left(slash + 1)), path.mid(slash + 1));
}

QString RefusalText(int limit, const QStringList &clashes)
{
    QString text = QStringLiteral("Nothing was written: %1 planned output(s) would overwrite photos of this run.")
                       .arg(clashes.size());
    for (const QString &clash : clashes.mid(0, limit))
        text += QLatin1Char('\n') + PrintableName(clash);
    if (clashes.size() > limit)
        text += QStringLiteral("\n... and %1 more").arg(clashes.size() - limit);
    return text;
}

} // namespace

TOutputGuard::TOutputGuard(const QString &sourceFolder, const QStringList &sourceNames)
    : mNames(sourceNames)
    , mListed(int(sourceNames.size()))
{
    for (int i = 0; i < int(sourceNames.size()); ++i)
        for (const QString &key : KeysOf(PathInFolder(sourceFolder, sourceNames[i])).Keys)
            mSources.emplace(key, i);
}

// Folders the guard holds open at once.
constexpr int kOpenFolders = 32;

const TFolder *TOutputGuard::Opened(const QString &path, TFolderFacts &facts)
{
    if (!facts.Folder) {
        if (mOpenFolders >= kOpenFolders) {
            for (auto &[name, known] : mFolders)
                known.Folder.reset();
            mOpenFolders = 0;
        }
        facts.Folder = TFolder::TryOpen(path);
        // Not the folder first met there: its files are not this folder's.
        if (facts.Folder && facts.Folder->Identity() != facts.Identity)
            facts.Folder.reset();
        mOpenFolders += facts.Folder ? 1 : 0;
    }
    return facts.Folder ? &*facts.Folder : nullptr;
}

TOutputGuard::TFileKeys TOutputGuard::KeysOf(const QString &path)
{
    TFileKeys keys { .Keys = { NormalisedFile(path) } };
    const auto [folderPath, name] = SplitPath(path);
    auto known = mFolders.find(folderPath);
    if (known == mFolders.end()) {
        TFolderFacts facts;
        if (const std::optional<TFolder> folder = TFolder::TryOpen(folderPath)) {
            facts.Exists = true;
            facts.Identity = folder->Identity();
            facts.FoldsCase = folder->FoldsCase();
        }
        known = mFolders.emplace(folderPath, std::move(facts)).first;
    }
    TFolderFacts &folder = known->second;
    if (!folder.Exists)
        return keys;
    // Two spellings of one name are one file where the file system folds case, whether or not it exists.
    keys.Folded = folder.FoldsCase;
    keys.Keys.push_back(QStringLiteral("%1:%2/%3")
                            .arg(folder.Identity.Device)
                            .arg(folder.Identity.Inode)
                            .arg(keys.Folded ? name.toCaseFolded() : name));
    if (const TFolder *open = Opened(folderPath, folder)) {
        if (const std::optional<TFileFacts> facts = StatFile(TFileRef(*open, name, path)))
            keys.Keys.push_back(QStringLiteral("%1:%2").arg(facts->Identity.Device).arg(facts->Identity.Inode));
    }
    return keys;
}

std::pair<int, bool> TOutputGuard::Find(const std::map<QString, int> &files, const TFileKeys &keys, int index)
{
    for (std::size_t i = 0; i < keys.Keys.size(); ++i)
        if (const auto found = files.find(keys.Keys[i]); found != files.end() && found->second != index)
            return { found->second, keys.Folded && i == 1 };
    return { -1, false };
}

QString TOutputGuard::Refusal(int index, const QString &outputPath)
{
    const TFileKeys keys = KeysOf(outputPath);
    const QString name = mNames.value(index);
    const QString folded =
        QStringLiteral(" (its folder's file system does not tell upper from lower case, so the names are one file)");
    if (const auto [source, byCase] = Find(mSources, keys, index); source >= 0) {
        const QString replaced = source >= mListed ? QStringLiteral("%1 -> %2 would replace %3")
                                                   : QStringLiteral("%1 -> %2 would replace the listed photo %3");
        return replaced.arg(name, outputPath, mNames.value(source)) + (byCase ? folded : QString());
    }
    if (const auto [planned, byCase] = Find(mPlanned, keys, index); planned >= 0)
        return QStringLiteral("%1 -> %2 is also the output of %3").arg(name, outputPath, mNames.value(planned))
            + (byCase ? folded : QString());
    for (const QString &key : keys.Keys)
        mPlanned.emplace(key, index);
    return QString();
}

bool TOutputGuard::PlannedByOther(int index, const QString &outputPath)
{
    return Find(mPlanned, KeysOf(outputPath), index).first >= 0;
}

int TOutputGuard::AddOtherFile(const QString &label)
{
    mNames << label;
    return int(mNames.size()) - 1;
}

void TOutputGuard::AddOtherSource(const QString &label, const QString &path)
{
    const int index = AddOtherFile(label);
    for (const QString &key : KeysOf(path).Keys)
        mSources.emplace(key, index);
}

void TWrittenFiles::Note(const TFileIdentity &identity, const QString &path)
{
    const std::lock_guard lock(mMutex);
    mFiles.emplace(identity, path);
}

QString TWrittenFiles::WrittenAs(const TFileIdentity &identity) const
{
    const std::lock_guard lock(mMutex);
    const auto found = mFiles.find(identity);
    return found != mFiles.end() ? found->second : QString();
}

namespace
{

// The photos' outputs into plan, noted in guard.
void PlanPhotos(const TJob &job, TOutputGuard &guard, TRunPlan &plan)
{
    const int count = int(job.SourceNames.size());
    const bool readsPhotos = NamesReadPhotos(job);
    for (int i = 0; i < count; ++i) {
        // Another photo's output, or a file there.
        const TTakenPlace taken = [&guard, i](const QString &path) {
            return guard.PlannedByOther(i, path) || StatFile(path).has_value();
        };
        // Names from the photos' dates or cameras need their facts, read here as the run will.
        const TImageTask task = readsPhotos ? PlanImageTask(
                                    job,
                                    i,
                                    [](const QString &source) {
                                        return ReadPhotoFacts(source);
                                    },
                                    taken)
                                            : PlanImageTask(job, i, TPhotoFacts {}, taken);
        // Images without resize, rename or overlay write nothing.
        if (!task.Writes())
            return;
        TPlannedOutput &output = plan.Outputs[std::size_t(i)];
        output.OutputName = task.OutputName;
        if (task.Rename && i + 1 < count && task.Number == std::numeric_limits<std::int64_t>::max()) {
            plan.Clashes
                << QStringLiteral("The running number would pass %1 after %2").arg(task.Number).arg(task.ListedName);
            break;
        }
        // A name that cannot be a file name, or no folder, fails that image alone when its turn comes.
        if (!task.Refusal.isEmpty())
            continue;
        output.OutputPath = task.DestinationPath;
        output.Skipped = task.SkipsExisting;
        if (output.Skipped)
            continue;
        if (QString refusal = guard.Refusal(i, output.OutputPath); !refusal.isEmpty())
            plan.Clashes << refusal;
        // A variant's folder may be a source folder: its outputs are checked like the image's own.
        for (const TVariantTask &variant : task.Variants)
            if (QString refusal = guard.Refusal(i, variant.DestinationPath); !refusal.isEmpty())
                plan.Clashes << refusal;
    }
}

// The other outputs after everything already noted in guard: each is checked like one more image's.
QStringList PlanOthers(const std::vector<TOtherOutput> &others, TOutputGuard &guard)
{
    QStringList clashes;
    for (const TOtherOutput &other : others)
        if (QString refusal = guard.Refusal(guard.AddOtherFile(other.Label), other.Path); !refusal.isEmpty())
            clashes << refusal;
    return clashes;
}

} // namespace

TRunPlan PlanRun(const TJob &job, const std::vector<TOtherOutput> &others)
{
    TRunPlan plan;
    plan.Outputs.resize(std::size_t(job.SourceNames.size()));
    TOutputGuard guard(job.SourceFolder, job.SourceNames);
    PlanPhotos(job, guard, plan);
    plan.OtherClashes = PlanOthers(others, guard);
    plan.Clashes += plan.OtherClashes;
    return plan;
}

QStringList PlanClashes(const TJob &job, const std::vector<TOtherOutput> &others)
{
    return PlanRun(job, others).Clashes;
}

QStringList FileClashes(const std::vector<TOtherOutput> &inputs, const std::vector<TOtherOutput> &outputs)
{
    TOutputGuard guard({}, {});
    for (const TOtherOutput &input : inputs)
        guard.AddOtherSource(input.Label, input.Path);
    return PlanOthers(outputs, guard);
}

ERunRefused::ERunRefused(QStringList clashes)
    : Exception(RefusalText(kClashesShown, clashes))
    , mClashes(std::move(clashes))
{
}

} // namespace vellumar
