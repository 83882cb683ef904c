#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "linux/unique_fd.h"

namespace ebbwise::linux_host {

// The file-system calls a store makes to keep one document safely on disk.
// Each answers 0 or the errno value of the failure, so that a test can put a
// failure (or a crash) at any single step.
class FileOperations {
 public:
  virtual ~FileOperations() = default;

  // The whole file into `contents`; EFBIG when it is longer than `limit`.
  virtual int readFile(const std::string& path, std::size_t limit, std::string& contents) = 0;
  // The folder and any missing parents, private to the user.
  virtual int makeFolders(const std::string& path) = 0;
  // An exclusive lock held on `path` (created when missing) until `lock` goes.
  virtual int lock(const std::string& path, UniqueFd& lock) = 0;
  // A new file, private to the user; EEXIST when something is already there.
  virtual int createNew(const std::string& path, UniqueFd& file) = 0;
  virtual int writeAll(int fd, std::string_view bytes) = 0;
  // Flushes the file's data to the disk.
  virtual int sync(int fd) = 0;
  virtual int close(UniqueFd& file) = 0;
  // Replaces `to` by `from` in one step.
  virtual int rename(const std::string& from, const std::string& to) = 0;
  // Moves `from` to `to` only when nothing is at `to` (EEXIST otherwise).
  virtual int renameNoReplace(const std::string& from, const std::string& to) = 0;
  // Flushes the folder's entries (a rename in it) to the disk.
  virtual int syncFolder(const std::string& path) = 0;
  virtual int remove(const std::string& path) = 0;
};

// The real calls, with close-on-exec descriptors and interrupted calls retried.
class PosixFileOperations final : public FileOperations {
 public:
  int readFile(const std::string& path, std::size_t limit, std::string& contents) override;
  int makeFolders(const std::string& path) override;
  int lock(const std::string& path, UniqueFd& lock) override;
  int createNew(const std::string& path, UniqueFd& file) override;
  int writeAll(int fd, std::string_view bytes) override;
  int sync(int fd) override;
  int close(UniqueFd& file) override;
  int rename(const std::string& from, const std::string& to) override;
  int renameNoReplace(const std::string& from, const std::string& to) override;
  int syncFolder(const std::string& path) override;
  int remove(const std::string& path) override;
};

}  // namespace ebbwise::linux_host
