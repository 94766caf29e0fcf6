#pragma once

#include <functional>
#include <memory>

#include <QDialog>
#include <QFuture>
#include <QFutureWatcher>
#include <QPoint>
#include <QThreadPool>

#include "engine/output_preview.h"

class QScrollArea;

namespace Ui
{
class TfrmPreview;
}

namespace vellumar
{

/**
 * "Preview...": one photo's real output beside its source, both at 100 % and panned together by
 * dragging, with the output's pixel and byte size and an estimate of the whole run's size. The output
 * is made on a pool thread; a newer request cancels the one in progress and its result is never shown.
 */
class TfrmPreview : public QDialog
{
    Q_OBJECT
public:
    /** Makes the preview; runs on a pool thread, so it must hold values only, never the window. */
    using TJob = std::function<TOutputPreview(const TCancelled &cancelled)>;

    explicit TfrmPreview(QWidget *parent = nullptr);
    ~TfrmPreview() override;
    TfrmPreview(const TfrmPreview &) = delete;
    TfrmPreview &operator=(const TfrmPreview &) = delete;

    /** Cancels any preview in progress and starts job. */
    void ShowPreview(TJob job);
    /** Cancels any preview in progress and shows why there is nothing to preview. */
    void ShowNothing(const QString &why);

signals:
    /** A finished preview is on show. */
    void PreviewShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ConnectHandlers();
    void CancelPending();
    void PreviewReady();
    void FollowScroll(const QScrollArea *from, QScrollArea *to);

    std::unique_ptr<Ui::TfrmPreview> ui;
    // A pool of its own: text is drawn here as in a run, and Qt's global pool must never draw small text,
    // or the large text it draws for every caller would shift (see the text layout).
    QThreadPool mPool;
    QFuture<TOutputPreview> mFuture;
    std::unique_ptr<QFutureWatcher<TOutputPreview>> mWatcher;
    QPoint mDragFrom;
    bool mFollowing = false;
};

} // namespace vellumar
