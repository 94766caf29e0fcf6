#include "engine/name_template.h"

#include <algorithm>
#include <array>

#include <QDateTime>
#include <QRegularExpression>

namespace vellumar
{

namespace
{

constexpr std::array<const char *, 7> kTokens { "name", "n", "date", "time", "camera", "w", "h" };

QString TokenValue(const TTokenValues &values, QStringView token)
{
    if (token == u"name")
        return values.Name;
    if (token == u"n")
        return values.Number;
    if (token == u"date")
        return values.Date;
    if (token == u"time")
        return values.Time;
    if (token == u"camera")
        return values.Camera;
    return token == u"w" ? values.Width : values.Height;
}

// Characters that some file system or shell makes trouble of become "_"; spaces stay.
QString SafeForName(const QString &value)
{
    QString safe;
    for (const QChar c : value)
        safe += c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(c)
            ? QLatin1Char('_')
            : c;
    return safe.trimmed();
}

} // namespace

QString TemplateProblem(const QString &text)
{
    qsizetype at = 0;
    while ((at = text.indexOf(QLatin1Char('{'), at)) >= 0) {
        const qsizetype end = text.indexOf(QLatin1Char('}'), at);
        if (end < 0)
            return QStringLiteral("\"{\" at %1 is never closed").arg(at + 1);
        const QStringView token = QStringView(text).mid(at + 1, end - at - 1);
        if (std::none_of(kTokens.begin(), kTokens.end(), [&](const char *known) {
                return token == QLatin1String(known);
            }))
            return QStringLiteral("unknown token {%1} (known: {name} {n} {date} {time} {camera} {w} {h})")
                .arg(token.toString());
        at = end + 1;
    }
    return QString();
}

bool TemplateReadsPhoto(const QString &text)
{
    for (const char *token : { "{date}", "{time}", "{camera}", "{w}", "{h}" })
        if (text.contains(QLatin1String(token)))
            return true;
    return false;
}

QString FillTokens(const QString &text, const TTokenValues &values, bool forName)
{
    if (!TemplateProblem(text).isEmpty())
        return text;
    QString filled;
    qsizetype from = 0;
    qsizetype at = 0;
    while ((at = text.indexOf(QLatin1Char('{'), from)) >= 0) {
        const qsizetype end = text.indexOf(QLatin1Char('}'), at);
        filled += QStringView(text).mid(from, at - from);
        const QString value = TokenValue(values, QStringView(text).mid(at + 1, end - at - 1));
        filled += forName ? SafeForName(value) : value;
        from = end + 1;
    }
    return filled + text.mid(from);
}

void SetDateTokens(TTokenValues &values, const QString &dateTimeOriginal, std::int64_t modifiedSeconds)
{
    static const QRegularExpression exifDate(QStringLiteral("^(\\d{4}):(\\d{2}):(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})"));
    const QRegularExpressionMatch match = exifDate.match(dateTimeOriginal);
    // Cameras without a clock write "0000:00:00 00:00:00": no date.
    if (match.hasMatch() && match.captured(1) != QLatin1String("0000")) {
        values.Date = QStringLiteral("%1-%2-%3").arg(match.captured(1), match.captured(2), match.captured(3));
        values.Time = match.captured(4) + match.captured(5) + match.captured(6);
        return;
    }
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(modifiedSeconds).toLocalTime();
    values.Date = modified.toString(QStringLiteral("yyyy-MM-dd"));
    values.Time = modified.toString(QStringLiteral("HHmmss"));
}

} // namespace vellumar
