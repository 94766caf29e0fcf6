#pragma once

#include <QString>
#include <QStringList>

#include "engine/batch_run.h"
#include "engine/job.h"
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

/**
 * A job held as one value, the command line's and the tests': each snapshot is that value. The run moves its
 * running number on as renamed images are planned, so that a second run continues the numbering; a test may
 * change the value at an event point, as a user would change the window's fields.
 */
class TFixedJob : public TJobSource
{
public:
    explicit TFixedJob(TJob job)
        : mJob(std::move(job))
    {
    }

    [[nodiscard]] TJob Snapshot() const override { return mJob; }
    void NumberAdvanced(std::int64_t next) override { mJob.Namer.SetNumber(next); }

    /** The value, for a test to change between runs (or at an event point). */
    [[nodiscard]] TJob &Values() { return mJob; }

private:
    TJob mJob;
};

} // namespace vellumar
