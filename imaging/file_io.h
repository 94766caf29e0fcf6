#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include <QString>

namespace vellumar
{

/** Largest file that is read into memory (512 MiB); larger files are refused before reading. */
inline constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

[[nodiscard]] std::filesystem::path ToPath(const QString &path);
[[nodiscard]] QString FromPath(const std::filesystem::path &path);

/** A path as the folder that holds it and its name within it. */
struct TPathParts {
    /** "." for a bare name, "/" for a name in the root folder, else everything before the last "/". */
    QString Folder;
    /** Everything after the last "/"; empty when the path ends in one. */
    QString Name;
};
[[nodiscard]] TPathParts SplitPath(const QString &path);

/** Where a file lives on disk: its device and inode, the same under every path that names it. */
struct TFileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    friend auto operator<=>(const TFileIdentity &, const TFileIdentity &) = default;
};

/**
 * A folder held open for the life of this object: files found, made and renamed through it stay in the
 * folder that was opened, even when its path later names another place (the folder renamed, or swapped
 * for a link). Move-only.
 */
class TFolder
{
public:
    /** Opens path (links followed). Throws EFOpenError "Cannot open folder <path>: <reason>". */
    explicit TFolder(const QString &path);
    /** The folder at path, or none (error, when given, receives the errno) when it cannot be opened. */
    [[nodiscard]] static std::optional<TFolder> TryOpen(const QString &path, int *error = nullptr);
    /**
     * The folder at relative path inside this one ("a/b"; empty: this folder again), each step opened
     * through the one before and never through a link, so nothing planted inside leads out of it. With
     * create, missing folders are made (mode 0777 less the umask). None (error gets the errno) when a step
     * is missing, is no folder, is a link, or is "." or "..".
     */
    [[nodiscard]] std::optional<TFolder> OpenInside(const QString &relative, bool create, int *error = nullptr) const;
    ~TFolder();
    TFolder(TFolder &&other) noexcept;
    TFolder &operator=(TFolder &&other) noexcept;
    TFolder(const TFolder &) = delete;
    TFolder &operator=(const TFolder &) = delete;

    [[nodiscard]] int Descriptor() const { return mFd; }
    /** The path it was opened by, for messages. */
    [[nodiscard]] const QString &Path() const { return mPath; }
    [[nodiscard]] TFileIdentity Identity() const;
    /** True once the folder has been removed: nothing can be made in it any more. */
    [[nodiscard]] bool Removed() const;
    /**
     * True when its file system may take names differing only in case for one file: FAT, exFAT, NTFS,
     * SMB, any FUSE file system (it cannot tell), or a folder marked case-insensitive (ext4, f2fs).
     */
    [[nodiscard]] bool FoldsCase() const;

private:
    TFolder() = default;
    int mFd = -1;
    QString mPath;
};

/**
 * A file to read or write: a name inside an open folder, or a path (relative paths from the current
 * folder). Path is what messages show. Folder, when set, must outlive the reference.
 */
struct TFileRef {
    TFileRef(const QString &path); // NOLINT(google-explicit-constructor): a path names a file
    TFileRef(const TFolder &folder, const QString &name, const QString &path);

    const TFolder *Folder = nullptr;
    /** The name inside Folder; the whole path without one. */
    QString Name;
    QString Path;
    /**
     * For a write: the file was planned as a new one, so nothing that appeared at its place since is
     * replaced (WriteFileAtomic then throws EFCreateError).
     */
    bool MustBeNew = false;
};

/** What a file is, its links followed. */
struct TFileFacts {
    TFileIdentity Identity;
    bool Regular = false;
    std::uint64_t Size = 0;
    /** The permission bits (0777). */
    unsigned Permissions = 0;
    /** The last modification, in seconds since 1970 (UTC). */
    std::int64_t ModifiedSeconds = 0;
};

/** The facts of the file at file, its links followed; none when nothing (or a dangling link) is there. */
[[nodiscard]] std::optional<TFileFacts> StatFile(const TFileRef &file);

/**
 * Reads a whole regular file into memory.
 * Throws EFOpenError "Cannot open file %s" (path unchanged) when it is missing, not a regular file or
 * cannot be opened; EReadError "File too large: %s (the limit is 512 MiB)" above kMaxFileBytes;
 * EReadError "Stream read error: <reason> (<path>)" when fewer bytes arrive than the file's size.
 */
[[nodiscard]] std::vector<std::uint8_t> ReadWholeFile(const TFileRef &file);

/**
 * Reads at most the first limit bytes of a regular file, with the checks and errors of ReadWholeFile;
 * fileBytes gets the file's whole size.
 */
[[nodiscard]] std::vector<std::uint8_t> ReadFileHead(const TFileRef &file, std::size_t limit, std::uint64_t &fileBytes);

/** What WriteFileAtomic does with a writable file in a folder where the user may create nothing. */
enum class TLockedFolder {
    Refuse, ///< EFCreateError, as for a new file there: a photo is only ever replaced whole
    RewriteInPlace, ///< rewrite the file itself, giving up atomicity (a saved report)
};

struct TWriteOptions {
    TLockedFolder LockedFolder = TLockedFolder::Refuse;
    /** Permission bits a new file is created with, less the umask (a replaced file keeps its own). */
    unsigned NewFileMode = 0666;
};

/**
 * Creates or replaces target with bytes, atomically: the bytes go to an unnamed file in the target's
 * folder (or, where the file system has none, a short hidden name), which takes the target's name only
 * once complete. A failure leaves the old file untouched and no partial file. A new file never replaces
 * one that appeared meanwhile. A replaced file keeps its permission bits, owner and group; where the
 * owner and group cannot be given to the new file, the old one is not replaced. A new file gets
 * options.NewFileMode less the umask. An existing file the user may not write is never replaced. With
 * TLockedFolder::RewriteInPlace, a writable file in a folder the user may not write to is rewritten in
 * place, its space reserved first so that a full disk is found before any old byte is lost.
 * Throws EFCreateError "Cannot create file %s: <reason>" (CannotCreateFileText) when the file cannot be
 * created, is not writable or cannot take its name; EWriteError "Stream write error: <reason> (<path>)"
 * when a write fails part-way (for example "No space left on device"). An empty span writes a 0-byte file.
 */
void WriteFileAtomic(const TFileRef &target, std::span<const std::uint8_t> bytes, const TWriteOptions &options);
void WriteFileAtomic(const TFileRef &target,
    std::span<const std::uint8_t> bytes,
    TLockedFolder lockedFolder = TLockedFolder::Refuse);

/**
 * Removes every named temporary file that a write in progress has made, on any thread. Safe to call
 * from a signal handler (it only reads a fixed table and calls unlink), as the last act of a program
 * that a signal ends in the middle of a write. Unnamed temporary files vanish with the process anyway.
 */
void RemovePendingTemporaryFiles() noexcept;

/** True when something that is a regular file (or a link to one) exists at file. */
[[nodiscard]] bool FileExists(const TFileRef &file);
/** True when path names an existing directory. */
[[nodiscard]] bool DirectoryExists(const QString &path);
/** The size in bytes of the regular file (or link to one) at path; -1 when there is none. */
[[nodiscard]] qint64 RegularFileSize(const TFileRef &file);

} // namespace vellumar
