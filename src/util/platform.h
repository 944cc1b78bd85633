#pragma once
// Every call this program makes to the operating system for files, folders, the user's folders
// and local time, so that a port to another system is this file pair. POSIX here.
//
// The low-level steps (open, lock, truncate, remove) answer false or -1 with errno set, as their
// callers tell a lock conflict or a missing file from other failures; the whole operations
// answer a Status or Result whose message names the path and the system's reason.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "util/result.h"

namespace orlo {

// ---- paths and folders ----------------------------------------------------------------------

// Missing: nothing there (or an empty path); Other: a device, a pipe, or a path that cannot
// be looked at (no search permission, a loop of links...).
enum class PathKind { Missing, File, Folder, Other };

PathKind pathKind(const std::string& path);

// Makes `path` and every missing folder above it (private to the user).
Status makeFolders(const std::string& path);

// The names in a folder (without "." and ".."), in no order; none when it cannot be read.
std::vector<std::string> folderEntries(const std::string& folder);

// True when a file at `path` may be replaced by this user (or there is none yet).
bool mayReplace(const std::string& path);

// The system's words for an error number.
std::string errorText(int error);

// ---- writing ---------------------------------------------------------------------------------

// Writes all of `bytes` to `fd`, going on after short writes and interruptions; false with
// errno set when the rest cannot go.
bool writeAll(int fd, const std::string& bytes);

// writeAll at file offset `offset`, leaving the descriptor's own offset alone.
bool writeAllAt(int fd, const std::string& bytes, std::int64_t offset);

// Appends `line` to the file at `path` (made private to the user when new), after `header` when
// the file is empty, in one write, so that two programs appending at once do not interleave
// within a line.
Status appendWithHeader(const std::string& path, const std::string& header, const std::string& line);

// Writes `content` to a new file beside `path` and renames it over `path`, so that `path` holds
// either its old content or the whole new one. Where that cannot keep the file what it was
// (other hard links, an owner or group this user cannot give, a folder that takes no new file)
// the file is rewritten in place instead, and put back as it was if that fails. Owner, group and
// mode of an existing target are kept either way.
Status replaceFileContent(const std::string& path, const std::string& content);

// Puts `content` (synced) under the first free name of stem + suffix, stem~2 + suffix ...
// stem~`names` + suffix, never replacing a file there: the file appears whole or not at all.
// Returns the path taken.
Result<std::string> writeUnderFreeName(const std::string& stem, const std::string& suffix,
                                       const std::string& content, int names);

// ---- the log file's steps ----------------------------------------------------------------------

// Which file a descriptor or path is, whatever its name now.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};

// What the system says of a file: its kind, size, age and whether other users may read it.
struct FileFacts {
  PathKind kind = PathKind::Missing;
  std::int64_t size = 0;
  std::time_t modified = 0;
  FileIdentity identity;
  bool othersMayReadOrWrite = false;
};
// Of the file a path names (following links); false with errno when it cannot be looked at.
bool factsOfPath(const std::string& path, FileFacts* facts);
// Of an open descriptor; false with errno.
bool factsOfFile(int fd, FileFacts* facts);

// Reads up to `size` bytes at `offset`, going on after interruptions; the count (0 at the end),
// or -1 with errno.
long readAt(int fd, char* buffer, std::size_t size, std::int64_t offset);
// A second descriptor of the same open file (for another thread's reads at an offset); -1 with
// errno.
int duplicateDescriptor(int fd);
// Tells the system a file will be read from start to end (more read-ahead).
void adviseSequential(int fd);

// Opens an existing regular file for writing (appending when `append`, and readable), without
// blocking on a pipe or device swapped in under the name; -1 with errno (EINVAL for a file that
// is not regular). *identity and *size describe the file opened.
int openRegularForWriting(const std::string& path, bool append, FileIdentity* identity, std::int64_t* size);
// Creates `path`, which must not exist yet, for writing; -1 with errno.
int createNewFile(const std::string& path);
// Takes a non-blocking advisory write lock on the whole file, held by this descriptor alone
// (another descriptor of this process conflicts too) and dropped when it is closed.
bool lockForWriting(int fd);
// Whether `error` from lockForWriting means that another holder has the lock.
bool isLockConflict(int error);
bool truncateTo(int fd, std::int64_t size);
void removeFile(const std::string& path);

// ---- memory ----------------------------------------------------------------------------------

// Zeroed memory of `bytes` straight from the system, in huge pages where it offers them;
// nullptr when there is none. Given back with unmapLargeBlock(p, bytes).
void* mapLargeBlock(std::size_t bytes);
void unmapLargeBlock(void* block, std::size_t bytes);

// ---- the user --------------------------------------------------------------------------------

// The environment variable's value; "" when it is unset.
std::string environmentValue(const char* name);
// $HOME, else the user database's home folder, else /tmp.
std::string homeFolder();
// This machine's name; "" when the system does not say.
std::string hostName();

// `time` as local wall-clock time in the system's time zone.
std::tm localTime(std::time_t time);
// How far the local time `local` (from localTime) is ahead of UTC, in seconds.
long utcOffsetSeconds(const std::tm& local);

// Appends `line` to the file at `path` under an exclusive lock (flock), so that writers in other
// processes never interleave; `headerIfNew` goes first when the file is empty. The line is on
// disk (synced) when this returns. The file is made (with `mode`) when missing.
Status appendLocked(const std::string& path, const std::string& headerIfNew, const std::string& line,
                    unsigned mode = 0644);

// The whole of a regular file when it is at most `maxBytes` long. A FIFO or device is refused
// before it is opened. Messages name the file as `what` + " " + path ("config file /etc/x").
Result<std::string> readSmallFile(const std::string& path, std::size_t maxBytes,
                                  const std::string& what = "");

// Opens a file for reading only; -1 with errno.
int openForReading(const std::string& path);
// Creates or empties `path` for writing without waiting on a FIFO that no program reads (-1,
// errno ENXIO); once open, writes block as usual. -1 with errno.
int openForWritingNoWait(const std::string& path);

}  // namespace orlo
