#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/batch_run.h"
#include "engine/fixed_job.h"
#include "engine/source_list.h"

namespace vellumar::test
{

// A job of fixed values over a real listing, with the default overlay.
inline TFixedJob MakeJob(const QString &source, const QString &destination)
{
    const TSourceList list(source);
    TJob job;
    job.SourceFolder = list.ListFolder();
    job.SourceNames = list.Names();
    job.DestinationFolder = destination;
    job.OverlaySettings = DefaultOverlaySettings();
    return TFixedJob(std::move(job));
}

// Records what a run reports; OnEvents plays the user acting at an event point.
class TRecordingSink : public TRunSink
{
public:
    // The summary line is kept apart: its time differs from run to run.
    void AddStatusLine(const QString &line) override
    {
        if (line.startsWith(QLatin1String("Summary: ")))
            Summary << line;
        else
            Lines << line;
    }
    void SetProgress(int percent) override { Progress.push_back(percent); }
    void ProcessPendingEvents() override
    {
        ++EventPoints;
        if (OnEvents)
            OnEvents(*this);
    }
    [[nodiscard]] bool StopRequested() const override { return Stop; }
    void ClearStopRequest() override { Stop = false; }
    // What the Stop button does.
    void ClickStop() { Stop = true; }

    QStringList Lines;
    QStringList Summary;
    std::vector<int> Progress;
    int EventPoints = 0;
    bool Stop = false;
    std::function<void(TRecordingSink &)> OnEvents;
};

} // namespace vellumar::test
