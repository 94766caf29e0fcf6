#pragma once

#include <cstdint>
#include <optional>

#include <QString>

namespace vellumar
{

/**
 * Shard Index of Count (1 <= Index <= Count): the listing positions p with p % Count == Index - 1.
 * Interleaving rather than contiguous blocks keeps the shards' work even when the photos' sizes change
 * along the listing (a burst of panoramas, a second camera's files sorting together), and lets each
 * shard be worked out from the listing alone.
 */
struct TShard {
    int Index = 1;
    int Count = 1;

    [[nodiscard]] bool Contains(int position) const { return position % Count == Index - 1; }
    /** How many of count listing positions the shard holds. */
    [[nodiscard]] int Size(int count) const;
    /** "K/N". */
    [[nodiscard]] QString Text() const;
    friend bool operator==(const TShard &, const TShard &) = default;
};

/** "K/N" with 1 <= K <= N <= 1000000; empty for anything else. */
[[nodiscard]] std::optional<TShard> ParseShard(const QString &text);

/**
 * The running number that the photo at listing position gets in a renamed single run starting at first:
 * first + position, staying at the largest 64-bit value once there, as advancing one by one would.
 */
[[nodiscard]] std::int64_t NumberAtPosition(std::int64_t first, int position);

} // namespace vellumar
