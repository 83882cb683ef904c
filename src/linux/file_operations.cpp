#include "linux/file_operations.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ebbwise::linux_host {

namespace {

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  for (;;) {
    const int fd = ::open(path, flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

}  // namespace

int PosixFileOperations::readFile(const std::string& path, std::size_t limit,
                                  std::string& contents) {
  contents.clear();
  UniqueFd fd(openRetrying(path.c_str(), O_RDONLY | O_NOCTTY));
  if (!fd) return errno;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EISDIR;
  if (static_cast<std::size_t>(info.st_size) > limit) return EFBIG;
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // The file may have grown since it was measured.
    if (contents.size() + static_cast<std::size_t>(n) > limit) return EFBIG;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
}

int PosixFileOperations::makeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string prefix = path.substr(0, at);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int PosixFileOperations::lock(const std::string& path, UniqueFd& lock) {
  UniqueFd fd(openRetrying(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY, 0600));
  if (!fd) return errno;
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  lock = std::move(fd);
  return 0;
}

int PosixFileOperations::createNew(const std::string& path, UniqueFd& file) {
  UniqueFd fd(
      openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, 0600));
  if (!fd) return errno;
  file = std::move(fd);
  return 0;
}

int PosixFileOperations::writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int PosixFileOperations::sync(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int PosixFileOperations::close(UniqueFd& file) {
  // close reports late write errors (on network file systems, say); the
  // descriptor is released either way.
  const int fd = file.get();
  (void)file.release();
  return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

int PosixFileOperations::rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileOperations::renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link never replaces either.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

int PosixFileOperations::syncFolder(const std::string& path) {
  UniqueFd fd(openRetrying(path.c_str(), O_RDONLY | O_DIRECTORY));
  if (!fd) return errno;
  while (::fsync(fd.get()) != 0) {
    // Some file systems cannot sync a folder; their renames are as safe as they get.
    if (errno == EINVAL || errno == EROFS) return 0;
    if (errno != EINTR) return errno;
  }
  return 0;
}

int PosixFileOperations::remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace ebbwise::linux_host
