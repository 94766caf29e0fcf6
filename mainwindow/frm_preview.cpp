#include "mainwindow/frm_preview.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QPromise>
#include <QScrollBar>
#include <QtConcurrent/QtConcurrentRun>

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

// The same share of the scroll range, so both pictures show the same part of the photo.
void FollowBar(const QScrollBar *from, QScrollBar *to)
{
    if (from->maximum() > 0)
        to->setValue(int(std::int64_t(from->value()) * to->maximum() / from->maximum()));
}

} // namespace

TfrmPreview::TfrmPreview(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TfrmPreview>())
{
    ui->setupUi(this);
    for (const QScrollArea *area : { ui->saSource, ui->saOutput }) {
        area->viewport()->installEventFilter(this);
        area->viewport()->setCursor(Qt::OpenHandCursor);
    }
    ConnectHandlers();
}

TfrmPreview::~TfrmPreview()
{
    // The job holds values only, so it may finish after the dialog is gone; its result is dropped.
    CancelPending();
}

void TfrmPreview::ConnectHandlers()
{
    connect(ui->btnsPreview, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->saSource->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FollowScroll(ui->saSource, ui->saOutput);
    });
    connect(ui->saSource->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FollowScroll(ui->saSource, ui->saOutput);
    });
    connect(ui->saOutput->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FollowScroll(ui->saOutput, ui->saSource);
    });
    connect(ui->saOutput->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FollowScroll(ui->saOutput, ui->saSource);
    });
}

void TfrmPreview::CancelPending()
{
    if (!mWatcher)
        return;
    mWatcher->disconnect(this);
    mFuture.cancel();
    mWatcher.reset();
}

void TfrmPreview::ShowPreview(TJob job)
{
    CancelPending();
    ui->lblFacts->setText(tr("Making the preview..."));
    mFuture = QtConcurrent::run(&mPool, [job = std::move(job)](QPromise<TOutputPreview> &promise) {
        TOutputPreview preview;
        // A pool thread is a boundary: its failure becomes the preview's message, never an escape.
        try {
            preview = job([&promise] {
                return promise.isCanceled();
            });
        } catch (const std::exception &error) {
            preview.Problem = PathFromNative(error.what());
        }
        promise.addResult(std::move(preview));
    });
    mWatcher = std::make_unique<QFutureWatcher<TOutputPreview>>();
    connect(mWatcher.get(), &QFutureWatcherBase::finished, this, &TfrmPreview::PreviewReady);
    mWatcher->setFuture(mFuture);
}

void TfrmPreview::ShowNothing(const QString &why)
{
    CancelPending();
    ui->imgSource->clear();
    ui->imgOutput->clear();
    ui->imgSource->adjustSize();
    ui->imgOutput->adjustSize();
    ui->lblFacts->setText(why);
    ui->lblEstimate->clear();
}

void TfrmPreview::PreviewReady()
{
    if (!mWatcher || mFuture.isCanceled() || mFuture.resultCount() == 0)
        return;
    const TOutputPreview preview = mFuture.result();
    mWatcher.reset();
    ui->imgSource->setPixmap(QPixmap::fromImage(preview.Source));
    ui->imgSource->adjustSize();
    ui->imgOutput->setPixmap(QPixmap::fromImage(preview.Output));
    ui->imgOutput->adjustSize();
    // A new photo opens at its middle, the output following the source.
    for (QScrollBar *bar : { ui->saSource->horizontalScrollBar(), ui->saSource->verticalScrollBar() })
        bar->setValue(bar->maximum() / 2);
    FollowScroll(ui->saSource, ui->saOutput);
    QString facts =
        QStringLiteral("%1: %2, %3")
            .arg(PrintableName(preview.SourceName), SizeText(preview.SourceSize), ByteSizeText(preview.SourceBytes));
    if (preview.Problem.isEmpty())
        facts += tr("  \u2192  output %1, %2")
                     .arg(SizeText(preview.OutputSize), ByteSizeText(std::int64_t(preview.OutputBytes.size())));
    else
        facts += QStringLiteral("  \u2192  ") + PrintableName(preview.Problem);
    ui->lblFacts->setText(facts);
    if (preview.EstimatedRunBytes)
        ui->lblEstimate->setText(tr("Estimate for the whole run (%n photos): about %1, from %2 sampled photos.",
            nullptr,
            int(preview.ListedPhotos))
                                     .arg(ByteSizeText(*preview.EstimatedRunBytes))
                                     .arg(preview.SampledPhotos));
    else
        ui->lblEstimate->clear();
    emit PreviewShown();
}

void TfrmPreview::FollowScroll(const QScrollArea *from, QScrollArea *to)
{
    if (mFollowing)
        return;
    mFollowing = true;
    FollowBar(from->horizontalScrollBar(), to->horizontalScrollBar());
    FollowBar(from->verticalScrollBar(), to->verticalScrollBar());
    mFollowing = false;
}

bool TfrmPreview::eventFilter(QObject *watched, QEvent *event)
{
    QScrollArea *area = watched == ui->saSource->viewport() ? ui->saSource
        : watched == ui->saOutput->viewport()               ? ui->saOutput
                                                            : nullptr;
    const QEvent::Type type = event->type();
    if (area == nullptr
        || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease))
        return QDialog::eventFilter(watched, event);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            break;
        mDragFrom = mouse->position().toPoint();
        area->viewport()->setCursor(Qt::ClosedHandCursor);
        return true;
    case QEvent::MouseMove:
        if (!(mouse->buttons() & Qt::LeftButton))
            break;
        {
            const QPoint moved = mouse->position().toPoint() - mDragFrom;
            mDragFrom = mouse->position().toPoint();
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->value() - moved.x());
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() - moved.y());
        }
        return true;
    case QEvent::MouseButtonRelease:
        area->viewport()->setCursor(Qt::OpenHandCursor);
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vellumar
