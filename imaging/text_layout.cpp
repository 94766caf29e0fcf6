#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/errors.h"

namespace vellumar {

QFont TFont::ToQFont() const
{
    QFont font(mName);
    if (mHeight < 0)
        font.setPixelSize(-mHeight);
    else if (mHeight > 0)
        font.setPixelSize(mHeight);
    font.setWeight((mStyle & fsBold) != 0 ? QFont::Bold : QFont::Normal);
    font.setItalic((mStyle & fsItalic) != 0);
    return font;
}

void TCanvas::DrawTextInRect(const QString &, TRect &, unsigned)
{
    throw EInvalidOperation("Canvas does not allow drawing");
}

} // namespace vellumar
