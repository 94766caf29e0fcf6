#include "mainwindow/frm_preview.h"

#include <algorithm>

#include <QPromise>
#include <QScreen>
#include <QtConcurrent/QtConcurrentRun>

#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "ui_frm_preview.h"

namespace vellumar
{

namespace
{

QString SizeText(const std::optional<TPixelSize> &size)
{
    return size ? TfrmPreview::tr("%1 x %2 pixels").arg(size->Width).arg(size->Height) : TfrmPreview::tr("? pixels");
}

QSize SceneSize(const TOutputPreview &preview)
{
    return preview.SceneSize ? QSize(preview.SceneSize->Width, preview.SceneSize->Height) : QSize();
}

// A pool thread is a boundary: a failure there becomes the preview's message, never an escape.
template<typename Work>
void Guarded(TOutputPreview &preview, Work &&work)
{
    try {
        work();
    } catch (const std::exception &error) {
        preview.Problem = PathFromNative(error.what());
    }
}

} // namespace

TfrmPreview::TfrmPreview(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmPreview>())
{
    ui->setupUi(this);
    ConnectHandlers();
}

TfrmPreview::~TfrmPreview()
{
    // The jobs hold values only; the pool waits for those running, and their results are dropped.
    CancelPending();
}

void TfrmPreview::ConnectHandlers()
{
    connect(ui->btnsPreview, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->rbFit, &QRadioButton::toggled, this, [this] {
        mView.Fit = ui->rbFit->isChecked();
        LayOutScene();
    });
    connect(ui->btnPrevious, &QPushButton::clicked, this, [this] {
        emit StepRequested(-1);
    });
    connect(ui->btnNext, &QPushButton::clicked, this, [this] {
        emit StepRequested(1);
    });
    for (TPreviewPane *pane : { ui->pnSource, ui->pnOutput }) {
        connect(pane, &TPreviewPane::Dragged, this, &TfrmPreview::Pan);
        connect(pane, &TPreviewPane::Resized, this, &TfrmPreview::LayOutScene);
    }
}

void TfrmPreview::CancelPending()
{
    for (auto *watcher : { &mSourceWatcher, &mOutputWatcher }) {
        if (*watcher) {
            (*watcher)->disconnect(this);
            (*watcher)->future().cancel();
            watcher->reset();
        }
    }
}

void TfrmPreview::ShowPreview(TPreviewRequest request)
{
    CancelPending();
    mShown = TOutputPreview {};
    mOutputCame = false;
    ui->lblPosition->setText(tr("%1 of %2").arg(request.Position + 1).arg(request.Count));
    ui->btnPrevious->setEnabled(request.Position > 0);
    ui->btnNext->setEnabled(request.Position + 1 < request.Count);
    ui->pnSource->SetPicture({}, tr("Reading the photo..."));
    ui->pnOutput->SetPicture({}, tr("Making the output..."));
    ui->lblFacts->setText(tr("Making the preview..."));
    ui->lblEstimate->clear();

    // The source and the output on two threads at once: the source shows as soon as it is read, small.
    const auto shared = std::make_shared<const TPreviewRequest>(std::move(request));
    mSourceFuture = QtConcurrent::run(&mPool, [shared](QPromise<TOutputPreview> &promise) {
        TOutputPreview preview;
        Guarded(preview, [&] {
            AddSourceView(preview, shared->Task);
        });
        promise.addResult(std::move(preview));
    });
    mOutputFuture = QtConcurrent::run(&mPool, [shared](QPromise<TOutputPreview> &promise) {
        TOutputPreview preview;
        Guarded(preview, [&] {
            AddOutputView(preview, shared->Task);
        });
        promise.addResult(preview, 0);
        const auto cancelled = [&promise] {
            return promise.isCanceled();
        };
        if (cancelled())
            return;
        Guarded(preview, [&] {
            std::int64_t listedBytes = 0;
            for (const QString &source : shared->Sources)
                listedBytes += std::max<qint64>(RegularFileSize(source), 0);
            AddRunEstimate(preview, shared->Task, shared->Samples, listedBytes, int(shared->Sources.size()), cancelled);
        });
        promise.addResult(std::move(preview), 1);
    });
    mSourceWatcher = std::make_unique<QFutureWatcher<TOutputPreview>>();
    connect(mSourceWatcher.get(), &QFutureWatcherBase::resultReadyAt, this, &TfrmPreview::SourceReady);
    mSourceWatcher->setFuture(mSourceFuture);
    mOutputWatcher = std::make_unique<QFutureWatcher<TOutputPreview>>();
    connect(mOutputWatcher.get(), &QFutureWatcherBase::resultReadyAt, this, &TfrmPreview::OutputReady);
    mOutputWatcher->setFuture(mOutputFuture);
}

void TfrmPreview::ShowNothing(const QString &why)
{
    CancelPending();
    mShown = TOutputPreview {};
    ui->pnSource->SetPicture({}, why);
    ui->pnOutput->SetPicture({}, why);
    ui->lblFacts->setText(why);
    ui->lblEstimate->clear();
    ui->lblPosition->clear();
    ui->btnPrevious->setEnabled(false);
    ui->btnNext->setEnabled(false);
}

void TfrmPreview::SourceReady()
{
    if (!mSourceWatcher || mSourceFuture.isCanceled())
        return;
    TOutputPreview source = mSourceFuture.resultAt(0);
    mShown.SourceName = source.SourceName;
    mShown.Source = source.Source;
    mShown.SourceSize = source.SourceSize;
    mShown.SourceBytes = source.SourceBytes;
    if (!mOutputCame) {
        mShown.SceneSize = source.SceneSize;
        mShown.Problem = source.Problem;
    }
    ui->pnSource->SetPicture(mShown.Source, source.Problem);
    LayOutScene();
    ShowFacts();
    emit SourceShown();
}

void TfrmPreview::OutputReady(int index)
{
    if (!mOutputWatcher || mOutputFuture.isCanceled())
        return;
    TOutputPreview output = mOutputFuture.resultAt(index);
    if (index == 0) {
        mOutputCame = true;
        mShown.Output = output.Output;
        mShown.OutputSize = output.OutputSize;
        mShown.OutputBytes = std::move(output.OutputBytes);
        mShown.Problem = output.Problem;
        if (output.SceneSize)
            mShown.SceneSize = output.SceneSize;
        ui->pnOutput->SetPicture(mShown.Output,
            output.Problem.isEmpty() ? tr("This photo writes no output.") : output.Problem);
        LayOutScene();
    } else {
        mShown.EstimatedRunBytes = output.EstimatedRunBytes;
        mShown.SampledPhotos = output.SampledPhotos;
        mShown.ListedPhotos = output.ListedPhotos;
    }
    ShowFacts();
    if (index == 0)
        emit PreviewShown();
}

void TfrmPreview::ShowFacts()
{
    QString facts =
        QStringLiteral("%1: %2, %3")
            .arg(PrintableName(mShown.SourceName), SizeText(mShown.SourceSize), ByteSizeText(mShown.SourceBytes));
    if (!mShown.Problem.isEmpty())
        facts += tr("  \u2192  ") + PrintableName(mShown.Problem);
    else if (mOutputCame)
        facts += tr("  \u2192  output %1, %2")
                     .arg(SizeText(mShown.OutputSize), ByteSizeText(std::int64_t(mShown.OutputBytes.size())));
    else
        facts += QStringLiteral("  \u2192  making the output...");
    ui->lblFacts->setText(facts);
    if (mShown.EstimatedRunBytes)
        ui->lblEstimate->setText(tr("Estimate for the whole run (%n photos): about %1, from %2 sampled photos.",
            nullptr,
            int(mShown.ListedPhotos))
                                     .arg(ByteSizeText(*mShown.EstimatedRunBytes))
                                     .arg(mShown.SampledPhotos));
    else
        ui->lblEstimate->clear();
}

void TfrmPreview::LayOutScene()
{
    // One rectangle for both sides, from the smaller pane, so that they show the same part at the same size.
    const QSize pane = ui->pnSource->size().boundedTo(ui->pnOutput->size());
    const QSize scene = SceneSize(mShown);
    const qreal ratio = devicePixelRatioF();
    mView = ClampView(mView, scene, pane, ratio);
    const QRectF rect = scene.isEmpty() ? QRectF() : SceneRectOnPane(mView, scene, pane, ratio);
    ui->pnSource->SetSceneRect(rect);
    ui->pnOutput->SetSceneRect(rect);
}

void TfrmPreview::Pan(QPointF by)
{
    const QRectF rect = ui->pnSource->SceneRect();
    if (rect.isEmpty())
        return;
    mView.Centre -= QPointF(by.x() / rect.width(), by.y() / rect.height());
    LayOutScene();
}

QRect TfrmPreview::PlaceBeside(const QRect &owner, QSize wanted, QSize minimum, const QRect &available)
{
    const int rightRoom = available.right() - owner.right();
    const int leftRoom = owner.left() - available.left();
    const int height = std::clamp(wanted.height(), minimum.height(), std::max(minimum.height(), available.height()));
    const int top =
        std::clamp(owner.top(), available.top(), std::max(available.top(), available.bottom() + 1 - height));
    if (std::max(rightRoom, leftRoom) >= minimum.width()) {
        const bool right = rightRoom >= leftRoom;
        const int width = std::min(wanted.width(), right ? rightRoom : leftRoom);
        return { right ? owner.right() + 1 : owner.left() - width, top, width, height };
    }
    // No room beside it: over the owner's right-hand part, away from the source list at its left.
    const int width = std::clamp(wanted.width(), minimum.width(), std::max(minimum.width(), available.width()));
    return { available.right() + 1 - width, top, width, height };
}

void TfrmPreview::showEvent(QShowEvent *event)
{
    if (mPlace) {
        setGeometry(*mPlace);
    } else if (const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
        const QScreen *screen = owner->screen();
        const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
        // The frame's size beside the client area, known once the window manager has framed a window.
        const QSize frame = owner->frameGeometry().size() - owner->size();
        const QRect place = PlaceBeside(owner->frameGeometry(), size() + frame, minimumSize() + frame, available);
        move(place.topLeft());
        resize(place.size() - frame);
    }
    QDialog::showEvent(event);
}

void TfrmPreview::hideEvent(QHideEvent *event)
{
    mPlace = geometry();
    QDialog::hideEvent(event);
}

} // namespace vellumar
