#include "linux/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ebbwise::linux_host {

namespace {

// The folder and its missing parents; whether a folder is there at the end.
bool makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<sys::PlatformError> writeAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return SmallFile::posixError(n < 0 ? errno : EIO);
    written += static_cast<std::size_t>(n);
  }
  return std::nullopt;
}

}  // namespace

sys::PlatformError SmallFile::posixError(int error) {
  return {"errno", error, std::strerror(error)};
}

std::optional<std::string> SmallFile::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<sys::PlatformError> SmallFile::replace(const std::string& path,
                                                     const std::string& text) {
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    errno = 0;
    if (!makeFolders(path.substr(0, slash))) return posixError(errno ? errno : ENOTDIR);
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return posixError(errno);
  auto failed = writeAll(fd, text);
  if (!failed && ::fchmod(fd, 0644) != 0) failed = posixError(errno);
  if (!failed && ::fsync(fd) != 0) failed = posixError(errno);
  if (::close(fd) != 0 && !failed) failed = posixError(errno);
  if (!failed && ::rename(temporary.c_str(), path.c_str()) != 0) failed = posixError(errno);
  if (failed) ::unlink(temporary.c_str());
  return failed;
}

}  // namespace ebbwise::linux_host
