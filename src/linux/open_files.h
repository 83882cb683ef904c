#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

#include "linux/unique_fd.h"

namespace ebbwise::linux_host {

// Small files read again and again (a power supply's attributes, every
// second) held open and read from their start each time, instead of being
// opened, read and closed on every reading. A sysfs attribute answers each
// read from offset 0 afresh. A file is known by its path and its inode
// number, as the folder's listing gives it: a device that went and came back,
// or a file replaced by another, has a new number and is opened anew. Files
// not read since the last `sweep` are closed by it, so descriptors never
// outlive their devices for long. Not thread-safe: the owner serialises.
class OpenFiles {
 public:
  // The file's bytes (at most 4096, as much as an attribute holds); nothing
  // when it cannot be opened or read.
  std::optional<std::string> read(const std::string& path, ino_t inode);

  // Closes every file not read since the previous sweep.
  void sweep();

  std::size_t size() const { return files_.size(); }

 private:
  struct File {
    UniqueFd fd;
    ino_t inode = 0;
    bool used = false;
  };
  std::map<std::string, File, std::less<>> files_;
};

}  // namespace ebbwise::linux_host
