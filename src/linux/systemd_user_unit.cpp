#include "linux/systemd_user_unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ebbwise::linux_host {

namespace {

sys::PlatformError posixError(int error) {
  return {"errno", error, std::strerror(error)};
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
    if (n <= 0) return posixError(n < 0 ? errno : EIO);
    written += static_cast<std::size_t>(n);
  }
  return std::nullopt;
}

}  // namespace

SystemdUserUnit::SystemdUserUnit(std::string configFolder, std::string executable)
    : folder_(std::move(configFolder) + "/systemd/user"),
      path_(folder_ + "/" + kName),
      executable_(std::move(executable)) {}

std::optional<std::string> SystemdUserUnit::configFolderOf(sys::Environment& environment) {
  if (auto v = environment.variable("XDG_CONFIG_HOME"); v && !v->empty() && v->front() == '/') {
    return v;
  }
  if (auto home = environment.homeDirectory()) return *home + "/.config";
  return std::nullopt;
}

std::optional<std::string> SystemdUserUnit::execStart(const std::string& path,
                                                      const std::string& argument) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  // Double quotes keep blanks in the path; inside them the manager reads C
  // escapes, and '%' starts a specifier anywhere in the line.
  std::string quoted = "\"";
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += static_cast<char>(c);
  }
  return quoted + "\" " + argument;
}

std::optional<std::string> SystemdUserUnit::text() const {
  auto exec = execStart(executable_, "--monitor");
  if (!exec) return std::nullopt;
  // A machine without a battery makes the monitor exit at once with status 1;
  // restarting it would only repeat that, so only a crash brings it back.
  return "[Unit]\n"
         "Description=Ebbwise battery drain monitor\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         *exec +
         "\n"
         "Restart=on-abnormal\n"
         "RestartSec=30\n"
         "Nice=10\n"
         "\n"
         "[Install]\n"
         "WantedBy=default.target\n";
}

std::optional<sys::PlatformError> SystemdUserUnit::install(Outcome& outcome) const {
  const auto unit = text();
  if (!unit) {
    return sys::PlatformError{"errno", EINVAL,
                              "the program's path cannot be started from a unit file"};
  }
  if (readFile(path_) == *unit) {
    outcome = Outcome::unchanged;
    return std::nullopt;
  }
  if (!makeFolders(folder_)) return posixError(errno ? errno : ENOTDIR);
  // Written beside the unit and renamed over it.
  std::string temporary = path_ + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return posixError(errno);
  auto failed = writeAll(fd, *unit);
  if (!failed && ::fchmod(fd, 0644) != 0) failed = posixError(errno);
  if (!failed && ::fsync(fd) != 0) failed = posixError(errno);
  if (::close(fd) != 0 && !failed) failed = posixError(errno);
  if (!failed && ::rename(temporary.c_str(), path_.c_str()) != 0) failed = posixError(errno);
  if (failed) {
    ::unlink(temporary.c_str());
    return failed;
  }
  outcome = Outcome::written;
  return std::nullopt;
}

}  // namespace ebbwise::linux_host
