// Names that are hostile to a log: control characters that would start new lines, and bytes that are not
// UTF-8. The run must list and write them byte for byte and show them escaped everywhere it prints them.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>

#include <dirent.h>
#include <gtest/gtest.h>

#include "imaging/native_name.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::TTempDir;

struct THostileName {
    QByteArray Bytes;
    QString Shown;
};

const std::vector<THostileName> kNames {
    { "x\nFINISHED\nSummary: 9 of 9 images done.jpg", "x\\nFINISHED\\nSummary: 9 of 9 images done.jpg" },
    { "t\tab\x01.jpg", "t\\tab\\x01.jpg" },
    { "caf\xe9.jpg", "caf\\xe9.jpg" }, // Latin-1, not UTF-8
};

std::set<QByteArray> RawNames(const QString &folder)
{
    std::set<QByteArray> names;
    for (const auto &entry : std::filesystem::directory_iterator(NativePath(folder).toStdString()))
        names.insert(QByteArray::fromStdString(entry.path().filename().native()));
    return names;
}

QByteArray ReadAll(const QString &path)
{
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

// A forged line would be a whole line of its own; an escaped name is found inside a line.
void ExpectOneLogOfThreeImages(QByteArray log)
{
    log.replace("\r\n", "\n");
    const QList<QByteArray> lines = log.split('\n');
    EXPECT_EQ(lines.count("FINISHED"), 1) << log.toStdString();
    EXPECT_EQ(std::count_if(lines.begin(),
                  lines.end(),
                  [](const QByteArray &line) {
                      return line.startsWith("Summary: ");
                  }),
        1);
    EXPECT_TRUE(log.contains("Summary: 3 of 3 images done, 0 failed")) << log.toStdString();
    for (const THostileName &name : kNames)
        EXPECT_TRUE(log.contains(name.Shown.toUtf8())) << name.Shown.toStdString();
    EXPECT_FALSE(log.contains('\t') || log.contains('\x01') || log.contains("\xe9.jpg"));
}

TEST(NameCli, HostileNamesAreWrittenByteForByteAndShownEscaped)
{
    TTempDir dir;
    // QTemporaryDir cannot remove what a QString cannot name; the file system removes by bytes.
    const std::string root = NativePath(dir.Path()).toStdString();
    const auto removeAll = qScopeGuard([&root] {
        std::filesystem::remove_all(root);
    });
    const QString source = dir.File(QStringLiteral("src"));
    std::filesystem::create_directory(NativePath(source).toStdString());
    std::set<QByteArray> sourceNames;
    for (const THostileName &name : kNames) {
        const std::vector<std::uint8_t> jpeg = MakeJpeg();
        std::FILE *file = std::fopen((NativePath(source) + '/' + name.Bytes).constData(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(jpeg.data(), 1, jpeg.size(), file);
        std::fclose(file);
        sourceNames.insert(name.Bytes);
    }

    for (const bool rename : { false, true }) {
        SCOPED_TRACE(rename ? "rename on" : "rename off");
        const QString destination = dir.File(rename ? QStringLiteral("renamed") : QStringLiteral("kept"));
        const QString report = destination + QStringLiteral(".txt");
        const QString csv = destination + QStringLiteral(".csv");
        const QString json = destination + QStringLiteral(".json");
        QStringList arguments { QStringLiteral("--resize=50"),
            QStringLiteral("--report=") + report,
            QStringLiteral("--report-csv=") + csv,
            QStringLiteral("--report-json=") + json,
            source,
            destination };
        if (rename)
            arguments = QStringList { QStringLiteral("--rename"), QStringLiteral("--prefix=p") } + arguments;
        QProcess process;
        process.start(QStringLiteral(VELLUMAR_BATCH_EXE), arguments);
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

        ExpectOneLogOfThreeImages(process.readAllStandardOutput());
        ExpectOneLogOfThreeImages(ReadAll(report));
        const QByteArray table = ReadAll(csv);
        EXPECT_EQ(table.count("\r\n"), 4) << table.toStdString();
        EXPECT_TRUE(table.contains("/caf\\xe9.jpg")) << table.toStdString();
        // The JSON form keeps every name itself, in valid JSON.
        QJsonParseError error {};
        const QJsonDocument document = QJsonDocument::fromJson(ReadAll(json), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        std::set<QByteArray> reported;
        for (const QJsonValue photo : document.object().value(QStringLiteral("photos")).toArray())
            reported.insert(NativePath(photo.toObject().value(QStringLiteral("source")).toString())
                                .mid(NativePath(source).size() + 1));
        EXPECT_EQ(reported, sourceNames);

        EXPECT_EQ(RawNames(source), sourceNames);
        const std::set<QByteArray> renamed { "p1.jpg", "p2.jpg", "p3.jpg" };
        EXPECT_EQ(RawNames(destination), rename ? renamed : sourceNames);
    }

    // The dry run's rows show the names as the log does, one line each.
    QProcess dryRun;
    dryRun.start(QStringLiteral(VELLUMAR_BATCH_EXE),
        { QStringLiteral("--dry-run"), QStringLiteral("--resize=50"), source, dir.File(QStringLiteral("plan")) });
    ASSERT_TRUE(dryRun.waitForFinished(120000));
    const QList<QByteArray> rows = dryRun.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].startsWith("1 of 3: caf\\xe9.jpg -> caf\\xe9.jpg  ")) << rows[0].toStdString();
}

} // namespace
} // namespace vellumar
