#include "imaging/canvas.h"

#include <cmath>

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

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

struct TScreenFacts {
    int PixelsPerInch = 96;
    int BitsPerPixel = 24;
};

// Read once: the facts of the screen at start-up, or the usual display's when there is none.
const TScreenFacts &ScreenFacts()
{
    static const TScreenFacts facts = [] {
        TScreenFacts read;
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
            if (const QScreen *screen = QGuiApplication::primaryScreen()) {
                read.PixelsPerInch = std::max(1, int(std::lround(screen->logicalDotsPerInchY())));
                read.BitsPerPixel = screen->depth() > 0 ? screen->depth() : 24;
            }
        }
        return read;
    }();
    return facts;
}

} // namespace

int ScreenPixelsPerInch()
{
    return ScreenFacts().PixelsPerInch;
}

int ScreenBitsPerPixel()
{
    return ScreenFacts().BitsPerPixel;
}

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

TFont::TFont()
    : mName(QStringLiteral("MS Sans Serif"))
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
    return -RoundHalfAway(double(mHeight) * 72.0 / double(ScreenPixelsPerInch()));
}

void TFont::SetSize(int size)
{
    mHeight = -RoundHalfAway(double(size) * double(ScreenPixelsPerInch()) / 72.0);
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
