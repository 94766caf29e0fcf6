#include "engine/run_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include "engine/batch_run.h"
#include "engine/source_list.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "imaging/orientation.h"

namespace vellumar
{

namespace
{

constexpr auto kFormatName = "vellumar-report";
constexpr int kFormatVersion = 1;

constexpr std::array<TPhotoStatus, 4> kStatuses { TPhotoStatus::Done,
    TPhotoStatus::Failed,
    TPhotoStatus::Warning,
    TPhotoStatus::Skipped };

// QJsonValue has no constructor for long, which std::int64_t is here.
QJsonValue OrNull(const std::optional<std::int64_t> &value)
{
    return value ? QJsonValue(qint64(*value)) : QJsonValue(QJsonValue::Null);
}
QJsonValue OrNull(const std::optional<int> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}
QJsonValue OrNull(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue SizeJson(const std::optional<TPixelSize> &size)
{
    if (!size)
        return QJsonValue::Null;
    return QJsonObject { { QStringLiteral("width"), size->Width }, { QStringLiteral("height"), size->Height } };
}

QJsonObject RecordJson(const TPhotoRecord &record)
{
    return {
        { QStringLiteral("position"), record.Position },
        { QStringLiteral("source"), record.SourcePath },
        { QStringLiteral("output"), record.OutputPath.isEmpty() ? QJsonValue() : QJsonValue(record.OutputPath) },
        { QStringLiteral("operations"), QJsonArray::fromStringList(record.Operations) },
        { QStringLiteral("sourceSize"), SizeJson(record.SourceSize) },
        { QStringLiteral("outputSize"), SizeJson(record.OutputSize) },
        { QStringLiteral("sourceBytes"), OrNull(record.SourceBytes) },
        { QStringLiteral("outputBytes"), OrNull(record.OutputBytes) },
        { QStringLiteral("quality"), OrNull(record.Quality) },
        { QStringLiteral("overlayText"), OrNull(record.OverlayText) },
        { QStringLiteral("orientation"), record.Orientation },
        { QStringLiteral("status"), StatusName(record.Status) },
        { QStringLiteral("message"), record.Message },
        { QStringLiteral("milliseconds"), qint64(record.Milliseconds) },
    };
}

QJsonObject SummaryJson(const TReportSummary &summary)
{
    QJsonValue shard;
    if (summary.Shard)
        shard = QJsonObject { { QStringLiteral("index"), summary.Shard->Index },
            { QStringLiteral("count"), summary.Shard->Count } };
    return {
        { QStringLiteral("listingSize"), summary.ListingSize },
        { QStringLiteral("photos"), summary.Photos },
        { QStringLiteral("done"), summary.Done },
        { QStringLiteral("failed"), summary.Failed },
        { QStringLiteral("warning"), summary.Warnings },
        { QStringLiteral("skipped"), summary.Skipped },
        { QStringLiteral("sourceBytes"), qint64(summary.SourceBytes) },
        { QStringLiteral("outputBytes"), qint64(summary.OutputBytes) },
        { QStringLiteral("wallMilliseconds"), qint64(summary.WallMilliseconds) },
        { QStringLiteral("aborted"), summary.Aborted },
        { QStringLiteral("startedAt"), summary.StartedAt },
        { QStringLiteral("version"), summary.Version },
        { QStringLiteral("options"), summary.Options },
        { QStringLiteral("shard"), shard },
    };
}

// Reading: every field is checked, so a damaged or foreign file is named instead of merged half-way.
class TJsonReader
{
public:
    explicit TJsonReader(QString path)
        : mPath(std::move(path))
    {
    }

    [[noreturn]] void Fail(const QString &what) const
    {
        throw Exception(QStringLiteral("%1 is not a report of this program: %2").arg(mPath, what));
    }
    QJsonValue Field(const QJsonObject &object, const QString &name) const
    {
        if (!object.contains(name))
            Fail(QStringLiteral("\"%1\" is missing").arg(name));
        return object.value(name);
    }
    std::int64_t Whole(const QJsonObject &object, const QString &name) const
    {
        const QJsonValue value = Field(object, name);
        const double number = value.toDouble(-1.0);
        if (!value.isDouble() || number < 0 || number > 9007199254740992.0 || number != std::floor(number))
            Fail(QStringLiteral("\"%1\" is not a whole number").arg(name));
        return std::int64_t(number);
    }
    int Int(const QJsonObject &object, const QString &name) const
    {
        const std::int64_t value = Whole(object, name);
        if (value > std::numeric_limits<int>::max())
            Fail(QStringLiteral("\"%1\" is too large").arg(name));
        return int(value);
    }
    std::optional<std::int64_t> OptionalWhole(const QJsonObject &object, const QString &name) const
    {
        if (Field(object, name).isNull())
            return std::nullopt;
        return Whole(object, name);
    }
    QString Text(const QJsonObject &object, const QString &name) const
    {
        const QJsonValue value = Field(object, name);
        if (!value.isString())
            Fail(QStringLiteral("\"%1\" is not a text").arg(name));
        return value.toString();
    }
    std::optional<QString> OptionalText(const QJsonObject &object, const QString &name) const
    {
        if (Field(object, name).isNull())
            return std::nullopt;
        return Text(object, name);
    }
    QJsonObject Object(const QJsonObject &object, const QString &name) const
    {
        const QJsonValue value = Field(object, name);
        if (!value.isObject())
            Fail(QStringLiteral("\"%1\" is not an object").arg(name));
        return value.toObject();
    }
    std::optional<TPixelSize> Size(const QJsonObject &object, const QString &name) const
    {
        if (Field(object, name).isNull())
            return std::nullopt;
        const QJsonObject size = Object(object, name);
        return TPixelSize { Int(size, QStringLiteral("width")), Int(size, QStringLiteral("height")) };
    }

    TPhotoRecord Record(const QJsonObject &object) const
    {
        TPhotoRecord record;
        record.Position = Int(object, QStringLiteral("position"));
        record.SourcePath = Text(object, QStringLiteral("source"));
        record.OutputPath = OptionalText(object, QStringLiteral("output")).value_or(QString());
        const QJsonValue operations = Field(object, QStringLiteral("operations"));
        if (!operations.isArray())
            Fail(QStringLiteral("\"operations\" is not a list"));
        for (const QJsonValue operation : operations.toArray())
            record.Operations << operation.toString();
        record.SourceSize = Size(object, QStringLiteral("sourceSize"));
        record.OutputSize = Size(object, QStringLiteral("outputSize"));
        record.SourceBytes = OptionalWhole(object, QStringLiteral("sourceBytes"));
        record.OutputBytes = OptionalWhole(object, QStringLiteral("outputBytes"));
        if (const std::optional<std::int64_t> quality = OptionalWhole(object, QStringLiteral("quality")))
            record.Quality = int(std::min<std::int64_t>(*quality, 100));
        record.OverlayText = OptionalText(object, QStringLiteral("overlayText"));
        record.Orientation = Int(object, QStringLiteral("orientation"));
        const QString status = Text(object, QStringLiteral("status"));
        const auto *found = std::find_if(kStatuses.begin(), kStatuses.end(), [&status](TPhotoStatus candidate) {
            return StatusName(candidate) == status;
        });
        if (found == kStatuses.end())
            Fail(QStringLiteral("unknown status \"%1\"").arg(status));
        record.Status = *found;
        record.Message = Text(object, QStringLiteral("message"));
        record.Milliseconds = Whole(object, QStringLiteral("milliseconds"));
        return record;
    }

    TReportSummary Summary(const QJsonObject &object) const
    {
        TReportSummary summary;
        summary.ListingSize = Int(object, QStringLiteral("listingSize"));
        summary.WallMilliseconds = Whole(object, QStringLiteral("wallMilliseconds"));
        const QJsonValue aborted = Field(object, QStringLiteral("aborted"));
        if (!aborted.isBool())
            Fail(QStringLiteral("\"aborted\" is not true or false"));
        summary.Aborted = aborted.toBool();
        summary.StartedAt = Text(object, QStringLiteral("startedAt"));
        summary.Version = Text(object, QStringLiteral("version"));
        summary.Options = Object(object, QStringLiteral("options"));
        if (!Field(object, QStringLiteral("shard")).isNull()) {
            const QJsonObject shard = Object(object, QStringLiteral("shard"));
            summary.Shard = TShard { Int(shard, QStringLiteral("index")), Int(shard, QStringLiteral("count")) };
            // The same bounds as --shard, so that a damaged count cannot ask for a huge table.
            if (!ParseShard(summary.Shard->Text()))
                Fail(QStringLiteral("the shard is not K/N with 1 <= K <= N <= 1000000"));
        }
        return summary;
    }

private:
    QString mPath;
};

QByteArray CsvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    // A spreadsheet would run a cell that starts like a formula (an overlay text or a file name can):
    // such a text is kept as text by a leading apostrophe.
    if (!bytes.isEmpty() && QByteArrayView("=+-@\t\r").contains(bytes.front()))
        bytes.prepend('\'');
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

template<typename T>
QString OptionalNumber(const std::optional<T> &value)
{
    return value ? QString::number(*value) : QString();
}

void Save(const QString &path, const QByteArray &bytes)
{
    WriteFileAtomic(path,
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())));
}

} // namespace

QString StatusName(TPhotoStatus status)
{
    switch (status) {
    case TPhotoStatus::Done:
        return QStringLiteral("done");
    case TPhotoStatus::Failed:
        return QStringLiteral("failed");
    case TPhotoStatus::Warning:
        return QStringLiteral("warning");
    case TPhotoStatus::Skipped:
        break;
    }
    return QStringLiteral("skipped");
}

void TRunReport::Summarise()
{
    TReportSummary &summary = mSummary;
    summary.Photos = int(mPhotos.size());
    summary.Done = summary.Failed = summary.Warnings = summary.Skipped = 0;
    summary.SourceBytes = summary.OutputBytes = 0;
    for (const TPhotoRecord &record : mPhotos) {
        switch (record.Status) {
        case TPhotoStatus::Done:
            ++summary.Done;
            break;
        case TPhotoStatus::Failed:
            ++summary.Failed;
            break;
        case TPhotoStatus::Warning:
            ++summary.Warnings;
            break;
        case TPhotoStatus::Skipped:
            ++summary.Skipped;
            break;
        }
        summary.SourceBytes += record.SourceBytes.value_or(0);
        summary.OutputBytes += record.OutputBytes.value_or(0);
    }
}

QByteArray TRunReport::ToJson() const
{
    QJsonArray photos;
    for (const TPhotoRecord &record : mPhotos)
        photos.append(RecordJson(record));
    const QJsonObject root {
        { QStringLiteral("format"), QLatin1String(kFormatName) },
        { QStringLiteral("formatVersion"), kFormatVersion },
        { QStringLiteral("summary"), SummaryJson(mSummary) },
        { QStringLiteral("photos"), photos },
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray TRunReport::ToCsv() const
{
    QByteArray csv("position,source,output,operations,source_width,source_height,output_width,output_height,"
                   "source_bytes,output_bytes,quality,overlay_text,orientation,status,message,milliseconds\r\n");
    for (const TPhotoRecord &record : mPhotos) {
        const QStringList fields {
            QString::number(record.Position),
            PrintableName(record.SourcePath),
            PrintableName(record.OutputPath),
            record.Operations.join(QLatin1Char('+')),
            record.SourceSize ? QString::number(record.SourceSize->Width) : QString(),
            record.SourceSize ? QString::number(record.SourceSize->Height) : QString(),
            record.OutputSize ? QString::number(record.OutputSize->Width) : QString(),
            record.OutputSize ? QString::number(record.OutputSize->Height) : QString(),
            OptionalNumber(record.SourceBytes),
            OptionalNumber(record.OutputBytes),
            OptionalNumber(record.Quality),
            record.OverlayText.value_or(QString()),
            QString::number(record.Orientation),
            StatusName(record.Status),
            PrintableName(record.Message),
            QString::number(record.Milliseconds),
        };
        QByteArrayList row;
        for (const QString &field : fields)
            row << CsvField(field);
        csv += row.join(',') + "\r\n";
    }
    return csv;
}

TRunReport TRunReport::FromJson(const QByteArray &json, const QString &path)
{
    const TJsonReader reader(path);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (document.isNull())
        reader.Fail(error.errorString());
    if (!document.isObject())
        reader.Fail(QStringLiteral("not a JSON object"));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(kFormatName))
        reader.Fail(QStringLiteral("\"format\" is not \"%1\"").arg(QLatin1String(kFormatName)));
    if (root.value(QStringLiteral("formatVersion")).toInt() != kFormatVersion)
        reader.Fail(QStringLiteral("format version %1 is not %2")
                        .arg(root.value(QStringLiteral("formatVersion")).toInt())
                        .arg(kFormatVersion));
    TRunReport report;
    report.mSummary = reader.Summary(reader.Object(root, QStringLiteral("summary")));
    const QJsonValue photos = reader.Field(root, QStringLiteral("photos"));
    if (!photos.isArray())
        reader.Fail(QStringLiteral("\"photos\" is not a list"));
    for (const QJsonValue photo : photos.toArray()) {
        if (!photo.isObject())
            reader.Fail(QStringLiteral("a photo is not an object"));
        report.Add(reader.Record(photo.toObject()));
    }
    report.Summarise();
    return report;
}

TRunReport TRunReport::LoadJson(const QString &path)
{
    const auto tooLarge = [&path] {
        return Exception(QStringLiteral("%1 is larger than %2 MiB and is not read as a report")
                             .arg(path)
                             .arg(kMaxReportBytes / (1024 * 1024)));
    };
    // Refused before reading, so that a huge or hostile file costs neither the memory nor the parse.
    if (RegularFileSize(path) > kMaxReportBytes)
        throw tooLarge();
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    // The file may have grown since it was measured.
    if (std::int64_t(bytes.size()) > kMaxReportBytes)
        throw tooLarge();
    return FromJson(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())), path);
}

void TRunReport::SaveJson(const QString &path) const
{
    Save(path, ToJson());
}

void TRunReport::SaveCsv(const QString &path) const
{
    Save(path, ToCsv());
}

namespace
{

QString CodingName(TJpegCoding coding)
{
    switch (coding) {
    case TJpegCoding::Optimized:
        return QStringLiteral("optimized");
    case TJpegCoding::Progressive:
        return QStringLiteral("progressive");
    case TJpegCoding::Baseline:
        break;
    }
    return QStringLiteral("baseline");
}

} // namespace

QJsonObject JobOptions(const TJob &job)
{
    const TResizeOptions &resize = job.ResizeOptions;
    QJsonObject options {
        { QStringLiteral("source"), job.SourceFolder },
        { QStringLiteral("destination"), job.DestinationFolder },
        { QStringLiteral("resize"), job.Resize ? QJsonValue(job.ResizePercent) : QJsonValue(false) },
        { QStringLiteral("filter"),
            resize.Filter == TResizeFilter::Smooth ? QStringLiteral("smooth") : QStringLiteral("nearest") },
        { QStringLiteral("quality"), job.Quality },
        { QStringLiteral("rotateUpright"), job.AutoOrient },
        { QStringLiteral("metadata"),
            job.Metadata == TMetadataMode::mmKeep            ? QStringLiteral("keep")
                : job.Metadata == TMetadataMode::mmKeepNoGps ? QStringLiteral("keep-no-gps")
                                                             : QStringLiteral("none") },
        { QStringLiteral("coding"), CodingName(job.Coding) },
        { QStringLiteral("toSrgb"), job.ToSrgb },
    };
    // Named only when not the default, so a report of a plain run reads as before.
    if (job.Recursive)
        options[QStringLiteral("recursive")] = true;
    if (job.Existing != TExisting::Replace)
        options[QStringLiteral("existing")] = ExistingName(job.Existing);
    if (job.MaxBytes > 0) {
        options[QStringLiteral("maxBytes")] = double(job.MaxBytes);
        options[QStringLiteral("minQuality")] = job.MinQuality;
    }
    if (job.Rename && !job.NameTemplate.isEmpty())
        options[QStringLiteral("nameTemplate")] = job.NameTemplate;
    if (!job.Variants.empty()) {
        QJsonArray variants;
        for (const TOutputVariant &variant : job.Variants)
            variants.append(OutputVariantText(variant));
        options[QStringLiteral("variants")] = variants;
    }
    if (resize.Mode == TSizeMode::LongEdge)
        options[QStringLiteral("longEdge")] = resize.LongEdge;
    else if (resize.Mode == TSizeMode::Fit)
        options[QStringLiteral("fit")] = QStringLiteral("%1x%2").arg(resize.Box.Width).arg(resize.Box.Height);
    if (job.Rename) {
        const TOutputNamer &namer = job.Namer;
        options[QStringLiteral("rename")] = QJsonObject {
            { QStringLiteral("prefix"), namer.Prefix() },
            { QStringLiteral("number"), QString::number(namer.Number()) },
            { QStringLiteral("padding"), namer.Padding() },
            { QStringLiteral("suffix"), namer.Suffix() },
        };
    } else {
        options[QStringLiteral("rename")] = false;
    }
    if (job.Overlay) {
        const TOverlaySettings &overlay = job.OverlaySettings;
        options[QStringLiteral("overlay")] = QJsonObject {
            { QStringLiteral("text"), overlay.Text },
            { QStringLiteral("font"), overlay.FontName },
            { QStringLiteral("colour"), QStringLiteral("#%1").arg(qint64(overlay.FontColor), 8, 16, QLatin1Char('0')) },
            { QStringLiteral("style"), int(overlay.FontStyle) },
            { QStringLiteral("size"), overlay.SizeClass },
            { QStringLiteral("position"), overlay.TextPosition },
            { QStringLiteral("quality"), job.OverlayQuality },
        };
    } else {
        options[QStringLiteral("overlay")] = false;
    }
    return options;
}

namespace
{

std::int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

void TReportRecorder::Start(const TJob &job, TShard shard, const QString &version)
{
    mReport = TRunReport();
    mSourceFolder = job.SourceFolder;
    mNames = job.SourceNames;
    mShard = shard;
    mStartedMs = NowMs();
    TReportSummary &summary = mReport.Summary();
    summary.ListingSize = int(mNames.size());
    summary.StartedAt = QDateTime::fromMSecsSinceEpoch(mStartedMs, Qt::UTC).toString(Qt::ISODate);
    summary.Version = version;
    summary.Options = JobOptions(job);
    if (shard.Count > 1)
        summary.Shard = shard;
}

void TReportRecorder::Add(int position, const TImageTask &task, const TImageOutcome &outcome)
{
    TPhotoRecord record;
    record.Position = position;
    record.SourcePath = task.SourcePath;
    const bool copy = task.Copies();
    if (task.Writes())
        record.OutputPath = task.DestinationPath;
    if (task.Rename)
        record.Operations << QStringLiteral("rename");
    if (copy)
        record.Operations << QStringLiteral("copy");
    if (task.Resize)
        record.Operations << QStringLiteral("resize");
    if (task.Overlay) {
        record.Operations << QStringLiteral("overlay");
        record.OverlayText = task.OverlaySettings.Text;
    }
    if (outcome.CappedQuality)
        record.Quality = *outcome.CappedQuality;
    else if (task.Decodes())
        record.Quality = task.WrittenQuality();
    // The orientation the written pixels were turned by.
    if (task.TurnsUpright && outcome.OutputSize)
        record.Orientation = ExifValue(task.Facts.Orientation);
    record.SourceSize = outcome.SourceSize;
    record.OutputSize = outcome.OutputSize;
    if (outcome.SourceBytes >= 0)
        record.SourceBytes = outcome.SourceBytes;
    if (outcome.OutputBytes >= 0)
        record.OutputBytes = outcome.OutputBytes;
    // The problems as the log tells them.
    record.Message = ProblemLines(outcome).join(QStringLiteral("; "));
    if (outcome.Skipped) {
        record.Status = TPhotoStatus::Skipped;
        record.Message = QStringLiteral("its output exists already");
    } else if (outcome.Failure) {
        record.Status = TPhotoStatus::Failed;
    } else if (!outcome.Warnings.isEmpty()) {
        record.Status = TPhotoStatus::Warning;
    } else {
        record.Status = TPhotoStatus::Done;
    }
    record.Milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(outcome.Elapsed).count();
    mReport.Add(std::move(record));
}

TRunReport TReportRecorder::Finish(bool aborted) const
{
    TRunReport report;
    report.Summary() = mReport.Summary();
    report.Summary().Aborted = aborted;
    report.Summary().WallMilliseconds = std::max<std::int64_t>(0, NowMs() - mStartedMs);
    std::size_t next = 0;
    const std::vector<TPhotoRecord> &reported = mReport.Photos();
    for (int position = 0; position < int(mNames.size()); ++position) {
        if (!mShard.Contains(position))
            continue;
        if (next < reported.size() && reported[next].Position == position) {
            report.Add(reported[next++]);
            continue;
        }
        TPhotoRecord skipped;
        skipped.Position = position;
        skipped.SourcePath = PathInFolder(mSourceFolder, mNames[position]);
        skipped.Status = TPhotoStatus::Skipped;
        skipped.Message = QStringLiteral("not processed: the run was stopped before it");
        report.Add(std::move(skipped));
    }
    report.Summarise();
    return report;
}

namespace
{

// A shard's report must hold its share of the listing, each position once: an emptied, cut or padded
// list of photos would otherwise merge into a report of a run that never happened.
void CheckShare(const TRunReport &report, TShard shard)
{
    const int listed = report.Summary().ListingSize;
    const std::vector<TPhotoRecord> &photos = report.Photos();
    const QString name = QStringLiteral("shard %1").arg(shard.Text());
    if (listed < 0 || int(photos.size()) != shard.Size(listed))
        throw Exception(QStringLiteral("%1 lists %2 photos; its share of a listing of %3 is %4")
                            .arg(name)
                            .arg(photos.size())
                            .arg(listed)
                            .arg(listed < 0 ? 0 : shard.Size(listed)));
    std::vector<int> positions;
    positions.reserve(photos.size());
    for (const TPhotoRecord &record : photos) {
        if (record.Position < 0 || record.Position >= listed || !shard.Contains(record.Position))
            throw Exception(QStringLiteral("%1 lists the photo at position %2, which is not its share of the listing")
                                .arg(name)
                                .arg(record.Position));
        positions.push_back(record.Position);
    }
    std::sort(positions.begin(), positions.end());
    if (const auto twice = std::adjacent_find(positions.begin(), positions.end()); twice != positions.end())
        throw Exception(QStringLiteral("%1 lists the photo at position %2 twice").arg(name).arg(*twice));
}

} // namespace

TRunReport MergeReports(const std::vector<TRunReport> &shards)
{
    if (shards.empty())
        throw Exception(QStringLiteral("no reports to merge"));
    const TReportSummary &first = shards.front().Summary();
    const int count = first.Shard ? first.Shard->Count : 1;
    std::vector<bool> seen(std::size_t(count), false);
    TRunReport merged;
    TReportSummary &summary = merged.Summary();
    summary = first;
    summary.Shard.reset();
    summary.WallMilliseconds = 0;
    for (const TRunReport &shard : shards) {
        const TReportSummary &part = shard.Summary();
        if (part.Version != first.Version)
            throw Exception(
                QStringLiteral("the reports come from different versions (%1, %2)").arg(first.Version, part.Version));
        if (part.Options != first.Options || part.ListingSize != first.ListingSize)
            throw Exception(QStringLiteral("the reports come from runs with different options or source folders"));
        const int index = part.Shard ? part.Shard->Index : 1;
        if ((part.Shard ? part.Shard->Count : 1) != count)
            throw Exception(QStringLiteral("the reports come from runs split into different numbers of shards"));
        if (seen[std::size_t(index - 1)])
            throw Exception(QStringLiteral("shard %1/%2 is given twice").arg(index).arg(count));
        seen[std::size_t(index - 1)] = true;
        CheckShare(shard, TShard { index, count });
        summary.Aborted = summary.Aborted || part.Aborted;
        summary.WallMilliseconds = std::max(summary.WallMilliseconds, part.WallMilliseconds);
        summary.StartedAt = std::min(summary.StartedAt, part.StartedAt);
        for (const TPhotoRecord &record : shard.Photos())
            merged.Add(record);
    }
    for (int i = 0; i < count; ++i) {
        if (!seen[std::size_t(i)])
            throw Exception(QStringLiteral("shard %1/%2 is missing").arg(i + 1).arg(count));
    }
    // Each shard holds exactly its share, so the positions are each listed once.
    std::vector<TPhotoRecord> photos = merged.Photos();
    std::sort(photos.begin(), photos.end(), [](const TPhotoRecord &a, const TPhotoRecord &b) {
        return a.Position < b.Position;
    });
    TRunReport sorted;
    sorted.Summary() = summary;
    for (TPhotoRecord &record : photos)
        sorted.Add(std::move(record));
    sorted.Summarise();
    return sorted;
}

} // namespace vellumar
