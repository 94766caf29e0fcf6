#include "tests/support/temp_dir.h"

#include <QFile>

namespace vellumar::test
{

TTempDir::TTempDir() = default;

QString TTempDir::File(const QString &name) const
{
    return mDir.path() + QLatin1Char('/') + name;
}

QString TTempDir::Write(const QString &name, const std::vector<std::uint8_t> &bytes) const
{
    return WriteText(name, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
}

QString TTempDir::WriteText(const QString &name, const QByteArray &text) const
{
    const QString path = File(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
    return path;
}

std::vector<std::uint8_t> ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return { all.begin(), all.end() };
}

} // namespace vellumar::test
