// Build-time tool: turns the version data (an INI-like file) into the binary version block that the
// executables carry. Usage: vellumar_version_block_gen DATA OUTPUT
#include <cstdio>
#include <exception>
#include <map>
#include <tuple>

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include "imaging/errors.h"
#include "version/version_block.h"

namespace
{

using vellumar::Exception;

// Base 0 takes "0x" as hexadecimal.
std::uint32_t Number(const QString &key, const QString &text, std::uint32_t maximum, int base = 0)
{
    bool ok = false;
    const std::uint32_t value = text.toUInt(&ok, base);
    if (!ok || value > maximum)
        throw Exception(QStringLiteral("%1: not a number up to %2: %3").arg(key).arg(maximum).arg(text));
    return value;
}

// "a.b.c.d" as the two words of a fixed version: a and b in the first, c and d in the second.
std::pair<std::uint32_t, std::uint32_t> FixedVersion(const QString &key, const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        throw Exception(QStringLiteral("%1: not four dotted numbers: %2").arg(key, text));
    std::uint32_t n[4];
    for (int i = 0; i < 4; ++i)
        n[i] = Number(key, parts[i], 0xFFFF, 10);
    return { n[0] << 16 | n[1], n[2] << 16 | n[3] };
}

vellumar::TVersionBlockData ReadVersionData(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Exception(QStringLiteral("Cannot open file %1").arg(path));
    std::map<QString, QString> fixed; // "Section/Key" of the non-string sections
    vellumar::TVersionBlockData data;
    QString section;
    int lineNumber = 0;
    for (const QString &rawLine : QString::fromUtf8(file.readAll()).split(u'\n')) {
        ++lineNumber;
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || section.isEmpty())
            throw Exception(QStringLiteral("%1:%2: expected [Section] or Key=Value").arg(path).arg(lineNumber));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (section == u"StringFileInfo")
            data.Strings.emplace_back(key, value);
        else if (!fixed.emplace(section + u'/' + key, value).second)
            throw Exception(QStringLiteral("%1:%2: %3 given twice").arg(path).arg(lineNumber).arg(key));
    }

    const auto take = [&](const QString &name) {
        const auto found = fixed.find(name);
        if (found == fixed.end())
            throw Exception(QStringLiteral("%1: %2 is missing").arg(path, name));
        const QString value = found->second;
        fixed.erase(found);
        return value;
    };
    const auto word = [&](const QString &name, std::uint32_t maximum) {
        return Number(name, take(name), maximum);
    };
    const auto version = [&](const QString &name) {
        return FixedVersion(name, take(name));
    };
    std::tie(data.FileVersionMS, data.FileVersionLS) = version(QStringLiteral("Fixed/FileVersion"));
    std::tie(data.ProductVersionMS, data.ProductVersionLS) = version(QStringLiteral("Fixed/ProductVersion"));
    data.FileFlagsMask = word(QStringLiteral("Fixed/FileFlagsMask"), 0xFFFFFFFF);
    data.FileFlags = word(QStringLiteral("Fixed/FileFlags"), 0xFFFFFFFF);
    data.FileOS = word(QStringLiteral("Fixed/FileOS"), 0xFFFFFFFF);
    data.FileType = word(QStringLiteral("Fixed/FileType"), 0xFFFFFFFF);
    data.FileSubtype = word(QStringLiteral("Fixed/FileSubtype"), 0xFFFFFFFF);
    data.Language = std::uint16_t(word(QStringLiteral("Translation/Language"), 0xFFFF));
    data.CodePage = std::uint16_t(word(QStringLiteral("Translation/CodePage"), 0xFFFF));
    if (!fixed.empty())
        throw Exception(QStringLiteral("%1: unknown entry %2").arg(path, fixed.begin()->first));
    return data;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("Usage: vellumar_version_block_gen DATA OUTPUT\n", stderr);
        return 2;
    }
    try {
        const std::vector<std::uint8_t> block =
            vellumar::BuildVersionBlock(ReadVersionData(QString::fromLocal8Bit(argv[1])));
        QSaveFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly)
            || out.write(reinterpret_cast<const char *>(block.data()), qint64(block.size())) != qint64(block.size())
            || !out.commit())
            throw Exception(QStringLiteral("Cannot create file %1").arg(out.fileName()));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "vellumar_version_block_gen: %s\n", error.what());
        return 1;
    }
    return 0;
}
