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
VELLUMAR_HOT_LOOP void SumColumns(const TResampler::TAxis &axis, const std::uint8_t *row, int width, std::uint8_t *out)
{
    using TBytes = std::uint8_t __attribute__((vector_size(4)));
    using TLanes = std::int32_t __attribute__((vector_size(16)));
    const std::int16_t *weights = axis.Weights.data();
    for (int x = 0; x < width; ++x, weights += axis.MaxTaps, out += 3) {
        const std::uint8_t *in = row + std::size_t(axis.First[std::size_t(x)]) * 3;
        const int count = axis.Count[std::size_t(x)];
        TLanes sum = { kHalf, kHalf, kHalf, kHalf };
        for (int k = 0; k < count; ++k, in += 3) {
            TBytes pixel;
            std::memcpy(&pixel, in, sizeof pixel);
            sum += __builtin_convertvector(pixel, TLanes) * std::int32_t(weights[k]);
        }
        out[0] = Clamped(sum[0]);
        out[1] = Clamped(sum[1]);
        out[2] = Clamped(sum[2]);
    }
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

void TResampler::FilterColumns(std::uint8_t *out) const
{
    if (mColumns.Identity)
        std::memcpy(out, mRow.data(), std::size_t(mWidth) * 3);
    else
        SumColumns(mColumns, mRow.data(), mWidth, out);
}

QImage TResampler::TakeImage()
{
    return std::move(mImage);
}

} // namespace vellumar
