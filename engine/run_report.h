#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "engine/pixel_size.h"
#include "engine/shard.h"

namespace vellumar
{

/** Largest report file that is read (64 MiB, some 150 000 photos): a larger one is not parsed. */
inline constexpr std::int64_t kMaxReportBytes = 64ll * 1024 * 1024;

enum class TPhotoStatus { Done, Failed, Warning, Skipped };

/** What a run did to one listed photo. Unknown or not applicable values are empty. */
struct TPhotoRecord {
    /** 0-based position in the whole listing, also in a shard's report. */
    int Position = 0;
    QString SourcePath;
    /** The planned destination; empty when nothing was to be written. */
    QString OutputPath;
    /** "rename", "copy", "resize", "overlay", in the order they are applied. */
    QStringList Operations;
    std::optional<TPixelSize> SourceSize;
    std::optional<TPixelSize> OutputSize;
    std::optional<std::int64_t> SourceBytes;
    std::optional<std::int64_t> OutputBytes;
    /** The JPEG quality the output was encoded at; empty for a byte copy. */
    std::optional<int> Quality;
    std::optional<QString> OverlayText;
    /** The EXIF orientation (1 to 8) turned upright in the pixels; 1 when none was applied. */
    int Orientation = 1;
    TPhotoStatus Status = TPhotoStatus::Skipped;
    QString Message;
    std::int64_t Milliseconds = 0;
    friend bool operator==(const TPhotoRecord &, const TPhotoRecord &) = default;
};

/** The run as a whole. Counts and byte totals are derived from the records (TRunReport::Summarise). */
struct TReportSummary {
    int ListingSize = 0;
    int Photos = 0;
    int Done = 0;
    int Failed = 0;
    int Warnings = 0;
    int Skipped = 0;
    std::int64_t SourceBytes = 0;
    std::int64_t OutputBytes = 0;
    std::int64_t WallMilliseconds = 0;
    bool Aborted = false;
    /** UTC, ISO 8601 to the second. */
    QString StartedAt;
    QString Version;
    /** The run's settings as the front end names them; reports with different options never merge. */
    QJsonObject Options;
    std::optional<TShard> Shard;
    friend bool operator==(const TReportSummary &, const TReportSummary &) = default;
};

/**
 * The per-photo report of a run: JSON (the full record) and CSV (the photos only), both written
 * atomically. The format is documented in docs/report-format.md with its JSON Schema.
 */
class TRunReport
{
public:
    [[nodiscard]] const std::vector<TPhotoRecord> &Photos() const { return mPhotos; }
    [[nodiscard]] const TReportSummary &Summary() const { return mSummary; }
    TReportSummary &Summary() { return mSummary; }

    void Add(TPhotoRecord record) { mPhotos.push_back(std::move(record)); }
    /** Recomputes the counts and byte totals of the summary from the records. */
    void Summarise();

    [[nodiscard]] QByteArray ToJson() const;
    /**
     * One header row and one row per photo, RFC 4180 quoting, CR LF line ends, UTF-8; names and messages
     * as the log shows them (PrintableName), while the JSON form keeps the names themselves.
     */
    [[nodiscard]] QByteArray ToCsv() const;
    /** Throws Exception naming path (and the fault) when the file is not a report of this format. */
    [[nodiscard]] static TRunReport FromJson(const QByteArray &json, const QString &path);
    /**
     * Reads and parses the report file at path. A file above kMaxReportBytes is refused (Exception
     * naming path and the limit) before it is read; otherwise throws ReadWholeFile's and FromJson's errors.
     */
    [[nodiscard]] static TRunReport LoadJson(const QString &path);

    /** Written through WriteFileAtomic; throws its EFCreateError/EWriteError. */
    void SaveJson(const QString &path) const;
    void SaveCsv(const QString &path) const;

private:
    std::vector<TPhotoRecord> mPhotos;
    TReportSummary mSummary;
};

[[nodiscard]] QString StatusName(TPhotoStatus status);

struct TJob;
struct TImageTask;
struct TImageOutcome;

/** A job's settings as a report's options: folders, reduction, naming, overlay, photo options. */
[[nodiscard]] QJsonObject JobOptions(const TJob &job);

/**
 * Builds the report of one run from what the run tells its sink: Start before the run, Add for each
 * reported image, Finish at the end (or after a stop) gives the report, a record for every photo of the
 * listing (or of the shard): those never reached are "skipped".
 */
class TReportRecorder
{
public:
    void Start(const TJob &job, TShard shard, const QString &version);
    void Add(int position, const TImageTask &task, const TImageOutcome &outcome);
    [[nodiscard]] TRunReport Finish(bool aborted) const;

private:
    TRunReport mReport;
    QString mSourceFolder;
    QStringList mNames;
    TShard mShard;
    std::int64_t mStartedMs = 0;
};

/**
 * The reports of the N shards of one run as the single run's report: photos in listing order, counts
 * and byte totals summed, the earliest start, the longest wall time (shards run side by side), no shard.
 * Throws Exception when the reports are not the complete shards of one run: different versions,
 * options or listing sizes, a shard given twice or missing, or a shard whose photos' positions are not
 * exactly its share of the listing (K-1, K-1+N, ... below the listing size, each once).
 */
[[nodiscard]] TRunReport MergeReports(const std::vector<TRunReport> &shards);

} // namespace vellumar
