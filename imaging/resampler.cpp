#include "imaging/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/errors.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELLUMAR_AVX2 1
#endif

#ifdef VELLUMAR_AVX2
// The per-pixel column loop, built twice: for AVX2 and for any processor; the loader picks one once.
#define VELLUMAR_HOT_LOOP __attribute__((target_clones("avx2", "default")))

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

// Sixteen bytes of two rows at a time through vpmaddwd, their weights side by side: the same sums, shifts
// and clamps as the plain loop, so both give the same bytes. Returns how many bytes it did.
__attribute__((target("avx2"))) std::size_t SumRowsAvx2(const std::int16_t *weights,
    int count,
    const std::uint8_t *const *rows,
    std::size_t bytes,
    std::uint8_t *out)
{
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        __m256i low = _mm256_set1_epi32(kHalf);
        __m256i high = low;
        for (int k = 0; k < count; k += 2) {
            const bool pair = k + 1 < count;
            const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[k] + i)));
            const __m256i b = pair
                ? _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[k + 1] + i)))
                : _mm256_setzero_si256();
            const std::uint32_t wa = std::uint16_t(weights[k]);
            const std::uint32_t wb = pair ? std::uint16_t(weights[k + 1]) : 0u;
            const __m256i w = _mm256_set1_epi32(int(wa | (wb << 16)));
            low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w));
            high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w));
        }
        // Lane by lane the unpacks split 0-3 | 8-11 from 4-7 | 12-15, and the pack joins them back in order.
        const __m256i words =
            _mm256_packs_epi32(_mm256_srai_epi32(low, kWeightBits), _mm256_srai_epi32(high, kWeightBits));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
    }
    return i;
}
#else
#define VELLUMAR_HOT_LOOP
#endif

// out[i] = the weighted sum over count rows of row[k][i], in fixed point.
void SumRows(const std::int16_t *weights,
    int count,
    const std::uint8_t *const *rows,
    std::size_t bytes,
    std::int32_t *sums,
    std::uint8_t *out)
{
    std::size_t done = 0;
#ifdef VELLUMAR_AVX2
    if (HasAvx2())
        done = SumRowsAvx2(weights, count, rows, bytes, out);
#endif
    std::fill(sums + done, sums + bytes, kHalf);
    for (int k = 0; k < count; ++k) {
        const std::int32_t w = weights[k];
        const std::uint8_t *in = rows[k];
        for (std::size_t i = done; i < bytes; ++i)
            sums[i] += w * in[i];
    }
    for (std::size_t i = done; i < bytes; ++i)
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

void SumGrayColumns(const TResampler::TAxis &axis, const std::uint8_t *row, int firstX, int lastX, std::uint8_t *out)
{
    for (int x = firstX; x < lastX; ++x) {
        const std::int16_t *weights = axis.Weights.data() + std::size_t(x) * std::size_t(axis.MaxTaps);
        const std::uint8_t *in = row + axis.First[std::size_t(x)];
        const int count = axis.Count[std::size_t(x)];
        std::int32_t sum = kHalf;
        for (int k = 0; k < count; ++k)
            sum += std::int32_t(weights[k]) * in[k];
        out[x] = Clamped(sum);
    }
}

// The commonest split, a plane of samples at half size, in a form the compiler vectorises.
VELLUMAR_HOT_LOOP void SplitEvenOdd(const std::uint8_t *row, std::size_t length, std::uint8_t *even, std::uint8_t *odd)
{
    for (std::size_t i = 0; i < length; ++i) {
        even[i] = row[2 * i];
        odd[i] = row[2 * i + 1];
    }
}

// A whole ratio: split into one plane per channel and phase, each tap is a contiguous run over the interior,
// as for rows.
void SumColumnsPolyphase(const TResampler::TAxis &axis,
    const std::uint8_t *row,
    int width,
    int channels,
    std::uint8_t *planes,
    const std::uint8_t **taps,
    std::int32_t *sums,
    std::uint8_t *channel,
    std::uint8_t *out)
{
    const int phases = axis.Phases;
    const std::size_t planeLength = std::size_t(width);
    const std::size_t step = std::size_t(channels);
    if (channels == 1 && phases == 2)
        SplitEvenOdd(row, planeLength, planes, planes + planeLength);
    else
        for (int i = 0; i < width; ++i) {
            for (int m = 0; m < phases; ++m) {
                const std::uint8_t *pixel = row + (std::size_t(i) * std::size_t(phases) + std::size_t(m)) * step;
                for (int c = 0; c < channels; ++c)
                    planes[std::size_t(c * phases + m) * planeLength + std::size_t(i)] = pixel[c];
            }
        }
    const int first = axis.InteriorFirst;
    const int last = axis.InteriorLast;
    const int count = axis.Count[std::size_t(first)];
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < count; ++k) {
            const int j = axis.Offset + k;
            const int m = ((j % phases) + phases) % phases;
            const int shift = (j - m) / phases;
            taps[k] = planes + std::size_t(c * phases + m) * planeLength + std::size_t(first + shift);
        }
        SumRows(axis.Weights.data() + std::size_t(first) * std::size_t(axis.MaxTaps),
            count,
            taps,
            std::size_t(last - first),
            sums,
            channel);
        for (int x = first; x < last; ++x)
            out[std::size_t(x) * step + std::size_t(c)] = channel[x - first];
    }
    if (channels == 1) {
        SumGrayColumns(axis, row, 0, first, out);
        SumGrayColumns(axis, row, last, width, out);
    } else {
        SumColumns(axis, row, 0, first, out);
        SumColumns(axis, row, last, width, out);
    }
}

} // namespace

TResampler::TResampler(int sourceWidth, int sourceHeight, int width, int height, int channels)
    : mChannels(channels == 1 ? 1 : 3)
    , mSourceWidth(sourceWidth)
    , mSourceHeight(sourceHeight)
    , mWidth(width)
    , mHeight(height)
{
    if (sourceWidth < 1 || sourceHeight < 1 || width < 1 || height < 1)
        throw EInvalidGraphic("Invalid bitmap size");
    mColumns = MakeAxis(sourceWidth, width);
    mRows = MakeAxis(sourceHeight, height);
    mImage = QImage(width, height, mChannels == 1 ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
    if (mImage.isNull())
        throw EOutOfResources("Out of system resources");
    mImage.fill(Qt::black);
    const std::size_t sourceBytes = std::size_t(sourceWidth) * std::size_t(mChannels);
    mSlots = mRows.Identity ? 1 : *std::max_element(mRows.Count.begin(), mRows.Count.end());
    mRing.resize(std::size_t(mSlots) * sourceBytes);
    mSums.resize(sourceBytes);
    mRow.resize(sourceBytes + 4);
    mRowPointers.resize(std::size_t(mSlots));
    if (mColumns.Phases != 0) {
        mPlanes.resize(sourceBytes);
        mColumnTaps.resize(std::size_t(mColumns.MaxTaps));
        mChannel.resize(std::size_t(width));
    }
}

void TResampler::AddRow(const std::uint8_t *row)
{
    if (mRowsIn >= mSourceHeight)
        return;
    const std::size_t sourceBytes = std::size_t(mSourceWidth) * std::size_t(mChannels);
    std::memcpy(mRing.data() + std::size_t(mRowsIn % mSlots) * sourceBytes, row, sourceBytes);
    ++mRowsIn;
    EmitReadyRows();
}

// An output row is made as soon as its last source row has arrived; the ring never drops a row that a pending
// output row still needs, as windows only move down and none is wider than the ring.
void TResampler::EmitReadyRows()
{
    const std::size_t sourceBytes = std::size_t(mSourceWidth) * std::size_t(mChannels);
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
        std::memcpy(out, mRow.data(), std::size_t(mWidth) * std::size_t(mChannels));
    else if (mColumns.Phases != 0)
        SumColumnsPolyphase(mColumns,
            mRow.data(),
            mWidth,
            mChannels,
            mPlanes.data(),
            mColumnTaps.data(),
            mSums.data(),
            mChannel.data(),
            out);
    else if (mChannels == 1)
        SumGrayColumns(mColumns, mRow.data(), 0, mWidth, out);
    else
        SumColumns(mColumns, mRow.data(), 0, mWidth, out);
}

QImage TResampler::TakeImage()
{
    return std::move(mImage);
}

} // namespace vellumar
