#pragma once

#include <cstdint>

#include <QFont>
#include <QString>

#include "imaging/graphic.h"

namespace vellumar
{

class TBitmap;

enum TFontStyle : std::uint8_t { fsBold = 0x01, fsItalic = 0x02 };
using TFontStyles = std::uint8_t;

/**
 * The pixels per inch the layouts are designed for. Everything written to a file is drawn at it, never
 * at the screen's: the same run must give the same bytes on every machine.
 */
constexpr int kLayoutPixelsPerInch = 96;

/** A font: Size (points) and Height (pixels) are two views of one value, at P pixels per inch. */
class TFont
{
public:
    /** "MS Sans Serif" at 8 points; P is the layouts' unless a window shows the font on its screen. */
    explicit TFont(int pixelsPerInch = kLayoutPixelsPerInch);

    [[nodiscard]] QString Name() const { return mName; }
    /** An empty name changes nothing; a longer name is cut to its first 31 characters. */
    void SetName(const QString &name);
    /** minus round-half-away(Height * 72 / P). */
    [[nodiscard]] int Size() const;
    /** Height := minus round-half-away(size * P / 72). */
    void SetSize(int size);
    /** Negative: the character height without internal leading; positive: the cell height; 0: default. */
    [[nodiscard]] int Height() const { return mHeight; }
    void SetHeight(int height) { mHeight = height; }
    [[nodiscard]] TColor Color() const { return mColor; }
    void SetColor(TColor color) { mColor = color; }
    [[nodiscard]] TFontStyles Style() const { return mStyle; }
    void SetStyle(TFontStyles style) { mStyle = style; }
    [[nodiscard]] int PixelsPerInch() const { return mPixelsPerInch; }

    /**
     * The platform font: pixel height from Height (Height 0: the application font's size at P), weight
     * 700 for bold else 400, italic, face.
     */
    [[nodiscard]] QFont ToQFont() const;

private:
    QString mName;
    int mPixelsPerInch;
    int mHeight = 0;
    TColor mColor = clWindowText;
    TFontStyles mStyle = 0;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

/** Text drawing flags; only these are supported. */
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_WORDBREAK = 0x10,
    DT_EXPANDTABS = 0x40,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
};

/** Resolves a colour (system colours included) to an opaque QColor-compatible 0xAARRGGBB value. */
[[nodiscard]] std::uint32_t ColorToRgb(TColor color);

/** The drawing surface of a bitmap; owned by the bitmap, made on first use. */
class TCanvas
{
public:
    explicit TCanvas(TBitmap &bitmap);

    TFont &Font() { return mFont; }
    TBrush &Brush() { return mBrush; }
    [[nodiscard]] const TFont &Font() const { return mFont; }
    [[nodiscard]] const TBrush &Brush() const { return mBrush; }
    [[nodiscard]] TBitmap &Bitmap() { return mBitmap; }

    /** Exact unscaled copy at (x, y); an absent or empty picture draws nothing. */
    void DrawAt(int x, int y, TGraphic *picture);
    /** Draws the whole picture scaled into rect; an absent picture draws nothing. */
    void DrawStretched(const TRect &rect, TGraphic *picture);
    /**
     * Lays out text in rect with flags (the DT_ constants) in the font and its colour, clipped to rect.
     * Lines are ascent + descent high. With DT_CALCRECT nothing is drawn: rect.Bottom becomes the
     * bottom of the laid-out lines and rect.Right moves out when one word is wider than rect.
     */
    void DrawTextInRect(const QString &text, TRect &rect, unsigned flags);

private:
    TBitmap &mBitmap;
    TFont mFont;
    TBrush mBrush;
};

} // namespace vellumar
