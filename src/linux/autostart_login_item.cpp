#include "linux/autostart_login_item.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <sstream>

#include "linux/small_file.h"

namespace ebbwise::linux_host {

namespace {

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
  auto text = SmallFile::read(path_);
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
  if (status() == sys::LoginItemStatus::enabled && SmallFile::read(path_) == text) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemAlreadyRegistered,
                              "The application is already registered."};
  }
  return SmallFile::replace(path_, text);
}

std::optional<sys::PlatformError> AutostartLoginItem::unregisterItem() {
  if (::unlink(path_.c_str()) == 0) return std::nullopt;
  if (errno == ENOENT) {
    return sys::PlatformError{sys::kLoginItemErrorDomain, sys::kLoginItemJobNotFound,
                              "The login item could not be found."};
  }
  return SmallFile::posixError(errno);
}

}  // namespace ebbwise::linux_host
