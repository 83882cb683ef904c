#include "linux/open_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ebbwise::linux_host {

namespace {

std::optional<std::string> readFrom(int fd) {
  char buffer[4096];
  ssize_t n;
  do {
    n = ::pread(fd, buffer, sizeof buffer, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::optional<std::string> OpenFiles::read(const std::string& path, ino_t inode) {
  auto found = files_.find(path);
  if (found != files_.end() && found->second.inode == inode) {
    found->second.used = true;
    if (auto text = readFrom(found->second.fd.get())) return text;
    // A device gone underneath its open file answers ENODEV: try it afresh.
  }
  if (found != files_.end()) files_.erase(found);
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  UniqueFd file(fd);
  auto text = readFrom(fd);
  // Only a file that reads is worth holding.
  if (text) files_.insert_or_assign(path, File{std::move(file), inode, true});
  return text;
}

void OpenFiles::sweep() {
  std::erase_if(files_, [](const auto& entry) { return !entry.second.used; });
  for (auto& [path, file] : files_) file.used = false;
}

}  // namespace ebbwise::linux_host
