#pragma once

#include <cstdint>

#include <QString>

namespace vellumar
{

class TCanvas;

/** A rectangle of four 32-bit signed edges; right and bottom are exclusive. */
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    [[nodiscard]] int Width() const { return Right - Left; }
    [[nodiscard]] int Height() const { return Bottom - Top; }
    void Offset(int dx, int dy)
    {
        Left += dx;
        Right += dx;
        Top += dy;
        Bottom += dy;
    }
    friend bool operator==(const TRect &, const TRect &) = default;
};

/** 0x00BBGGRR, red in the lowest byte; the top bit set names a system colour. */
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSilver = 0xC0C0C0;
/** The window-text system colour, the default colour of a new font. */
inline constexpr TColor clWindowText = 0x80000008;

/** The picture base: anything a canvas can draw. */
class TGraphic
{
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic &) = default;
    TGraphic &operator=(const TGraphic &) = default;
    TGraphic(TGraphic &&) = default;
    TGraphic &operator=(TGraphic &&) = default;

    [[nodiscard]] virtual bool Empty() const = 0;
    [[nodiscard]] virtual int Width() const = 0;
    [[nodiscard]] virtual int Height() const = 0;
    /** Draws the whole picture into rect of canvas (non-const: a JPEG decodes on first draw). */
    virtual void DrawOnto(TCanvas &canvas, const TRect &rect) = 0;
    virtual void LoadFromFile(const QString &path) = 0;
};

} // namespace vellumar
