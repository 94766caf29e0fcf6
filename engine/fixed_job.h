#pragma once

#include <QString>
#include <QStringList>

#include "engine/batch_run.h"
#include "engine/job_settings.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/** Overlay settings that never change: taken once, handed out on every call. */
class TFixedOverlaySettings : public TOverlaySettingsProvider
{
public:
    explicit TFixedOverlaySettings(TOverlaySettings settings)
        : mSettings(std::move(settings))
    {
    }
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override { return mSettings; }

private:
    TOverlaySettings mSettings;
};

/** The values of a job that nobody changes during its run (a command line's, a test's). */
struct TJobValues {
    QString SourceFolder;
    QStringList SourceNames;
    /** Used as given; a "/" is put between it and a name when it does not end in one. */
    QString DestinationFolder;
    bool Resize = false;
    int ResizePercent = 50;
    TResizeOptions ResizeOptions;
    int Quality = 90;
    bool Rename = false;
    TOutputNamer Namer;
    bool Overlay = false;
};

/** A job read from fixed values; only the running number moves, as the run advances it. */
class TFixedJob : public TJobSource
{
public:
    TFixedJob(TJobValues values, TOverlaySettings overlay)
        : mValues(std::move(values))
        , mOverlay(std::move(overlay))
    {
    }

    [[nodiscard]] QString SourceFolder() const override { return mValues.SourceFolder; }
    [[nodiscard]] QStringList SourceNames() const override { return mValues.SourceNames; }
    [[nodiscard]] QString DestinationFolder() const override { return mValues.DestinationFolder; }
    [[nodiscard]] bool ResizeOn() const override { return mValues.Resize; }
    [[nodiscard]] int ResizePercent() const override { return mValues.ResizePercent; }
    [[nodiscard]] TResizeOptions ResizeOptions() const override { return mValues.ResizeOptions; }
    [[nodiscard]] int Quality() const override { return mValues.Quality; }
    [[nodiscard]] bool RenameOn() const override { return mValues.Rename; }
    [[nodiscard]] QString SampleName() const override { return mValues.Namer.SampleName(); }
    [[nodiscard]] TOutputNamer Namer() const override { return mValues.Namer; }
    void AdvanceNumber() override { mValues.Namer.Advance(); }
    [[nodiscard]] bool OverlayOn() const override { return mValues.Overlay; }
    [[nodiscard]] const TOverlaySettingsProvider &Overlay() const override { return mOverlay; }

    /** The values, for a test to change between runs (or at an event point). */
    [[nodiscard]] TJobValues &Values() { return mValues; }

private:
    TJobValues mValues;
    TFixedOverlaySettings mOverlay;
};

} // namespace vellumar
