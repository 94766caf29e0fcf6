#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include <QString>

namespace vellumar
{

/** Largest file that is read into memory (512 MiB); larger files are refused before reading. */
inline constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

[[nodiscard]] std::filesystem::path ToPath(const QString &path);
[[nodiscard]] QString FromPath(const std::filesystem::path &path);

/**
 * Reads a whole regular file into memory.
 * Throws EFOpenError "Cannot open file %s" (path unchanged) when it is missing, not a regular file or
 * cannot be opened; EReadError "File too large: %s (the limit is 512 MiB)" above kMaxFileBytes;
 * EReadError "Stream read error: <reason> (<path>)" when fewer bytes arrive than the file's size.
 */
[[nodiscard]] std::vector<std::uint8_t> ReadWholeFile(const QString &path);

/** What WriteFileAtomic does with a writable file in a folder where the user may create nothing. */
enum class TLockedFolder {
    Refuse, ///< EFCreateError, as for a new file there: a photo is only ever replaced whole
    RewriteInPlace, ///< rewrite the file itself, giving up atomicity (a saved report)
};

/**
 * Creates or replaces path with bytes, atomically: the bytes go to an unnamed file in the same folder
 * (or, where the file system has none, a short hidden name), which is renamed over path only once
 * complete. A failure leaves the old file untouched and no partial file. A replaced file keeps its
 * permission bits; a new one gets 0666 less the umask. An existing file the user may not write is
 * never replaced. With TLockedFolder::RewriteInPlace, a writable file in a folder the user may not
 * write to is rewritten in place, its space reserved first so that a full disk is found before any
 * old byte is lost.
 * Throws EFCreateError "Cannot create file %s" when the file cannot be created, is not writable or
 * cannot be renamed into place; EWriteError "Stream write error: <reason> (<path>)" when a write fails
 * part-way (for example "No space left on device"). An empty span writes a 0-byte file.
 */
void WriteFileAtomic(const QString &path,
    std::span<const std::uint8_t> bytes,
    TLockedFolder lockedFolder = TLockedFolder::Refuse);

/**
 * Removes every named temporary file that a write in progress has made, on any thread. Safe to call
 * from a signal handler (it only reads a fixed table and calls unlink), as the last act of a program
 * that a signal ends in the middle of a write. Unnamed temporary files vanish with the process anyway.
 */
void RemovePendingTemporaryFiles() noexcept;

/** True when something that is a regular file (or a link to one) exists at path. */
[[nodiscard]] bool FileExists(const QString &path);
/** True when path names an existing directory. */
[[nodiscard]] bool DirectoryExists(const QString &path);
/** The size in bytes of the regular file (or link to one) at path; -1 when there is none. */
[[nodiscard]] qint64 RegularFileSize(const QString &path);

} // namespace vellumar
