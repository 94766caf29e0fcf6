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
 * EReadError "Stream read error" when fewer bytes arrive than the file's size.
 */
[[nodiscard]] std::vector<std::uint8_t> ReadWholeFile(const QString &path);

/**
 * Creates or replaces path with bytes, atomically: the bytes go to a temporary file beside it, which
 * is renamed over path only once complete. A failure leaves the old file untouched and no partial file.
 * Throws EFCreateError "Cannot create file %s" when the file cannot be created or renamed into place,
 * EWriteError "Stream write error" when a write fails part-way. An empty span writes a 0-byte file.
 */
void WriteFileAtomic(const QString &path, std::span<const std::uint8_t> bytes);

/** True when something that is a regular file (or a link to one) exists at path. */
[[nodiscard]] bool FileExists(const QString &path);
/** True when path names an existing directory. */
[[nodiscard]] bool DirectoryExists(const QString &path);

} // namespace vellumar
