#include "engine/shard.h"

#include <limits>

namespace vellumar
{

int TShard::Size(int count) const
{
    if (count < Index)
        return 0;
    return (count - Index) / Count + 1;
}

QString TShard::Text() const
{
    return QStringLiteral("%1/%2").arg(Index).arg(Count);
}

std::optional<TShard> ParseShard(const QString &text)
{
    const auto whole = [](QStringView digits, int &value) {
        bool ok = digits.size() <= 7 && !digits.isEmpty();
        for (const QChar c : digits)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        value = ok ? digits.toInt() : 0;
        return ok;
    };
    const QString trimmed = text.trimmed();
    const qsizetype slash = trimmed.indexOf(QLatin1Char('/'));
    TShard shard;
    if (slash < 0 || !whole(QStringView(trimmed).left(slash), shard.Index)
        || !whole(QStringView(trimmed).mid(slash + 1), shard.Count))
        return std::nullopt;
    if (shard.Count < 1 || shard.Count > 1000000 || shard.Index < 1 || shard.Index > shard.Count)
        return std::nullopt;
    return shard;
}

std::int64_t NumberAtPosition(std::int64_t first, int position)
{
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
    if (position <= 0)
        return first;
    return first > kLargest - position ? kLargest : first + position;
}

} // namespace vellumar
