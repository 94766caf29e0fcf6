#include "engine/output_variant.h"

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

// The largest side a JPEG can have.
constexpr int kMaxSide = 65500;

int Whole(const QString &text, int low, int high, const char *what)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || number < low || number > high)
        throw Exception(QStringLiteral("%1 \"%2\" is not a whole number from %3 to %4")
                            .arg(QLatin1String(what), text)
                            .arg(low)
                            .arg(high));
    return number;
}

} // namespace

TOutputVariant ParseOutputVariant(const QString &text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    const QString name = text.left(std::max<qsizetype>(equals, 0)).trimmed();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String(".."))
        throw Exception(QStringLiteral("\"%1\" is not NAME=SIZE[@QUALITY] with a folder name NAME").arg(text));
    QString size = text.mid(equals + 1);
    TOutputVariant variant;
    variant.Name = name;
    variant.Size.Filter = TResizeFilter::Smooth;
    if (const qsizetype at = size.indexOf(QLatin1Char('@')); at >= 0) {
        variant.Quality = Whole(size.mid(at + 1), 1, 100, "the quality");
        size = size.left(at);
    }
    if (const qsizetype cross = size.indexOf(QLatin1Char('x'), 0, Qt::CaseInsensitive); cross >= 0) {
        variant.Size.Mode = TSizeMode::Fit;
        variant.Size.Box = { Whole(size.left(cross), 1, kMaxSide, "the width"),
            Whole(size.mid(cross + 1), 1, kMaxSide, "the height") };
    } else {
        variant.Size.Mode = TSizeMode::LongEdge;
        variant.Size.LongEdge = Whole(size, 1, kMaxSide, "the long edge");
    }
    return variant;
}

QString OutputVariantText(const TOutputVariant &variant)
{
    QString text = variant.Name + QLatin1Char('=');
    text += variant.Size.Mode == TSizeMode::Fit
        ? QStringLiteral("%1x%2").arg(variant.Size.Box.Width).arg(variant.Size.Box.Height)
        : QString::number(variant.Size.LongEdge);
    if (variant.Quality > 0)
        text += QLatin1Char('@') + QString::number(variant.Quality);
    return text;
}

} // namespace vellumar
