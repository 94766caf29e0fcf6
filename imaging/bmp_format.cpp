#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/errors.h"

namespace vellumar {

void TBitmap::DrawOnto(TCanvas &, const TRect &)
{
    throw EInvalidOperation("Canvas does not allow drawing");
}

void TBitmap::LoadFromFile(const QString &)
{
    throw EInvalidGraphic("Bitmap image is not valid");
}

void TBitmap::SaveToFile(const QString &)
{
    throw EInvalidGraphic("Invalid pixel format");
}

} // namespace vellumar
