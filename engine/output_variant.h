#pragma once

#include <QString>

#include "engine/pixel_size.h"

namespace vellumar
{

/** One more output of every photo: written into DEST/Name/ at its own size, with the same name and overlay. */
struct TOutputVariant {
    QString Name;
    /** A long edge or a box, never enlarging, always with the smooth filter. */
    TResizeOptions Size;
    /** 0: the job's quality. */
    int Quality = 0;

    bool operator==(const TOutputVariant &) const = default;
};

/**
 * A variant as written NAME=SIZE[@QUALITY], SIZE a long edge ("1600") or a box ("800x600"), QUALITY 1 to 100.
 * Throws Exception "\"text\" is not NAME=SIZE[@QUALITY] ..." naming what is wrong; NAME must be a folder name
 * (no "/", not "." or "..").
 */
[[nodiscard]] TOutputVariant ParseOutputVariant(const QString &text);

/** The variant as ParseOutputVariant reads it. */
[[nodiscard]] QString OutputVariantText(const TOutputVariant &variant);

} // namespace vellumar
