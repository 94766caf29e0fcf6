#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "imaging/graphic.h"

namespace vellumar
{

/** One entry of the list of picture file types. */
struct TFileType {
    QString Extension; // lower case, no dot
    std::function<std::unique_ptr<TGraphic>()> Create;
};

/**
 * The list of file types in the order they were entered ("bmp", then "jpeg" and "jpg");
 * LoadPictureFile looks them up newest first. Built once, never changed.
 */
[[nodiscard]] const std::vector<TFileType> &PictureFileTypes();

/** Holds one picture of any kind, or none. */
class TPicture
{
public:
    [[nodiscard]] TGraphic *Graphic() const { return mGraphic.get(); }
    /**
     * Loads path by its lower-cased extension. EInvalidGraphic "Unknown picture file extension (.%s)"
     * (the extension as found) when it is not listed. A failed load leaves the previous picture and
     * passes the error on unchanged.
     */
    void LoadPictureFile(const QString &path);
    void Clear();
    /** Told after every change of the picture (a picture view repaints). */
    std::function<void()> OnChange;

private:
    std::unique_ptr<TGraphic> mGraphic;
};

} // namespace vellumar
