#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

namespace vellumar
{

/**
 * A separable resampler of 24-bit rows (blue, green, red) in fixed point, with the Lanczos kernel of
 * three lobes (widened by the reduction factor, so that it cuts at the output's Nyquist frequency): each source row is
 * kept only while an output row still needs it, so the source picture never exists whole. Columns are filtered after
 * rows, so the costlier horizontal taps run only over output rows. The whole source maps onto the whole output, pixel
 * centres to pixel centres. An axis of equal lengths is copied unfiltered. Sizes must be at least 1; enlarging
 * interpolates with the kernel unwidened.
 */
class TResampler
{
public:
    /**
     * channels is 3 (blue, green, red) or 1 (one plane of samples). Throws EInvalidGraphic "Invalid bitmap size"
     * for a size below 1, EOutOfResources when out of memory.
     */
    TResampler(int sourceWidth, int sourceHeight, int width, int height, int channels = 3);

    /**
     * Takes the next source row, top to bottom: sourceWidth * channels bytes. Rows beyond sourceHeight are
     * ignored.
     */
    void AddRow(const std::uint8_t *row);
    /**
     * The output (Format_BGR888, or Format_Grayscale8 for one channel); complete once all source rows were
     * added, rows not reached yet are black.
     */
    [[nodiscard]] QImage TakeImage();

    /** The taps of one axis: output pixel i sums Count weights (fixed point, 1 << 14 in all) from First on. */
    struct TAxis {
        std::vector<int> First;
        std::vector<int> Count;
        std::vector<std::int16_t> Weights; // MaxTaps a pixel, zero past Count
        int MaxTaps = 0;
        bool Identity = false;
        // With a whole ratio of Phases >= 2, every output pixel in [InteriorFirst, InteriorLast) (whose window
        // the edges do not cut) takes the same weights, from source pixel Phases * i + Offset on.
        int Phases = 0;
        int Offset = 0;
        int InteriorFirst = 0;
        int InteriorLast = 0;
    };

private:
    void FilterColumns(std::uint8_t *out);
    void EmitReadyRows();

    int mChannels;
    int mSourceWidth;
    int mSourceHeight;
    int mWidth;
    int mHeight;
    TAxis mColumns;
    TAxis mRows;
    // Source rows still needed, row r at slot r % mSlots.
    std::vector<std::uint8_t> mRing;
    int mSlots = 0;
    int mRowsIn = 0;
    int mRowsOut = 0;
    std::vector<std::int32_t> mSums;
    std::vector<const std::uint8_t *> mRowPointers;
    // One vertically filtered row, with room to read a whole 4-byte word at its last pixel.
    std::vector<std::uint8_t> mRow;
    // That row split by channel and phase, for a whole ratio; the taps into it and one channel's sums.
    std::vector<std::uint8_t> mPlanes;
    std::vector<const std::uint8_t *> mColumnTaps;
    std::vector<std::uint8_t> mChannel;
    QImage mImage;
};

} // namespace vellumar
