#pragma once

// Colour management: which colours a photo's output carries, and the conversions to sRGB that get it there.
// The output is always three-component RGB, so the profile written with it must describe RGB: a CMYK or gray
// source is converted through its own profile, and an RGB source keeps its profile unless asked for sRGB.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace vellumar
{

/** Which profile an output carries. */
enum class TOutputProfile {
    /** None: the pixels are read as sRGB. */
    opNone,
    /** The source's own profile, byte for byte. */
    opSource,
    /** The sRGB profile of SrgbProfile(). */
    opSrgb,
};

/** How one photo's colours reach its output. */
struct TColourRoute {
    /** The decoder converts the source's CMYK or gray through the source's profile to sRGB. */
    bool DecodeToSrgb = false;
    /** The decoded RGB pixels are converted from the source's profile to sRGB (best on the reduced picture). */
    bool ConvertToSrgb = false;
    TOutputProfile Profile = TOutputProfile::opNone;
};

/**
 * The route of a stream with components colour components (1, 3 or 4; 0 counts as 3) and the embedded profile
 * icc (empty: none). toSrgb asks for sRGB from an RGB profile that is not sRGB already. A profile that is read
 * but does not describe the output's pixels is left out; one that cannot be read at all is kept for an RGB
 * source, as nothing better is known of it. Throws nothing.
 */
[[nodiscard]] TColourRoute ColourRoute(int components, std::span<const std::uint8_t> icc, bool toSrgb);

/** The sRGB profile written with converted pixels (the same bytes on every call). */
[[nodiscard]] const std::vector<std::uint8_t> &SrgbProfile();

/** Pixels handed to a TSrgbTransform. */
enum class TColourLayout {
    /** Blue, green, red: three bytes a pixel. */
    clBgr,
    /** Cyan, magenta, yellow, black as ink amounts: four bytes a pixel. */
    clCmyk,
    /** The same stored inverted (255 is no ink), as Adobe's writers do. */
    clCmykInverted,
    /** One byte a pixel. */
    clGray,
};

/**
 * A conversion from a source profile to sRGB (blue, green, red out), perceptual, with black-point compensation.
 * Made through MakeSrgbTransform; shared and used from any thread.
 */
class TSrgbTransform
{
public:
    virtual ~TSrgbTransform() = default;
    /** Converts count pixels from in (in the transform's layout) to blue, green, red at out; in may equal out. */
    virtual void Convert(const std::uint8_t *in, std::uint8_t *out, std::size_t count) const = 0;
};

/**
 * The transform from icc in layout to sRGB; null when the profile cannot be read, does not match the layout, or
 * no transform can be made from it. Recently made transforms are kept and handed out again.
 */
[[nodiscard]] std::shared_ptr<const TSrgbTransform> MakeSrgbTransform(std::span<const std::uint8_t> icc,
    TColourLayout layout);

/** Converts a bitmap's pixels from the RGB profile icc to sRGB in place; false (unchanged) when it cannot. */
bool ConvertBitmapToSrgb(TBitmap &bitmap, std::span<const std::uint8_t> icc);

} // namespace vellumar
