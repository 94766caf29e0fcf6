#include "imaging/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kHalf = 1 << (kWeightBits - 1);

double Lanczos3(double x)
{
    x = std::abs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= 3.0)
        return 0.0;
    const double px = std::numbers::pi * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

std::uint8_t Clamped(std::int32_t sum)
{
    return std::uint8_t(std::clamp(sum >> kWeightBits, 0, 255));
}

// Weights are computed in double once per axis; only their application runs in integers.
TResampler::TAxis MakeAxis(int sourceLength, int length)
{
    TResampler::TAxis axis;
    if (sourceLength == length) {
        axis.Identity = true;
        return axis;
    }
    const double scale = double(sourceLength) / length;
    // Reducing, the kernel widens with the factor so that it cuts at the output's own Nyquist frequency.
    const double widen = std::max(scale, 1.0);
    const double support = 3.0 * widen;
    const int stride = int(std::ceil(2.0 * support)) + 2;
    axis.First.resize(std::size_t(length));
    axis.Count.resize(std::size_t(length));
    std::vector<double> weights(static_cast<std::size_t>(stride));
    std::vector<std::int16_t> all(std::size_t(length) * std::size_t(stride), 0);
    for (int i = 0; i < length; ++i) {
        const double centre = (i + 0.5) * scale;
        const int first = std::max(0, int(std::floor(centre - support)));
        const int last = std::min(sourceLength, int(std::ceil(centre + support)));
        double total = 0.0;
        for (int j = first; j < last; ++j) {
            const double w = Lanczos3((j + 0.5 - centre) / widen);
            weights[std::size_t(j - first)] = w;
            total += w;
        }
        // Fixed point that sums to exactly one, so flat areas stay exactly flat.
        std::int16_t *out = all.data() + std::size_t(i) * std::size_t(stride);
        int sum = 0;
        int largest = 0;
        for (int k = 0; k < last - first; ++k) {
            out[k] = std::int16_t(std::lround(weights[std::size_t(k)] / total * kWeightOne));
            sum += out[k];
            if (out[k] > out[largest])
                largest = k;
        }
        out[largest] = std::int16_t(out[largest] + kWeightOne - sum);
        axis.First[std::size_t(i)] = first;
        axis.Count[std::size_t(i)] = last - first;
        const bool whole = centre - support >= 0.0 && centre + support <= sourceLength;
        if (whole && axis.InteriorLast == 0)
            axis.InteriorFirst = i;
        if (whole)
            axis.InteriorLast = i + 1;
    }
    // The centres of a whole ratio lie at the same place in each step of Phases source pixels, so the windows
    // that the edges do not cut share their weights, those of InteriorFirst.
    if (sourceLength % length == 0 && sourceLength / length >= 2 && axis.InteriorLast > axis.InteriorFirst) {
        axis.Phases = sourceLength / length;
        axis.Offset = axis.First[std::size_t(axis.InteriorFirst)] - axis.Phases * axis.InteriorFirst;
    }
    axis.Weights = std::move(all);
    axis.MaxTaps = stride;
    return axis;
}

// The two loops that do all the work, built twice: for processors with AVX2 (eight 32-bit lanes and a
// native 32-bit multiply) and for any other; the loader picks one once.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELLUMAR_HOT_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define VELLUMAR_HOT_LOOP
#endif

// out[i] = the weighted sum over count rows of row[k][i], in fixed point.
VELLUMAR_HOT_LOOP void SumRows(const std::int16_t *weights,
    int count,
    const std::uint8_t *const *rows,
    std::size_t bytes,
    std::int32_t *sums,
    std::uint8_t *out)
{
    std::fill(sums, sums + bytes, kHalf);
    for (int k = 0; k < count; ++k) {
        const std::int32_t w = weights[k];
        const std::uint8_t *in = rows[k];
        for (std::size_t i = 0; i < bytes; ++i)
            sums[i] += w * in[i];
    }
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = Clamped(sums[i]);
}

// One pixel's three channels (and a fourth byte, ignored: row needs one byte to spare) go through the taps
// together as one vector.
VELLUMAR_HOT_LOOP void
SumColumns(const TResampler::TAxis &axis, const std::uint8_t *row, int firstX, int lastX, std::uint8_t *out)
{
    using TBytes = std::uint8_t __attribute__((vector_size(4)));
    using TLanes = std::int32_t __attribute__((vector_size(16)));
    for (int x = firstX; x < lastX; ++x) {
        const std::int16_t *weights = axis.Weights.data() + std::size_t(x) * std::size_t(axis.MaxTaps);
        const std::uint8_t *in = row + std::size_t(axis.First[std::size_t(x)]) * 3;
        const int count = axis.Count[std::size_t(x)];
        TLanes sum = { kHalf, kHalf, kHalf, kHalf };
        for (int k = 0; k < count; ++k, in += 3) {
            TBytes pixel;
            std::memcpy(&pixel, in, sizeof pixel);
            sum += __builtin_convertvector(pixel, TLanes) * std::int32_t(weights[k]);
        }
        out[std::size_t(x) * 3] = Clamped(sum[0]);
        out[std::size_t(x) * 3 + 1] = Clamped(sum[1]);
        out[std::size_t(x) * 3 + 2] = Clamped(sum[2]);
    }
}

// A whole ratio: split into one plane per channel and phase, each tap is a contiguous run over the interior,
// as for rows.
VELLUMAR_HOT_LOOP void SumColumnsPolyphase(const TResampler::TAxis &axis,
    const std::uint8_t *row,
    int width,
    std::uint8_t *planes,
    std::int32_t *sums,
    std::uint8_t *out)
{
    const int phases = axis.Phases;
    const std::size_t planeLength = std::size_t(width);
    for (int i = 0; i < width; ++i) {
        for (int m = 0; m < phases; ++m) {
            const std::uint8_t *pixel = row + (std::size_t(i) * std::size_t(phases) + std::size_t(m)) * 3;
            for (int c = 0; c < 3; ++c)
                planes[std::size_t(c * phases + m) * planeLength + std::size_t(i)] = pixel[c];
        }
    }
    const int first = axis.InteriorFirst;
    const int last = axis.InteriorLast;
    const std::int16_t *weights = axis.Weights.data() + std::size_t(first) * std::size_t(axis.MaxTaps);
    const int count = axis.Count[std::size_t(first)];
    for (int c = 0; c < 3; ++c) {
        std::int32_t *acc = sums + std::size_t(c) * planeLength;
        std::fill(acc + first, acc + last, kHalf);
        for (int k = 0; k < count; ++k) {
            const int j = axis.Offset + k;
            const int m = ((j % phases) + phases) % phases;
            const int shift = (j - m) / phases;
            const std::uint8_t *in = planes + std::size_t(c * phases + m) * planeLength;
            const std::int32_t w = weights[k];
            for (int x = first; x < last; ++x)
                acc[x] += w * in[x + shift];
        }
        for (int x = first; x < last; ++x)
            out[std::size_t(x) * 3 + std::size_t(c)] = Clamped(acc[x]);
    }
    SumColumns(axis, row, 0, first, out);
    SumColumns(axis, row, last, width, out);
}

} // namespace

TResampler::TResampler(int sourceWidth, int sourceHeight, int width, int height)
    : mSourceWidth(sourceWidth)
    , mSourceHeight(sourceHeight)
    , mWidth(width)
    , mHeight(height)
{
    if (sourceWidth < 1 || sourceHeight < 1 || width < 1 || height < 1)
        throw EInvalidGraphic("Invalid bitmap size");
    mColumns = MakeAxis(sourceWidth, width);
    mRows = MakeAxis(sourceHeight, height);
    mImage = QImage(width, height, QImage::Format_BGR888);
    if (mImage.isNull())
        throw EOutOfResources("Out of system resources");
    mImage.fill(Qt::black);
    const std::size_t sourceBytes = std::size_t(sourceWidth) * 3;
    mSlots = mRows.Identity ? 1 : *std::max_element(mRows.Count.begin(), mRows.Count.end());
    mRing.resize(std::size_t(mSlots) * sourceBytes);
    mSums.resize(sourceBytes);
    mRow.resize(sourceBytes + 4);
    mRowPointers.resize(std::size_t(mSlots));
    if (mColumns.Phases != 0)
        mPlanes.resize(sourceBytes);
}

void TResampler::AddRow(const std::uint8_t *row)
{
    if (mRowsIn >= mSourceHeight)
        return;
    const std::size_t sourceBytes = std::size_t(mSourceWidth) * 3;
    std::memcpy(mRing.data() + std::size_t(mRowsIn % mSlots) * sourceBytes, row, sourceBytes);
    ++mRowsIn;
    EmitReadyRows();
}

// An output row is made as soon as its last source row has arrived; the ring never drops a row that a pending
// output row still needs, as windows only move down and none is wider than the ring.
void TResampler::EmitReadyRows()
{
    const std::size_t sourceBytes = std::size_t(mSourceWidth) * 3;
    while (mRowsOut < mHeight) {
        if (mRows.Identity) {
            if (mRowsOut >= mRowsIn)
                return;
            std::memcpy(mRow.data(), mRing.data(), sourceBytes);
        } else {
            const int first = mRows.First[std::size_t(mRowsOut)];
            const int count = mRows.Count[std::size_t(mRowsOut)];
            if (first + count > mRowsIn)
                return;
            for (int k = 0; k < count; ++k)
                mRowPointers[std::size_t(k)] = mRing.data() + std::size_t((first + k) % mSlots) * sourceBytes;
            SumRows(mRows.Weights.data() + std::size_t(mRowsOut) * std::size_t(mRows.MaxTaps),
                count,
                mRowPointers.data(),
                sourceBytes,
                mSums.data(),
                mRow.data());
        }
        FilterColumns(mImage.scanLine(mRowsOut));
        ++mRowsOut;
    }
}

void TResampler::FilterColumns(std::uint8_t *out)
{
    if (mColumns.Identity)
        std::memcpy(out, mRow.data(), std::size_t(mWidth) * 3);
    else if (mColumns.Phases != 0)
        SumColumnsPolyphase(mColumns, mRow.data(), mWidth, mPlanes.data(), mSums.data(), out);
    else
        SumColumns(mColumns, mRow.data(), 0, mWidth, out);
}

QImage TResampler::TakeImage()
{
    return std::move(mImage);
}

} // namespace vellumar
