#include "linux/autostart_login_item.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The value of `key` in the entry's "[Desktop Entry]" group; nothing when
// it is not there.
std::optional<std::string> entryValue(const std::string& text, std::string_view key) {
  std::istringstream in(text);
  bool inGroup = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inGroup) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    if (k != key) continue;
    std::string v = line.substr(eq + 1);
    while (!v.empty() && v.front() == ' ') v.erase(v.begin());
    return v;
  }
  return std::nullopt;
}

bool makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  return false;
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(std::string configFolder, std::string executable,
                                       std::string name)
    : folder_(std::move(configFolder)),
      path_(folder_ + "/autostart/ebbwise.desktop"),
      executable_(std::move(executable)),
      name_(std::move(name)) {}

std::optional<std::string> AutostartLoginItem::execValue(const std::string& path) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  bool plain = true;
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (!(std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-' || c == '+')) {
      plain = false;
    }
  }
  // The entry's '%' is a field code even inside quotes.
  std::string escaped;
  for (char c : path) {
    if (c == '%') {
      escaped += "%%";
    } else {
      escaped += c;
    }
  }
  if (plain) return escaped;
  // Inside double quotes '"', '`', '$' and '\' take a backslash, and the
  // string value's own escaping doubles every backslash again.
  std::string quoted = "\"";
  for (char c : escaped) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
      quoted += c;
    } else if (c == '\\') {
      quoted += "\\\\\\\\";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string AutostartLoginItem::entry() const {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         name_ +
         "\n"
         "Comment=Battery drain monitor\n"
         "Exec=" +
         execValue(executable_).value_or("") +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

sys::LoginItemStatus AutostartLoginItem::status() {
  auto text = readFile(path_);
  if (!text) return sys::LoginItemStatus::notRegistered;
  if (entryValue(*text, "Hidden") == "true" ||
      entryValue(*text, "X-GNOME-Autostart-enabled") == "false") {
    return sys::LoginItemStatus::requiresApproval;
  }
  return sys::LoginItemStatus::enabled;
}

std::optional<sys::PlatformError> AutostartLoginItem::registerItem() {
  if (!execValue(executable_)) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemInternalFailure,
                              "The program's path cannot be started from an autostart entry."};
  }
  const std::string text = entry();
  if (status() == sys::LoginItemStatus::enabled && readFile(path_) == text) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemAlreadyRegistered,
                              "The application is already registered."};
  }
  if (!makeFolder(folder_) || !makeFolder(folder_ + "/autostart")) return posixError(errno);
  // Written beside the entry and renamed over it, so a session starting
  // meanwhile sees the old entry or the new one, never half of one.
  const std::string temporary = path_ + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return posixError(errno);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(temporary.c_str());
      return posixError(error);
    }
    written += static_cast<std::size_t>(n);
  }
  int error = ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return posixError(error);
  }
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return posixError(error);
  }
  return std::nullopt;
}

std::optional<sys::PlatformError> AutostartLoginItem::unregisterItem() {
  if (::unlink(path_.c_str()) == 0) return std::nullopt;
  if (errno == ENOENT) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemJobNotFound,
                              "The login item could not be found."};
  }
  return posixError(errno);
}

}  // namespace ebbwise::linux_host
