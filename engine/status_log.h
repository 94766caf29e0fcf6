#pragma once

#include <functional>
#include <utility>

#include <QString>
#include <QStringList>

namespace vellumar
{

/**
 * The status log: an append-only sequence of lines, each exactly the text its writer passed (an empty
 * text is an empty line). A view follows it through the change handler.
 */
class TStatusLog
{
public:
    enum class TChange { LineAdded, Cleared };
    /** line is the added line for LineAdded, empty for Cleared. */
    using TChangeHandler = std::function<void(TChange change, const QString &line)>;

    void AddStatusLine(const QString &line);
    void Clear();

    [[nodiscard]] const QStringList &Lines() const { return mLines; }
    /** Every line followed by CR LF; empty for an empty log. */
    [[nodiscard]] QString Text() const;

    /**
     * Writes Text() to path as UTF-8 without a byte-order mark, creating or replacing the file; the log
     * is left unchanged. The old file is replaced only once the new content is complete. Throws
     * EFCreateError "Cannot create file <path>" when the file cannot be created (a missing folder, no
     * permission, a folder or a read-only file in the way), EWriteError "Stream write error: <reason>
     * (<path>)" when a write fails part-way (the old file then stays as it was).
     */
    void SaveStatusReport(const QString &path) const;

    void SetOnChange(TChangeHandler handler) { mOnChange = std::move(handler); }

private:
    QStringList mLines;
    TChangeHandler mOnChange;
};

} // namespace vellumar
