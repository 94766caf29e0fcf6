#include "overlay/dialog/picture_view.h"

#include <cstdint>

#include <QPainter>

#include "imaging/canvas.h"

namespace vellumar
{

TRect FitAndCentre(int width, int height, int clientWidth, int clientHeight)
{
    if (width <= 0 || height <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return {};
    std::int64_t w = width;
    std::int64_t h = height;
    const std::int64_t cw = clientWidth;
    const std::int64_t ch = clientHeight;
    if (w > cw || h > ch) {
        // trunc(cw / r) and trunc(ch * r) with r = width / height, as whole numbers.
        if (width > height) {
            w = cw;
            h = cw * height / width;
            if (h > ch) {
                h = ch;
                w = ch * width / height;
            }
        } else {
            h = ch;
            w = ch * width / height;
            if (w > cw) {
                w = cw;
                h = cw * height / width;
            }
        }
    }
    const int left = int((cw - w) / 2);
    const int top = int((ch - h) / 2);
    return TRect { left, top, left + int(w), top + int(h) };
}

TPictureView::TPictureView(QWidget *parent)
    : QWidget(parent)
{
    mPicture.OnChange = [this] {
        mStale = true;
        update();
    };
}

TRect TPictureView::Placement() const
{
    const TGraphic *graphic = mPicture.Graphic();
    if (graphic == nullptr || graphic->Empty())
        return {};
    return FitAndCentre(graphic->Width(), graphic->Height(), width(), height());
}

void TPictureView::Render()
{
    mStale = false;
    mRendition = TBitmap();
    const TRect placement = Placement();
    if (placement.Width() <= 0 || placement.Height() <= 0)
        return;
    TBitmap rendition;
    rendition.SetPixelFormat24();
    rendition.SetBitmapWidth(width());
    rendition.SetBitmapHeight(height());
    rendition.Canvas().DrawStretched(placement, mPicture.Graphic());
    mRendition = std::move(rendition);
}

void TPictureView::paintEvent(QPaintEvent * /*event*/)
{
    // Painting must never throw into Qt. A picture that loaded but cannot be decoded shows nothing, and
    // is not tried again until the picture or the view's size changes.
    try {
        if (mStale)
            Render();
    } catch (const std::exception &) {
        mRendition = TBitmap();
    }
    if (mRendition.Empty())
        return;
    const TRect placement = Placement();
    const QRect target(placement.Left, placement.Top, placement.Width(), placement.Height());
    QPainter painter(this);
    painter.drawImage(target, mRendition.Image(), target);
}

void TPictureView::resizeEvent(QResizeEvent *event)
{
    mStale = true;
    QWidget::resizeEvent(event);
}

} // namespace vellumar
