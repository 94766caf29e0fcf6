#include "engine/preset.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include "imaging/file_io.h"

namespace vellumar
{

namespace
{

const QLatin1String kFormatKey("format");
// A preset saved "with folders" holds them under these keys, which no option has.
const QLatin1String kSourceKey("source");
const QLatin1String kDestinationKey("destination");
// A preset is a few hundred bytes; anything much larger is no preset.
constexpr std::size_t kMaxPresetBytes = 1 << 20;
// JSON numbers are doubles: whole numbers beyond this are written as text to stay exact.
constexpr std::int64_t kExactInDouble = std::int64_t(1) << 53;

const QLatin1String kPresetSuffix(".json");
// Names no preset can have, as a preset's name never starts with ".".
const QLatin1String kLastUsedFile(".last-used.json");
const QLatin1String kStartWithLastUsedFile(".start-with-last-used");

QJsonValue ValueOf(const TJobOption &option, const QString &text)
{
    switch (option.Value) {
    case TOptionValue::Flag:
        return text == QLatin1String("true");
    case TOptionValue::Whole:
        if (const qlonglong number = text.toLongLong(); number >= -kExactInDouble && number <= kExactInDouble)
            return double(number);
        return text;
    case TOptionValue::List:
        return QJsonArray::fromStringList(text.split(QLatin1Char('\n')));
    case TOptionValue::Text:
        break;
    }
    return text;
}

QString TextOf(const TJobOption &option, const QJsonValue &value, const QString &label)
{
    const QString key = QStringLiteral("%1: \"%2\"").arg(label, QLatin1String(option.Name));
    switch (option.Value) {
    case TOptionValue::Flag:
        if (value.isBool())
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        throw EUsageError(QStringLiteral("%1 must be true or false").arg(key));
    case TOptionValue::Whole:
        if (value.isDouble()) {
            const double number = value.toDouble();
            if (number == std::floor(number) && std::abs(number) <= double(kExactInDouble))
                return QString::number(qint64(number));
        } else if (value.isString()) {
            return value.toString();
        }
        throw EUsageError(QStringLiteral("%1 must be a whole number").arg(key));
    case TOptionValue::List: {
        QStringList items;
        for (const QJsonValue &item : value.toArray()) {
            if (!item.isString() || item.toString().contains(QLatin1Char('\n')))
                throw EUsageError(QStringLiteral("%1 must be a list of texts").arg(key));
            items << item.toString();
        }
        if (value.isArray())
            return items.join(QLatin1Char('\n'));
        throw EUsageError(QStringLiteral("%1 must be a list of texts").arg(key));
    }
    case TOptionValue::Text:
        break;
    }
    if (!value.isString())
        throw EUsageError(QStringLiteral("%1 must be text").arg(key));
    return value.toString();
}

// Brings a preset of an older format up to the current one, one format at a time, so that the rest of the
// code reads the current keys only. Format 1 is the first, so there is no step yet; the next format adds
// "if (format < 2) { ...re-spell format 1's keys... }" here.
QJsonObject Migrated(QJsonObject preset, [[maybe_unused]] int format)
{
    return preset;
}

} // namespace

QByteArray PresetJson(const TJob &job, bool withFolders)
{
    // Written by hand to keep the options' order (a JSON object would sort its keys), "format" first.
    QByteArray json = "{\n    \"format\": " + QByteArray::number(kPresetFormat);
    std::vector<std::pair<QString, QJsonValue>> pairs;
    if (withFolders) {
        pairs.emplace_back(kSourceKey, job.SourceFolder);
        pairs.emplace_back(kDestinationKey, job.DestinationFolder);
    }
    for (const TJobOption &option : JobOptionTable()) {
        if (const std::optional<QString> text = option.Write(job))
            pairs.emplace_back(QLatin1String(option.Name), ValueOf(option, *text));
    }
    for (const auto &[key, value] : pairs) {
        const QByteArray pair = QJsonDocument(QJsonObject { { key, value } }).toJson(QJsonDocument::Compact);
        // {"name":value} without its braces, a blank after the colon.
        const QByteArray inner = pair.mid(1, pair.size() - 2);
        const qsizetype colon = inner.indexOf("\":") + 2;
        json += ",\n    " + inner.left(colon) + ' ' + inner.mid(colon);
    }
    return json + "\n}\n";
}

TJob ApplyPresetJson(const QByteArray &json, const TJob &defaults, const QString &label)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw EUsageError(
            QStringLiteral("%1: not a preset: %2 at byte %3").arg(label, error.errorString()).arg(error.offset));
    if (!document.isObject())
        throw EUsageError(QStringLiteral("%1: not a preset: not a JSON object").arg(label));
    QJsonObject preset = document.object();
    const QJsonValue formatValue = preset.value(kFormatKey);
    const double format = formatValue.toDouble(-1);
    if (!formatValue.isDouble() || format != std::floor(format) || format < 1)
        throw EUsageError(QStringLiteral("%1: not a preset: \"format\" must be a whole number from 1").arg(label));
    if (format > kPresetFormat)
        throw EUsageError(QStringLiteral("%1: the preset is of format %2, newer than this version reads (%3): "
                                         "nothing was applied; save it again with this version")
                              .arg(label)
                              .arg(format)
                              .arg(kPresetFormat));
    preset = Migrated(preset, int(format));
    preset.remove(kFormatKey);
    TJob job = defaults;
    for (const auto &[key, folder] :
        { std::pair { kSourceKey, &TJob::SourceFolder }, std::pair { kDestinationKey, &TJob::DestinationFolder } }) {
        if (!preset.contains(key))
            continue;
        if (!preset.value(key).isString() || preset.value(key).toString().isEmpty())
            throw EUsageError(QStringLiteral("%1: \"%2\" must be a folder's path").arg(label, key));
        job.*folder = preset.take(key).toString();
    }

    QStringList sizes;
    for (auto it = preset.constBegin(); it != preset.constEnd(); ++it) {
        if (FindJobOption(it.key()) == nullptr)
            throw EUsageError(QStringLiteral("%1: unknown setting \"%2\": nothing was applied").arg(label, it.key()));
        if (IsSizeOption(it.key()))
            sizes << it.key();
    }
    if (sizes.size() > 1)
        throw EUsageError(QStringLiteral("%1: \"%2\" and \"%3\": a preset holds one size, by percent, long edge or fit")
                              .arg(label, sizes[0], sizes[1]));
    // In the options' order, so that the result never depends on how the file orders its keys.
    for (const TJobOption &option : JobOptionTable()) {
        const QString name = QLatin1String(option.Name);
        if (!preset.contains(name))
            continue;
        const QString text = TextOf(option, preset.value(name), label);
        const QString key = QStringLiteral("%1: \"%2\"").arg(label, name);
        if (option.Value == TOptionValue::List) {
            for (const QString &item : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                option.Apply(job, key, item);
        } else {
            option.Apply(job, key, text);
        }
    }
    return job;
}

void SavePresetFile(const QString &path, const TJob &job, bool withFolders)
{
    const QByteArray json = PresetJson(job, withFolders);
    WriteFileAtomic(path,
        std::span(reinterpret_cast<const std::uint8_t *>(json.constData()), std::size_t(json.size())));
}

TJob LoadPresetFile(const QString &path, const TJob &defaults)
{
    std::uint64_t size = 0;
    const std::vector<std::uint8_t> bytes = ReadFileHead(path, kMaxPresetBytes, size);
    if (size > kMaxPresetBytes)
        throw EUsageError(QStringLiteral("%1: not a preset: larger than 1 MiB").arg(path));
    return ApplyPresetJson(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
        defaults,
        path);
}

TPresetFolder::TPresetFolder()
    : TPresetFolder(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/presets"))
{
}

TPresetFolder::TPresetFolder(QString folder)
    : mFolder(std::move(folder))
{
}

QStringList TPresetFolder::Names() const
{
    QStringList names;
    const QStringList files = QDir(mFolder).entryList({ QStringLiteral("*.json") }, QDir::Files);
    for (const QString &file : files)
        names << file.chopped(kPresetSuffix.size());
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

QString TPresetFolder::PathOf(const QString &name) const
{
    if (name.trimmed().isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))
        || name.contains(QChar(0)))
        throw EUsageError(
            QStringLiteral("\"%1\" cannot name a preset: give a name without \"/\", not starting with \".\"")
                .arg(name));
    return mFolder + QLatin1Char('/') + name + kPresetSuffix;
}

void TPresetFolder::MakeFolder() const
{
    if (!QDir().mkpath(mFolder))
        throw EUsageError(QStringLiteral("Cannot create the presets folder %1").arg(mFolder));
}

void TPresetFolder::Save(const QString &name, const TJob &job, bool withFolders) const
{
    const QString path = PathOf(name);
    MakeFolder();
    SavePresetFile(path, job, withFolders);
}

TJob TPresetFolder::Load(const QString &name, const TJob &defaults) const
{
    return LoadPresetFile(PathOf(name), defaults);
}

void TPresetFolder::Remove(const QString &name) const
{
    QFile file(PathOf(name));
    if (!file.remove())
        throw EUsageError(QStringLiteral("Cannot delete the preset \"%1\": %2").arg(name, file.errorString()));
}

QString TPresetFolder::Import(const QString &path, const TJob &defaults) const
{
    const TJob job = LoadPresetFile(path, defaults);
    QString base = QFileInfo(path).completeBaseName();
    // A name starting with "." is kept from the saved names' reserve.
    while (base.startsWith(QLatin1Char('.')))
        base.remove(0, 1);
    if (base.trimmed().isEmpty())
        base = QStringLiteral("Imported");
    const QStringList taken = Names();
    QString name = base;
    for (int copy = 2; taken.contains(name, Qt::CaseInsensitive); ++copy)
        name = QStringLiteral("%1 (%2)").arg(base).arg(copy);
    Save(name, job, job.SourceFolder != defaults.SourceFolder || job.DestinationFolder != defaults.DestinationFolder);
    return name;
}

void TPresetFolder::SaveLastUsed(const TJob &job) const
{
    MakeFolder();
    SavePresetFile(mFolder + QLatin1Char('/') + kLastUsedFile, job);
}

bool TPresetFolder::HasLastUsed() const
{
    return FileExists(mFolder + QLatin1Char('/') + kLastUsedFile);
}

std::optional<TJob> TPresetFolder::LastUsed(const TJob &defaults) const
{
    if (!HasLastUsed())
        return std::nullopt;
    return LoadPresetFile(mFolder + QLatin1Char('/') + kLastUsedFile, defaults);
}

bool TPresetFolder::StartWithLastUsed() const
{
    return FileExists(mFolder + QLatin1Char('/') + kStartWithLastUsedFile);
}

void TPresetFolder::SetStartWithLastUsed(bool on) const
{
    const QString path = mFolder + QLatin1Char('/') + kStartWithLastUsedFile;
    if (!on) {
        if (FileExists(path) && !QFile::remove(path))
            throw EUsageError(QStringLiteral("Cannot change the start-up choice: %1 cannot be removed").arg(path));
        return;
    }
    MakeFolder();
    WriteFileAtomic(path, std::span<const std::uint8_t>());
}

} // namespace vellumar
