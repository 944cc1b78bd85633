#include "util/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/unique_fd.h"

namespace orlo {

// ---- paths and folders ----------------------------------------------------------------------

PathKind pathKind(const std::string& path) {
  struct stat info {};
  if (path.empty()) return PathKind::Missing;
  if (::stat(path.c_str(), &info) != 0)
    return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

Status makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return fail("cannot make the folder " + part + ": " + errorText(errno));
    if (slash == std::string::npos) break;
  }
  if (pathKind(path) != PathKind::Folder) return fail(path + " is not a folder");
  return {};
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

bool mayReplace(const std::string& path) {
  switch (pathKind(path)) {
    case PathKind::Missing:
      return true;
    case PathKind::File:
      return ::access(path.c_str(), W_OK) == 0;
    default:
      return false;
  }
}

std::string errorText(int error) {
  return std::strerror(error);
}

// ---- writing ---------------------------------------------------------------------------------

namespace {

// Writes the rest of `bytes` through `write(from, count, done)` until all is out or it fails.
template <typename Write>
bool writeLoop(const std::string& bytes, Write write) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(bytes.data() + done, bytes.size() - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing sets no errno; a full device is the likely cause.
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool writeAll(int fd, const std::string& bytes) {
  return writeLoop(
      bytes, [fd](const char* from, std::size_t count, std::size_t) { return ::write(fd, from, count); });
}

bool writeAllAt(int fd, const std::string& bytes, std::int64_t offset) {
  return writeLoop(bytes, [fd, offset](const char* from, std::size_t count, std::size_t done) {
    return ::pwrite(fd, from, count, static_cast<off_t>(offset) + static_cast<off_t>(done));
  });
}

Status appendWithHeader(const std::string& path, const std::string& header, const std::string& line) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
  if (!fd) return fail("cannot open " + path + ": " + errorText(errno));
  struct stat st {};
  const bool fresh = ::fstat(fd.get(), &st) == 0 && st.st_size == 0;
  const bool ok = writeAll(fd.get(), (fresh ? header : std::string()) + line);
  const int cause = errno;
  if (::close(fd.release()) != 0 || !ok)
    return fail("cannot write " + path + ": " + errorText(ok ? errno : cause));
  return {};
}

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renaming over a symbolic link would replace the link, not the file the user chose.
std::string followLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// A fresh file beside the target; -1 when the folder takes none.
int createTempBeside(const std::string& target, std::string* temp) {
  const std::string stem =
      folderOf(target) + "/." + baseNameOf(target) + "." + std::to_string(getpid()) + ".";
  for (int n = 0; n < 100; ++n) {
    *temp = stem + std::to_string(n) + ".tmp";
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

Status failure() {
  return fail(errorText(errno != 0 ? errno : EIO));
}

enum class Renamed { Done, Failed, Unavailable };

// The new file, beside the target, takes the target's place by rename, so a reader sees the old
// content or the new, never half of each. Unavailable (nothing left behind) when the folder
// takes no new file or the target's owner and group cannot be given to one; Failed with errno
// set when the writing itself failed.
Renamed renameOver(const std::string& target, const struct stat* old, const std::string& content) {
  std::string temp;
  const int fd = createTempBeside(target, &temp);
  if (fd < 0) return Renamed::Unavailable;
  if (old && fchown(fd, old->st_uid, old->st_gid) != 0) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Renamed::Unavailable;
  }
  bool ok = (!old || fchmod(fd, old->st_mode & 07777) == 0) && writeAll(fd, content) && fsync(fd) == 0;
  int cause = errno;
  if (::close(fd) != 0 && ok) ok = false, cause = errno;
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) ok = false, cause = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    errno = cause;
  }
  return ok ? Renamed::Done : Renamed::Failed;
}

// The file itself is rewritten: its inode, and with it owner, group, mode and every other
// hard link, stay. The bytes overwritten are kept first (no more than the new content), so a
// write that fails part-way puts them back and the file is as it was.
bool rewriteInPlace(const std::string& target, const std::string& content) {
  const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  std::string saved(content.size(), '\0');
  ssize_t kept = -1;
  bool ok = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || (errno = EINVAL, false)) &&
            (kept = pread(fd, saved.data(), saved.size(), 0)) >= 0;
  if (ok) {
    saved.resize(static_cast<std::size_t>(kept));
    ok = writeAllAt(fd, content, 0) && ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
         fsync(fd) == 0;
    if (!ok) {
      const int cause = errno;
      [[maybe_unused]] const bool restored = writeAllAt(fd, saved, 0);
      [[maybe_unused]] const int cut = ftruncate(fd, info.st_size);
      errno = cause;
    }
  }
  const int cause = errno;
  if (::close(fd) != 0 && ok) return false;
  errno = cause;
  return ok;
}

}  // namespace

Status replaceFileContent(const std::string& path, const std::string& content) {
  const std::string target = followLink(path);
  struct stat old {};
  if (stat(target.c_str(), &old) != 0) {
    if (errno != ENOENT) return failure();
    if (renameOver(target, nullptr, content) == Renamed::Done) return {};
    return failure();
  }
  // A file with other names must change under all of them, and one in a folder this user may
  // not write (a shared folder, a file handed over) can still be written where it is.
  if (old.st_nlink == 1) {
    const Renamed renamed = renameOver(target, &old, content);
    if (renamed == Renamed::Done) return {};
    if (renamed == Renamed::Failed) return failure();
  }
  if (rewriteInPlace(target, content)) return {};
  return failure();
}

namespace {

// A whole, synced file under a name no one else uses, in `folder`.
Result<std::string> writeTemporary(const std::string& folder, const std::string& content) {
  for (int n = 0; n < 100; ++n) {
    const std::string temp = folder + "/.new." + std::to_string(getpid()) + "." + std::to_string(n) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    const bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    const int cause = errno;
    if (::close(fd) == 0 && ok) return temp;
    ::unlink(temp.c_str());
    errno = ok ? EIO : cause;
    break;
  }
  return fail("cannot write in " + folder + ": " + errorText(errno != 0 ? errno : EEXIST));
}

void syncFolder(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());
}

}  // namespace

// link() never replaces an existing name.
Result<std::string> writeUnderFreeName(const std::string& stem, const std::string& suffix,
                                       const std::string& content, int names) {
  const std::string folder = folderOf(stem);
  Result<std::string> temp = writeTemporary(folder, content);
  if (!temp) return fail(temp.error());
  Result<std::string> taken = fail("too many files named " + stem);
  for (int n = 1; n <= names; ++n) {
    const std::string path = stem + (n == 1 ? "" : "~" + std::to_string(n)) + suffix;
    if (::link(temp->c_str(), path.c_str()) == 0) {
      taken = path;
      break;
    }
    if (errno != EEXIST) {
      taken = fail("cannot name the file " + path + ": " + errorText(errno));
      break;
    }
  }
  ::unlink(temp->c_str());
  if (taken) syncFolder(folder);
  return taken;
}

// ---- the log file's steps ----------------------------------------------------------------------

int openRegularForWriting(const std::string& path, bool append, FileIdentity* identity, std::int64_t* size) {
  const int flags = append ? O_RDWR | O_APPEND : O_WRONLY;
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return -1;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  *identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  *size = static_cast<std::int64_t>(info.st_size);
  return fd.release();
}

int createNewFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
}

// Open-file-description locks conflict between descriptors even inside one process, and are
// released with the descriptor; non-blocking, as the window thread must never wait.
bool lockForWriting(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool isLockConflict(int error) {
  return error == EAGAIN || error == EACCES;
}

bool truncateTo(int fd, std::int64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

void removeFile(const std::string& path) {
  ::unlink(path.c_str());
}

// ---- the user --------------------------------------------------------------------------------

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string homeFolder() {
  const std::string home = environmentValue("HOME");
  if (!home.empty()) return home;
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir ? user->pw_dir : "/tmp";
}

std::tm localTime(std::time_t time) {
  std::tm out{};
  localtime_r(&time, &out);
  return out;
}

namespace {

Error failedOn(const std::string& what, const std::string& path) {
  return fail(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

Status appendLocked(const std::string& path, const std::string& headerIfNew, const std::string& line,
                    unsigned mode) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, mode));
  if (!fd) return failedOn("cannot open", path);
  int locked = -1;
  while ((locked = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) return failedOn("cannot lock", path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failedOn("cannot look at", path);
  const std::string text = info.st_size == 0 ? headerIfNew + line : line;
  if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0) return failedOn("cannot append to", path);
  return {};  // closing the descriptor releases the lock
}

Result<std::string> readSmallFile(const std::string& path, std::size_t maxBytes, const std::string& what) {
  const std::string named = what.empty() ? path : what + " " + path;
  const auto tooLarge = [&] {
    const std::string size =
        maxBytes % 1024 == 0 ? std::to_string(maxBytes / 1024) + " KiB" : std::to_string(maxBytes) + " bytes";
    return fail(named + " is larger than " + size);
  };
  struct stat info {};
  // Looked at before it is opened: opening a FIFO or a device may wait or act.
  if (::stat(path.c_str(), &info) != 0) return fail("cannot read " + named + ": " + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return fail(named + " is not a regular file");
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd || ::fstat(fd.get(), &info) != 0) return fail("cannot read " + named + ": " + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return fail(named + " is not a regular file");
  if (static_cast<std::size_t>(info.st_size) > maxBytes) return tooLarge();
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("cannot read " + named + ": " + std::strerror(errno));
    if (n == 0) return content;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > maxBytes) return tooLarge();
  }
}

int openForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

int openForWritingNoWait(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  if (!fd) return -1;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) return -1;
  return fd.release();
}

long utcOffsetSeconds(const std::tm& local) {
  return local.tm_gmtoff;
}

namespace {

FileFacts factsFrom(const struct stat& info) {
  FileFacts facts;
  facts.kind = S_ISREG(info.st_mode)   ? PathKind::File
               : S_ISDIR(info.st_mode) ? PathKind::Folder
                                       : PathKind::Other;
  facts.size = static_cast<std::int64_t>(info.st_size);
  facts.modified = info.st_mtime;
  facts.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  facts.othersMayReadOrWrite = (info.st_mode & (S_IROTH | S_IWOTH)) != 0;
  return facts;
}

}  // namespace

bool factsOfPath(const std::string& path, FileFacts* facts) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  *facts = factsFrom(info);
  return true;
}

bool factsOfFile(int fd, FileFacts* facts) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  *facts = factsFrom(info);
  return true;
}

long readAt(int fd, char* buffer, std::size_t size, std::int64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

int duplicateDescriptor(int fd) {
  return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void adviseSequential(int fd) {
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::string hostName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

void* mapLargeBlock(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  ::madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without it the pages are small
  return p;
}

void unmapLargeBlock(void* block, std::size_t bytes) {
  ::munmap(block, bytes);
}

}  // namespace orlo
