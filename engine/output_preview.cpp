#include "engine/output_preview.h"

namespace vellumar
{

std::vector<int> SamplePositions(int count)
{
    constexpr int kSamples = 5;
    std::vector<int> positions;
    for (int k = 0; k < std::min(kSamples, count); ++k) {
        // The middle of each fifth of the listing, so that no end of a sorted folder dominates.
        const int position = int((std::int64_t(2 * k + 1) * count) / (2 * std::min(kSamples, count)));
        if (positions.empty() || positions.back() != position)
            positions.push_back(position);
    }
    return positions;
}

QString ByteSizeText(std::int64_t bytes)
{
    if (bytes < 1000 * 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    const double megabytes = double(bytes) / 1e6;
    if (megabytes < 10)
        return QStringLiteral("%1 MB").arg(megabytes, 0, 'f', 1);
    if (megabytes < 10000)
        return QStringLiteral("%1 MB").arg(std::int64_t(megabytes + 0.5));
    return QStringLiteral("%1 GB").arg(megabytes / 1000, 0, 'f', 1);
}

} // namespace vellumar
