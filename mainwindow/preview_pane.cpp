#include "mainwindow/preview_pane.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

namespace vellumar
{

namespace
{

QSizeF SceneSizeOnPane(const TSceneView &view, QSize actual, QSize paneSize, qreal devicePixelRatio)
{
    const QSizeF full = QSizeF(actual) / devicePixelRatio;
    if (!view.Fit || full.isEmpty() || paneSize.isEmpty())
        return full;
    const qreal scale =
        std::min({ qreal(1), qreal(paneSize.width()) / full.width(), qreal(paneSize.height()) / full.height() });
    return full * scale;
}

// The centre's range on one axis: a side that fits stays in the middle; one that overfills keeps the pane covered.
qreal ClampCentre(qreal centre, qreal scene, qreal pane)
{
    if (scene <= pane)
        return 0.5;
    const qreal half = pane / 2 / scene;
    return std::clamp(centre, half, 1 - half);
}

} // namespace

QRectF SceneRectOnPane(const TSceneView &view, QSize actual, QSize paneSize, qreal devicePixelRatio)
{
    const QSizeF size = SceneSizeOnPane(view, actual, paneSize, devicePixelRatio);
    const QPointF middle(paneSize.width() / 2.0, paneSize.height() / 2.0);
    const QPointF topLeft(middle.x() - view.Centre.x() * size.width(), middle.y() - view.Centre.y() * size.height());
    // Whole device pixels, so that both sides and both scales land on the same grid.
    return QRectF(QPointF(std::round(topLeft.x() * devicePixelRatio), std::round(topLeft.y() * devicePixelRatio))
            / devicePixelRatio,
        size);
}

TSceneView ClampView(TSceneView view, QSize actual, QSize paneSize, qreal devicePixelRatio)
{
    const QSizeF size = SceneSizeOnPane(view, actual, paneSize, devicePixelRatio);
    view.Centre = QPointF(ClampCentre(view.Centre.x(), size.width(), paneSize.width()),
        ClampCentre(view.Centre.y(), size.height(), paneSize.height()));
    return view;
}

TPreviewPane::TPreviewPane(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TPreviewPane::SetPicture(const QImage &picture, const QString &message)
{
    mPicture = picture;
    mMessage = message;
    mScaled = QPixmap();
    UpdateCursor();
    update();
}

void TPreviewPane::SetSceneRect(const QRectF &rect)
{
    if (rect == mSceneRect)
        return;
    mSceneRect = rect;
    UpdateCursor();
    update();
}

QRectF TPreviewPane::VisibleScene() const
{
    if (mPicture.isNull() || mSceneRect.isEmpty())
        return {};
    const QRectF seen = mSceneRect.intersected(QRectF(rect()));
    return QRectF((seen.left() - mSceneRect.left()) / mSceneRect.width(),
        (seen.top() - mSceneRect.top()) / mSceneRect.height(),
        seen.width() / mSceneRect.width(),
        seen.height() / mSceneRect.height());
}

void TPreviewPane::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().dark());
    if (mPicture.isNull() || mSceneRect.isEmpty()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, mMessage);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize target = (mSceneRect.size() * ratio).toSize();
    if (mScaled.isNull() || mScaled.size() != target) {
        // Scaled once per size, smoothly; panning then only moves the copy.
        mScaled = QPixmap::fromImage(mPicture.size() == target
                ? mPicture
                : mPicture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        mScaled.setDevicePixelRatio(ratio);
    }
    painter.drawPixmap(mSceneRect.topLeft(), mScaled);
}

void TPreviewPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    emit Resized();
}

void TPreviewPane::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    mDragging = true;
    mDragFrom = event->position();
    if (cursor().shape() == Qt::OpenHandCursor)
        setCursor(Qt::ClosedHandCursor);
}

void TPreviewPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!mDragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF by = event->position() - mDragFrom;
    mDragFrom = event->position();
    emit Dragged(by);
}

void TPreviewPane::mouseReleaseEvent(QMouseEvent *event)
{
    mDragging = false;
    UpdateCursor();
    QWidget::mouseReleaseEvent(event);
}

void TPreviewPane::UpdateCursor()
{
    const bool pannable = !mPicture.isNull() && !QRectF(rect()).contains(mSceneRect);
    setCursor(pannable ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

} // namespace vellumar
