#include "cli/service_command.h"

#include <unistd.h>

#include <vector>

#include "base/terminal_text.h"
#include "cli/command_options.h"
#include "linux/host_tool_runner.h"
#include "linux/systemd_user_unit.h"
#include "linux/user_paths.h"

namespace ebbwise {

namespace {

const std::string kEnable =
    "systemctl --user enable --now " + std::string(linux_host::SystemdUserUnit::kName);

CommandResult failed(std::string text) {
  return {CommandOptions::kFailure, "", "ebbwise: " + std::move(text) + "\n"};
}

// Why a run of the tool failed, in words; nothing when it succeeded.
std::optional<std::string> runFailure(const std::optional<sys::ToolRun>& run) {
  if (!run) return "could not be started";
  if (run->timedOut) return "did not finish in time";
  if (!run->exitStatus) return "was killed";
  if (*run->exitStatus != 0) return "exited with status " + std::to_string(*run->exitStatus);
  return std::nullopt;
}

std::optional<std::string> systemctlPath() {
  for (const char* path : {"/usr/bin/systemctl", "/bin/systemctl"}) {
    if (::access(path, X_OK) == 0) return std::string(path);
  }
  return std::nullopt;
}

}  // namespace

CommandResult installService(sys::Environment& host) {
  linux_host::HostToolRunner tools;
  return installService(host, linux_host::UserPaths::ownExecutable(), tools, systemctlPath());
}

CommandResult installService(sys::Environment& host, const std::optional<std::string>& executable,
                             sys::ToolRunner& tools, const std::optional<std::string>& systemctl) {
  using linux_host::SystemdUserUnit;
  if (!executable) return failed("cannot install the service: this program's own path is unknown");
  const auto config = linux_host::UserPaths::configFolder(host);
  if (!config) {
    return failed("cannot install the service: there is no home folder (HOME) to put it in");
  }
  const SystemdUserUnit unit(*config, *executable);
  const std::string where = TerminalText::printable(unit.path());
  SystemdUserUnit::Outcome outcome{};
  if (auto error = unit.install(outcome)) {
    return failed("cannot install the service at " + where + " (" + error->message + ")");
  }
  CommandResult result;
  result.out = outcome == SystemdUserUnit::Outcome::written
                   ? "Installed the background monitor as a user service: " + where + "\n"
                   : "The background monitor's user service is already installed: " + where + "\n";
  if (!systemctl) {
    result.out += "Enable and start it with: " + kEnable + "\n";
    return result;
  }
  const std::vector<std::string> reload = {"--user", "daemon-reload"};
  const std::vector<std::string> enable = {"--user", "enable", "--now", SystemdUserUnit::kName};
  std::optional<std::string> problem;
  if (outcome == SystemdUserUnit::Outcome::written) {
    if (auto why = runFailure(tools.run(*systemctl, reload))) {
      problem = "systemctl --user daemon-reload " + *why;
    }
  }
  if (!problem) {
    if (auto why = runFailure(tools.run(*systemctl, enable))) problem = kEnable + " " + *why;
  }
  if (problem) {
    result.exitCode = CommandOptions::kFailure;
    result.err = "ebbwise: the service is installed but could not be started: " + *problem +
                 ". Is a user service manager running? Run \"" + kEnable + "\" to see why.\n";
    return result;
  }
  result.out += "Enabled and started it (" + kEnable + ").\n";
  return result;
}

}  // namespace ebbwise
