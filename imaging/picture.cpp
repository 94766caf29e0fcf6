#include "imaging/picture.h"

#include <QFileInfo>

#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/jpeg_image.h"

namespace vellumar
{

const std::vector<TFileType> &PictureFileTypes()
{
    // Entered once, in the order the types join: bitmaps first, then the JPEG image.
    static const std::vector<TFileType> types {
        { QStringLiteral("bmp"),
            [] {
                return std::make_unique<TBitmap>();
            } },
        { QStringLiteral("jpeg"),
            [] {
                return std::make_unique<TJPEGImage>();
            } },
        { QStringLiteral("jpg"),
            [] {
                return std::make_unique<TJPEGImage>();
            } },
    };
    return types;
}

void TPicture::LoadPictureFile(const QString &path)
{
    const QString extension = QFileInfo(path).suffix();
    const QString key = extension.toLower();
    const std::vector<TFileType> &types = PictureFileTypes();
    const auto found = std::find_if(types.rbegin(), types.rend(), [&key](const TFileType &type) {
        return type.Extension == key;
    });
    if (found == types.rend())
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    std::unique_ptr<TGraphic> graphic = found->Create();
    graphic->LoadFromFile(path);
    mGraphic = std::move(graphic);
    if (OnChange)
        OnChange();
}

void TPicture::Clear()
{
    mGraphic.reset();
    if (OnChange)
        OnChange();
}

} // namespace vellumar
