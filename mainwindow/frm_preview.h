#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QDialog>
#include <QFuture>
#include <QFutureWatcher>
#include <QRect>
#include <QThreadPool>

#include "engine/batch_run.h"
#include "engine/output_preview.h"
#include "mainwindow/preview_pane.h"

namespace Ui
{
class TfrmPreview;
}

namespace vellumar
{

/** What to preview: one photo's task, and for the run's estimate the sampled photos' tasks and every listed source. */
struct TPreviewRequest {
    TImageTask Task;
    std::vector<TImageTask> Samples;
    QStringList Sources;
    /** The photo's place in the listing (0-based) and the listing's length, for Previous and Next. */
    int Position = 0;
    int Count = 0;
};

/**
 * "Preview...": one photo's real output beside its source, both upright and showing the same part of the scene
 * at the same size: fitted ("Fit") or one output pixel to a screen pixel ("100 %"), panned together by dragging.
 * The source is decoded small and shown first; the output follows when made, then the whole run's estimated
 * size. Both are made on pool threads; a newer request cancels those in progress and their results are never
 * shown. Placed beside its owner window where the screen has room, and kept where the user puts it.
 */
class TfrmPreview : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPreview(QWidget *parent = nullptr);
    ~TfrmPreview() override;
    TfrmPreview(const TfrmPreview &) = delete;
    TfrmPreview &operator=(const TfrmPreview &) = delete;

    /** Cancels any preview in progress and starts request's. */
    void ShowPreview(TPreviewRequest request);
    /** Cancels any preview in progress and shows why there is nothing to preview. */
    void ShowNothing(const QString &why);

    /**
     * Where the preview goes beside owner (its frame) on a screen whose free area is available: on the side with
     * more room, as large as wanted where that side allows and no smaller than minimum, level with the owner;
     * at the free area's right edge when neither side has minimum room.
     */
    [[nodiscard]] static QRect PlaceBeside(const QRect &owner, QSize wanted, QSize minimum, const QRect &available);

signals:
    /** The source side is on show. */
    void SourceShown();
    /** The output (and the facts line) is on show; the estimate may follow. */
    void PreviewShown();
    /** Previous (-1) or Next (+1) asks for another photo of the listing. */
    void StepRequested(int by);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void ConnectHandlers();
    void CancelPending();
    void SourceReady();
    void OutputReady(int index);
    void ShowFacts();
    void LayOutScene();
    void Pan(QPointF by);

    std::unique_ptr<Ui::TfrmPreview> ui;
    // A pool of its own: text is drawn here as in a run, and Qt's global pool must never draw small text,
    // or the large text it draws for every caller would shift (see the text layout).
    QThreadPool mPool;
    QFuture<TOutputPreview> mSourceFuture;
    QFuture<TOutputPreview> mOutputFuture;
    std::unique_ptr<QFutureWatcher<TOutputPreview>> mSourceWatcher;
    std::unique_ptr<QFutureWatcher<TOutputPreview>> mOutputWatcher;
    /** What is on show, gathered from the parts as they come. */
    TOutputPreview mShown;
    bool mOutputCame = false;
    TSceneView mView;
    /** The size and place the user left the preview at, for its next showing. */
    std::optional<QRect> mPlace;
};

} // namespace vellumar
