#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QWidget>

namespace vellumar
{

/** What both sides of the preview show: how large, and which point of the scene lies at their middle. */
struct TSceneView {
    /** The whole scene fitted in the pane (never enlarged past 100 %), else one output pixel to a screen pixel. */
    bool Fit = true;
    /** The scene's point at the pane's middle, as fractions of its width and height. */
    QPointF Centre { 0.5, 0.5 };
};

/**
 * Where the whole scene lies on a pane of paneSize (logical pixels), for a scene whose output is actual pixels
 * and a screen of devicePixelRatio device pixels to a logical one. view's centre must be clamped (ClampView).
 */
[[nodiscard]] QRectF SceneRectOnPane(const TSceneView &view, QSize actual, QSize paneSize, qreal devicePixelRatio);

/** view with its centre moved just enough that no blank shows on a side where the scene overfills the pane. */
[[nodiscard]] TSceneView ClampView(TSceneView view, QSize actual, QSize paneSize, qreal devicePixelRatio);

/**
 * One side of the preview: a picture drawn over the scene rectangle its owner gives, which may overhang the pane
 * (panned by dragging, reported by Dragged). The scaled copy is kept, so panning only moves it.
 */
class TPreviewPane : public QWidget
{
    Q_OBJECT
public:
    explicit TPreviewPane(QWidget *parent = nullptr);

    /** The picture of the whole scene (any size: it is stretched over the scene rectangle); null: message. */
    void SetPicture(const QImage &picture, const QString &message = {});
    void SetSceneRect(const QRectF &rect);
    [[nodiscard]] const QRectF &SceneRect() const { return mSceneRect; }
    [[nodiscard]] const QImage &Picture() const { return mPicture; }
    /** The part of the scene in sight, as fractions of its width and height; empty without a picture. */
    [[nodiscard]] QRectF VisibleScene() const;

signals:
    /** The mouse dragged the picture by this many logical pixels. */
    void Dragged(QPointF by);
    void Resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void UpdateCursor();

    QImage mPicture;
    QString mMessage;
    QRectF mSceneRect;
    QPixmap mScaled;
    QPointF mDragFrom;
    bool mDragging = false;
};

} // namespace vellumar
