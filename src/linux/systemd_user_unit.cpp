#include "linux/systemd_user_unit.h"

#include <cerrno>

#include "linux/small_file.h"

namespace ebbwise::linux_host {

SystemdUserUnit::SystemdUserUnit(std::string configFolder, std::string executable)
    : folder_(std::move(configFolder) + "/systemd/user"),
      path_(folder_ + "/" + kName),
      executable_(std::move(executable)) {}

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
  if (SmallFile::read(path_) == *unit) {
    outcome = Outcome::unchanged;
    return std::nullopt;
  }
  if (auto failed = SmallFile::replace(path_, *unit)) return failed;
  outcome = Outcome::written;
  return std::nullopt;
}

}  // namespace ebbwise::linux_host
