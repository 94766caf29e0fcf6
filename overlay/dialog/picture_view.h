#pragma once

#include <QWidget>

#include "imaging/bitmap.h"
#include "imaging/picture.h"

namespace vellumar
{

/**
 * Shows one picture, never enlarged: one that fits keeps its own size, a larger one is scaled down
 * keeping its aspect ratio; either way centred. Where there is no picture the view shows what lies
 * beneath it.
 */
class TPictureView : public QWidget
{
    Q_OBJECT
public:
    explicit TPictureView(QWidget *parent = nullptr);

    [[nodiscard]] TPicture &Picture() { return mPicture; }
    [[nodiscard]] const TPicture &Picture() const { return mPicture; }

    /** Where the picture is drawn within the view; empty without a picture. */
    [[nodiscard]] TRect Placement() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    /** Draws the picture into mRendition; a picture that cannot be drawn leaves it empty. */
    void Render();

    TPicture mPicture;
    TBitmap mRendition;
    bool mStale = true;
};

/**
 * The size and place of a width by height picture within a clientWidth by clientHeight area, by the
 * fit-and-centre rule. Exact integer arithmetic stands for the truncated quotients, so a picture whose
 * scaled side is a whole number gets exactly that.
 */
[[nodiscard]] TRect FitAndCentre(int width, int height, int clientWidth, int clientHeight);

} // namespace vellumar
