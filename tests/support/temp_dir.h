#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QTemporaryDir>

namespace vellumar::test
{

/** A temporary folder removed with everything in it at the end of the test. */
class TTempDir
{
public:
    TTempDir();
    [[nodiscard]] QString Path() const { return mDir.path(); }
    /** Path() + "/" + name. */
    [[nodiscard]] QString File(const QString &name) const;
    /** Writes bytes to name inside the folder and returns its full path. */
    QString Write(const QString &name, const std::vector<std::uint8_t> &bytes) const;
    QString WriteText(const QString &name, const QByteArray &text) const;

private:
    QTemporaryDir mDir;
};

/** The whole content of a file; empty when it cannot be read. */
[[nodiscard]] std::vector<std::uint8_t> ReadBytes(const QString &path);

} // namespace vellumar::test
