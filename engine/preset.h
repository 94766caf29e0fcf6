#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "engine/job.h"
#include "engine/job_options.h"

namespace vellumar
{

/** The preset format this version writes, and the newest it reads. */
inline constexpr int kPresetFormat = 1;

/**
 * A job's settings as a preset: a JSON object with "format" and one key per job option that says the job
 * (the option's name without "--", its value as the option's text, a flag as true or false), in the order
 * of the options. The listing is left out, and the folders unless withFolders ("source", "destination").
 */
[[nodiscard]] QByteArray PresetJson(const TJob &job, bool withFolders = false);

/**
 * defaults with the settings of the preset json applied, and its folders when it holds them; defaults'
 * listing is kept. A setting the preset does not hold keeps the default's value. label names the preset in error
 * messages. Throws EUsageError for text that is not a preset, a newer format, an unknown key, a value of the wrong
 * kind, or a value its option refuses.
 */
[[nodiscard]] TJob ApplyPresetJson(const QByteArray &json, const TJob &defaults, const QString &label);

/** Writes job's preset to path, atomically. Throws the file layer's errors. */
void SavePresetFile(const QString &path, const TJob &job, bool withFolders = false);
/** ApplyPresetJson of the file at path. Throws the file layer's errors and EUsageError. */
[[nodiscard]] TJob LoadPresetFile(const QString &path, const TJob &defaults);

/**
 * The user's saved presets, one file NAME.json each in one folder, with the last used settings and the
 * choice to start with them beside them (under names no preset can have).
 */
class TPresetFolder
{
public:
    /** The presets folder of the user's configuration: the application's config location + "/presets". */
    TPresetFolder();
    explicit TPresetFolder(QString folder);

    [[nodiscard]] const QString &Folder() const { return mFolder; }
    /** The saved presets' names, sorted without regard to case. */
    [[nodiscard]] QStringList Names() const;
    /** Throws EUsageError for a name that cannot be a preset's: empty, with "/", starting with ".". */
    [[nodiscard]] QString PathOf(const QString &name) const;

    void Save(const QString &name, const TJob &job, bool withFolders = false) const;
    [[nodiscard]] TJob Load(const QString &name, const TJob &defaults) const;
    void Remove(const QString &name) const;
    /**
     * Checks the preset file at path and saves it under its base name, or the first free "NAME (2)",
     * "NAME (3)" ... so that no saved preset is replaced, with its folders if it holds them. Returns the
     * name it got.
     */
    QString Import(const QString &path, const TJob &defaults) const;

    void SaveLastUsed(const TJob &job) const;
    [[nodiscard]] bool HasLastUsed() const;
    /** The last used settings; nullopt when none were saved. */
    [[nodiscard]] std::optional<TJob> LastUsed(const TJob &defaults) const;
    [[nodiscard]] bool StartWithLastUsed() const;
    void SetStartWithLastUsed(bool on) const;

private:
    void MakeFolder() const;

    QString mFolder;
};

} // namespace vellumar
