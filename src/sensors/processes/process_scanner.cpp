#include "sensors/processes/process_scanner.h"

#include <algorithm>

#include "sensors/processes/dev_tools.h"
#include "base/path_text.h"
#include "sensors/processes/process_inspector.h"
#include "base/utf8.h"

namespace ebbwise::ProcessScanner {

namespace {

// A Mac runs a few thousand processes at most; a larger count is a garbled
// answer, and trusting it would mean an absurd allocation.
constexpr int maxProcessCount = 1 << 20;

// proc_pidpath writes into a buffer of this size.
constexpr std::size_t pathBufferSize = 4096;

constexpr std::string_view claudeAppPath = "/Applications/Claude.app";

AppIdentity bareIdentity(std::string name) {
  return AppIdentity{std::move(name), {}, false};
}

std::string pidName(sys::Pid pid) {
  return "pid " + std::to_string(pid);
}

}  // namespace

std::vector<sys::Pid> allPIDs(sys::Processes& processes) {
  const int count = processes.listAllPids(std::span<sys::Pid>{});
  if (count < 1) return {};
  // Twice the count leaves room for processes started between the two calls.
  const std::size_t room = 2 * static_cast<std::size_t>(std::min(count, maxProcessCount));
  std::vector<sys::Pid> pids(room, 0);
  const int listed = processes.listAllPids(pids);
  pids.resize(std::min(static_cast<std::size_t>(std::max(listed, 0)), room));
  std::erase_if(pids, [](sys::Pid pid) { return pid < 1; });
  return pids;
}

std::vector<ProcessSample> scan(sys::Processes& processes) {
  const std::vector<sys::Pid> pids = allPIDs(processes);
  std::vector<ProcessSample> samples;
  samples.reserve(pids.size());
  for (const sys::Pid pid : pids) {
    // A process that exited since the listing, or is not ours, has no reading.
    if (const auto usage = processes.rusage(pid)) {
      samples.push_back(ProcessSample{ProcessKey{pid, usage->procStartAbstime}, usage->energyNJ});
    }
  }
  return samples;
}

std::optional<std::string> path(sys::Processes& processes, sys::Pid pid) {
  const auto raw = processes.executablePath(pid);
  if (!raw) return std::nullopt;
  std::string_view bytes(*raw);
  bytes = bytes.substr(0, std::min(bytes.size(), pathBufferSize));
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.empty()) return std::nullopt;
  return Utf8::decode(bytes);
}

AppIdentity identity(sys::Processes& processes, sys::Environment& environment, sys::Pid pid) {
  if (pid == processes.ownPid()) {
    if (const auto own = path(processes, pid)) {
      if (auto identity = AppIdentity::fromPath(*own)) return *identity;
    }
  }

  const auto executable = path(processes, pid);
  if (!executable) return bareIdentity(pidName(pid));

  auto fromPath = AppIdentity::fromPath(*executable);
  if (!fromPath) {
    // An XPC service outside any app works for whichever app asked for it.
    const sys::Pid responsible = processes.responsiblePid(pid);
    if (responsible >= 1 && responsible != pid) {
      if (const auto owner = path(processes, responsible)) {
        if (auto identity = AppIdentity::fromPath(*owner)) return *identity;
      }
    }
    const auto name = PathText::lastComponent(*executable);
    return bareIdentity(name.empty() ? pidName(pid) : std::string(name));
  }

  const AppIdentity& byPath = *fromPath;
  const bool knownTool = DevTools::isRuntime(Utf8::asciiLowercase(byPath.name)) ||
                         DevTools::cliName(byPath.name).has_value();

  // An app's own processes keep the app's row unless they are a runtime or an
  // agent, or a coding agent started them; bare executables are always looked at.
  const auto commandLine = ProcessInspector::commandLine(processes, pid);
  if (!commandLine) return byPath;
  if (byPath.bundlePath && !knownTool && !ProcessInspector::startedByClaudeCode(*commandLine)) {
    return byPath;
  }

  const ProcessDetails details =
      ProcessInspector::details(processes, environment, pid, *commandLine);
  // A plain executable that nobody started from a terminal or editor keeps its name.
  if (!details.launcher && !knownTool && !details.claudeSession) return byPath;

  AppIdentity dev;
  dev.name = ProcessInspector::rowName(details);
  // Claude Code sessions borrow the desktop app's icon when it is installed.
  if (details.claudeSession && environment.fileExists(claudeAppPath)) {
    dev.bundlePath = std::string(claudeAppPath);
  } else {
    dev.bundlePath = byPath.bundlePath;
  }
  dev.isDevProcess = true;
  return dev;
}

}  // namespace ebbwise::ProcessScanner
