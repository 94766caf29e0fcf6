#include "imaging/colour_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include <lcms2.h>

namespace vellumar
{

namespace
{

enum class TProfileKind { pkUnreadable, pkRgb, pkCmyk, pkGray, pkOther };

// Most transforms kept at once: a run meets few distinct profiles, usually one camera's or one phone's.
constexpr std::size_t kKeptTransforms = 8;
// Levels by which a profile may move a colour and still count as sRGB.
constexpr int kSrgbTolerance = 1;

struct TProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;

TProfile OpenProfile(std::span<const std::uint8_t> icc)
{
    if (icc.empty() || icc.size() > std::size_t(UINT32_MAX))
        return TProfile();
    return TProfile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
}

TProfileKind KindOf(cmsHPROFILE profile)
{
    if (profile == nullptr)
        return TProfileKind::pkUnreadable;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass)
        return TProfileKind::pkOther;
    switch (cmsGetColorSpace(profile)) {
    case cmsSigRgbData:
        return TProfileKind::pkRgb;
    case cmsSigCmykData:
        return TProfileKind::pkCmyk;
    case cmsSigGrayData:
        return TProfileKind::pkGray;
    default:
        return TProfileKind::pkOther;
    }
}

TProfileKind ProfileKind(std::span<const std::uint8_t> icc)
{
    return KindOf(OpenProfile(icc).get());
}

struct TLayoutFacts {
    cmsUInt32Number Format;
    TProfileKind Kind;
    std::size_t Bytes;
};

TLayoutFacts FactsOf(TColourLayout layout)
{
    switch (layout) {
    case TColourLayout::clCmyk:
        return { TYPE_CMYK_8, TProfileKind::pkCmyk, 4 };
    case TColourLayout::clCmykInverted:
        return { TYPE_CMYK_8_REV, TProfileKind::pkCmyk, 4 };
    case TColourLayout::clGray:
        return { TYPE_GRAY_8, TProfileKind::pkGray, 1 };
    case TColourLayout::clBgr:
        break;
    }
    return { TYPE_BGR_8, TProfileKind::pkRgb, 3 };
}

TProfile MakeSrgb()
{
    return TProfile(cmsCreate_sRGBProfile());
}

class TLcmsTransform final : public TSrgbTransform
{
public:
    TLcmsTransform(cmsHTRANSFORM transform, std::size_t inBytes)
        : mTransform(transform)
        , mInBytes(inBytes)
    {
    }
    ~TLcmsTransform() override { cmsDeleteTransform(mTransform); }
    TLcmsTransform(const TLcmsTransform &) = delete;
    TLcmsTransform &operator=(const TLcmsTransform &) = delete;

    void Convert(const std::uint8_t *in, std::uint8_t *out, std::size_t count) const override
    {
        // A transform made without its one-pixel cache changes nothing of its own, so threads may share it.
        constexpr std::size_t kChunk = 4096;
        if (in != out || mInBytes == 3) {
            for (std::size_t done = 0; done < count; done += kChunk) {
                const std::size_t n = std::min(kChunk, count - done);
                cmsDoTransform(mTransform, in + done * mInBytes, out + done * 3, cmsUInt32Number(n));
            }
            return;
        }
        // In place from a wider layout: each chunk is read from a copy, as the output overtakes the input.
        std::vector<std::uint8_t> copy(std::min(kChunk, count) * mInBytes);
        for (std::size_t done = 0; done < count; done += kChunk) {
            const std::size_t n = std::min(kChunk, count - done);
            std::memcpy(copy.data(), in + done * mInBytes, n * mInBytes);
            cmsDoTransform(mTransform, copy.data(), out + done * 3, cmsUInt32Number(n));
        }
    }

private:
    cmsHTRANSFORM mTransform;
    std::size_t mInBytes;
};

// A matrix-shaper RGB profile to sRGB: each channel through its curve to linear light, one 3 x 3 matrix from
// the source's primaries to sRGB's, then sRGB's curve, all in tables that Little CMS fills from the two profiles.
// It gives Little CMS's colours (perceptual and black-point compensation change nothing between two
// matrix-shaper profiles with a black of zero) at a fraction of the time of its general 8-bit path, which is
// what keeps converting every photo cheap.
class TMatrixShaperTransform final : public TSrgbTransform
{
public:
    static std::shared_ptr<const TMatrixShaperTransform> Make(cmsHPROFILE source)
    {
        const TProfile srgb = MakeSrgb();
        // A profile with its own tables is converted through them, as every colour-managed reader does.
        if (!cmsIsMatrixShaper(source) || cmsIsTag(source, cmsSigAToB0Tag) || cmsIsTag(source, cmsSigAToB1Tag) || !srgb)
            return nullptr;
        double from[3][3];
        double to[3][3];
        if (!Colorants(source, from) || !Colorants(srgb.get(), to))
            return nullptr;
        double inverse[3][3];
        if (!Invert(to, inverse))
            return nullptr;
        auto made = std::make_shared<TMatrixShaperTransform>();
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                double sum = 0;
                for (int k = 0; k < 3; ++k)
                    sum += inverse[row][k] * from[k][column];
                made->mMatrix[row][column] = float(sum);
            }
        }
        const cmsTagSignature curves[3] = { cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag };
        for (int c = 0; c < 3; ++c) {
            const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(source, curves[c]));
            if (curve == nullptr)
                return nullptr;
            for (int level = 0; level < 256; ++level)
                made->mLinear[c][std::size_t(level)] = cmsEvalToneCurveFloat(curve, float(level) / 255.0f);
        }
        const auto *srgbCurve = static_cast<const cmsToneCurve *>(cmsReadTag(srgb.get(), cmsSigRedTRCTag));
        cmsToneCurve *encode = srgbCurve != nullptr ? cmsReverseToneCurve(srgbCurve) : nullptr;
        if (encode == nullptr)
            return nullptr;
        for (std::size_t i = 0; i < made->mEncode.size(); ++i) {
            const float value = cmsEvalToneCurveFloat(encode, float(i) / float(kEncodeSteps));
            made->mEncode[i] = std::uint8_t(std::clamp(int(std::lround(value * 255.0f)), 0, 255));
        }
        cmsFreeToneCurve(encode);
        return made;
    }

    void Convert(const std::uint8_t *in, std::uint8_t *out, std::size_t count) const override
    {
        for (std::size_t i = 0; i < count; ++i, in += 3, out += 3) {
            const float r = mLinear[0][in[2]];
            const float g = mLinear[1][in[1]];
            const float b = mLinear[2][in[0]];
            float channel[3];
            for (int c = 0; c < 3; ++c) {
                const float value = mMatrix[c][0] * r + mMatrix[c][1] * g + mMatrix[c][2] * b;
                channel[c] = std::clamp(value, 0.0f, 1.0f);
            }
            out[2] = mEncode[std::size_t(channel[0] * float(kEncodeSteps) + 0.5f)];
            out[1] = mEncode[std::size_t(channel[1] * float(kEncodeSteps) + 0.5f)];
            out[0] = mEncode[std::size_t(channel[2] * float(kEncodeSteps) + 0.5f)];
        }
    }

private:
    static constexpr int kEncodeSteps = 16384;

    // The profile's colorants as the columns of a matrix from its linear RGB to the connection space.
    static bool Colorants(cmsHPROFILE profile, double matrix[3][3])
    {
        const cmsTagSignature tags[3] = { cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag };
        for (int column = 0; column < 3; ++column) {
            const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, tags[column]));
            if (xyz == nullptr)
                return false;
            matrix[0][column] = xyz->X;
            matrix[1][column] = xyz->Y;
            matrix[2][column] = xyz->Z;
        }
        return true;
    }

    static bool Invert(const double m[3][3], double out[3][3])
    {
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
            - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        if (std::abs(det) < 1e-9)
            return false;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                const int r1 = (c + 1) % 3;
                const int r2 = (c + 2) % 3;
                const int c1 = (r + 1) % 3;
                const int c2 = (r + 2) % 3;
                out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
            }
        }
        return true;
    }

    float mMatrix[3][3] {};
    std::array<std::array<float, 256>, 3> mLinear {};
    std::array<std::uint8_t, kEncodeSteps + 1> mEncode {};
};

// True when transform leaves every colour of a coarse cube within kSrgbTolerance: its profile is sRGB.
bool KeepsColours(const TSrgbTransform &transform)
{
    constexpr int kSteps = 9;
    std::vector<std::uint8_t> probe;
    for (int b = 0; b < kSteps; ++b) {
        for (int g = 0; g < kSteps; ++g) {
            for (int r = 0; r < kSteps; ++r) {
                for (const int level : { b, g, r })
                    probe.push_back(std::uint8_t(std::min(255, level * 32)));
            }
        }
    }
    std::vector<std::uint8_t> out(probe.size());
    transform.Convert(probe.data(), out.data(), probe.size() / 3);
    for (std::size_t i = 0; i < probe.size(); ++i) {
        if (std::abs(int(probe[i]) - int(out[i])) > kSrgbTolerance)
            return false;
    }
    return true;
}

struct TKeptTransform {
    std::vector<std::uint8_t> Icc;
    TColourLayout Layout;
    std::shared_ptr<const TSrgbTransform> Transform;
    bool IsSrgb = false;
};

std::mutex gKeptMutex;
std::vector<TKeptTransform> gKept;

std::shared_ptr<const TSrgbTransform> NewTransform(std::span<const std::uint8_t> icc, TColourLayout layout)
{
    const TProfile source = OpenProfile(icc);
    const TLayoutFacts facts = FactsOf(layout);
    if (KindOf(source.get()) != facts.Kind)
        return nullptr;
    if (layout == TColourLayout::clBgr) {
        if (std::shared_ptr<const TSrgbTransform> fast = TMatrixShaperTransform::Make(source.get()))
            return fast;
    }
    const TProfile srgb = MakeSrgb();
    cmsHTRANSFORM transform = cmsCreateTransform(source.get(),
        facts.Format,
        srgb.get(),
        TYPE_BGR_8,
        INTENT_PERCEPTUAL,
        cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
    if (transform == nullptr)
        return nullptr;
    return std::make_shared<const TLcmsTransform>(transform, facts.Bytes);
}

// The kept entry for icc in layout, made when new; its transform is null when none can be made.
TKeptTransform Kept(std::span<const std::uint8_t> icc, TColourLayout layout)
{
    {
        const std::lock_guard lock(gKeptMutex);
        for (auto at = gKept.begin(); at != gKept.end(); ++at) {
            if (at->Layout == layout && std::ranges::equal(at->Icc, icc)) {
                // The most recent first, so that the oldest goes when the list is full.
                std::rotate(gKept.begin(), at, at + 1);
                return gKept.front();
            }
        }
    }
    TKeptTransform entry { .Icc = { icc.begin(), icc.end() },
        .Layout = layout,
        .Transform = NewTransform(icc, layout) };
    entry.IsSrgb = entry.Transform && layout == TColourLayout::clBgr && KeepsColours(*entry.Transform);
    const std::lock_guard lock(gKeptMutex);
    gKept.insert(gKept.begin(), entry);
    if (gKept.size() > kKeptTransforms)
        gKept.pop_back();
    return entry;
}

std::vector<std::uint8_t> SavedSrgbProfile()
{
    const TProfile srgb = MakeSrgb();
    cmsUInt32Number size = 0;
    if (!srgb || !cmsSaveProfileToMem(srgb.get(), nullptr, &size))
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(srgb.get(), bytes.data(), &size))
        return {};
    bytes.resize(size);
    // The header's creation time would make every run's output differ; a fixed date keeps them identical.
    constexpr std::size_t kDateAt = 24;
    constexpr std::uint8_t kFixedDate[12] = { 0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0 };
    if (bytes.size() >= kDateAt + sizeof kFixedDate)
        std::memcpy(bytes.data() + kDateAt, kFixedDate, sizeof kFixedDate);
    return bytes;
}

} // namespace

const std::vector<std::uint8_t> &SrgbProfile()
{
    static const std::vector<std::uint8_t> profile = SavedSrgbProfile();
    return profile;
}

std::shared_ptr<const TSrgbTransform> MakeSrgbTransform(std::span<const std::uint8_t> icc, TColourLayout layout)
{
    return Kept(icc, layout).Transform;
}

TColourRoute ColourRoute(int components, std::span<const std::uint8_t> icc, bool toSrgb)
{
    if (icc.empty())
        return {};
    const TProfileKind kind = ProfileKind(icc);
    const TColourRoute converted { .DecodeToSrgb = true, .Profile = TOutputProfile::opSrgb };
    if (components == 4)
        return kind == TProfileKind::pkCmyk && MakeSrgbTransform(icc, TColourLayout::clCmyk) ? converted
                                                                                             : TColourRoute {};
    if (components == 1 && kind == TProfileKind::pkGray)
        return MakeSrgbTransform(icc, TColourLayout::clGray) ? converted : TColourRoute {};
    // What cannot be read cannot be judged: an RGB stream keeps it as before.
    if (kind == TProfileKind::pkUnreadable)
        return { .Profile = components == 1 ? TOutputProfile::opNone : TOutputProfile::opSource };
    if (kind != TProfileKind::pkRgb)
        return {};
    const TColourRoute kept { .Profile = TOutputProfile::opSource };
    if (!toSrgb)
        return kept;
    const TKeptTransform entry = Kept(icc, TColourLayout::clBgr);
    if (!entry.Transform || entry.IsSrgb)
        return kept;
    return { .ConvertToSrgb = true, .Profile = TOutputProfile::opSrgb };
}

bool ConvertBitmapToSrgb(TBitmap &bitmap, std::span<const std::uint8_t> icc)
{
    const std::shared_ptr<const TSrgbTransform> transform = MakeSrgbTransform(icc, TColourLayout::clBgr);
    if (!transform || bitmap.Empty())
        return false;
    if (bitmap.PixelFormat() == TPixelFormat::pf8bit) {
        QImage &image = bitmap.MutableImage();
        QList<QRgb> palette = image.colorTable();
        for (QRgb &entry : palette) {
            const std::uint8_t bgr[3] = { std::uint8_t(qBlue(entry)),
                std::uint8_t(qGreen(entry)),
                std::uint8_t(qRed(entry)) };
            std::uint8_t out[3];
            transform->Convert(bgr, out, 1);
            entry = qRgb(out[2], out[1], out[0]);
        }
        image.setColorTable(palette);
        return true;
    }
    bitmap.SetPixelFormat24();
    QImage &image = bitmap.MutableImage();
    for (int y = 0; y < image.height(); ++y)
        transform->Convert(image.scanLine(y), image.scanLine(y), std::size_t(image.width()));
    return true;
}

} // namespace vellumar
