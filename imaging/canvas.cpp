#include "imaging/canvas.h"

#include <algorithm>
#include <cmath>

#include "imaging/bitmap.h"
#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr int kMaxFaceNameLength = 31;

// Nearest integer, halves away from zero, as the font size rule wants.
int RoundHalfAway(double value)
{
    return int(std::lround(value));
}

} // namespace

std::uint32_t ColorToRgb(TColor color)
{
    if ((color & 0x80000000u) != 0) {
        // System colours: the only one used here is the window text, black on the usual theme.
        return 0xFF000000u;
    }
    const std::uint32_t red = color & 0xFF;
    const std::uint32_t green = (color >> 8) & 0xFF;
    const std::uint32_t blue = (color >> 16) & 0xFF;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

TFont::TFont(int pixelsPerInch)
    : mName(QStringLiteral("MS Sans Serif"))
    , mPixelsPerInch(std::max(1, pixelsPerInch))
{
    SetSize(8);
}

void TFont::SetName(const QString &name)
{
    if (name.isEmpty())
        return;
    mName = name.left(kMaxFaceNameLength);
}

int TFont::Size() const
{
    return -RoundHalfAway(double(mHeight) * 72.0 / double(mPixelsPerInch));
}

void TFont::SetSize(int size)
{
    mHeight = -RoundHalfAway(double(size) * double(mPixelsPerInch) / 72.0);
}

TCanvas::TCanvas(TBitmap &bitmap)
    : mBitmap(bitmap)
{
}

void TCanvas::DrawAt(int x, int y, TGraphic *picture)
{
    if (picture == nullptr || picture->Empty())
        return;
    picture->DrawOnto(*this, TRect { x, y, x + picture->Width(), y + picture->Height() });
}

void TCanvas::DrawStretched(const TRect &rect, TGraphic *picture)
{
    if (picture == nullptr)
        return;
    picture->DrawOnto(*this, rect);
}

} // namespace vellumar
