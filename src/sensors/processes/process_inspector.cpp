#include "sensors/processes/process_inspector.h"

#include <algorithm>
#include <array>
#include <vector>

#include "sensors/processes/dev_tools.h"
#include "base/path_text.h"
#include "sensors/processes/process_scanner.h"
#include "base/utf8.h"

namespace ebbwise::ProcessInspector {

namespace {

// The kernel's argument area is limited to about a megabyte; a size far past
// that is a garbled answer and must not turn into a huge allocation.
constexpr std::size_t maxArgumentAreaSize = 16u << 20;

// The current directory's path field in the vnode path record holds this many bytes.
constexpr std::size_t maxDirectoryPathSize = 1024;

// Walking up the parent chain stops here, whatever the chain looks like.
constexpr int maxAncestorSteps = 16;

constexpr std::string_view separator = " \u00B7 ";
constexpr std::string_view ellipsis = "\u2026";
constexpr std::string_view claudeCode = "Claude Code";

constexpr std::array<std::string_view, 3> temporaryFolders = {"/private/tmp", "/tmp",
                                                              "/private/var/folders"};

std::optional<std::string_view> lookup(const CommandLine::Variables& variables,
                                       std::string_view key) {
  const auto it = variables.find(key);
  if (it == variables.end()) return std::nullopt;
  return it->second;
}

// The home folder without trailing slashes; nothing when unknown or when it
// would be the file-system root, under which every path would count as home.
std::optional<std::string_view> normalizedHome(std::optional<std::string_view> home) {
  if (!home) return std::nullopt;
  std::string_view folder = *home;
  while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  if (folder.empty()) return std::nullopt;
  return folder;
}

// The last component of a path-like argument, or the argument itself when it
// has none (such as "/").
std::string_view fileNameOr(std::string_view argument) {
  const auto name = PathText::lastComponent(argument);
  return name.empty() ? argument : name;
}

std::string truncated(std::string text, std::size_t maxLength) {
  if (Utf8::length(text) <= maxLength) return text;
  if (maxLength == 0) return {};
  std::string cut(Utf8::prefix(text, maxLength - 1));
  cut += ellipsis;
  return cut;
}

bool hasTerminal(const sys::BSDInfo& info) {
  return info.terminalDevice != 0 && info.terminalDevice != 0xFFFFFFFFu;
}

}  // namespace

std::optional<CommandLine> commandLine(sys::Processes& processes, sys::Pid pid) {
  const auto size = processes.procArgsSize(pid);
  if (!size || *size < 1 || *size > maxArgumentAreaSize) return std::nullopt;
  std::vector<std::uint8_t> buffer(*size, 0);
  const auto written = processes.procArgs(pid, buffer);
  if (!written) return std::nullopt;
  return CommandLine::parse(
      std::span<const std::uint8_t>(buffer).first(std::min(*written, buffer.size())));
}

std::optional<std::string> workingFolder(sys::Processes& processes, sys::Pid pid) {
  const auto raw = processes.currentDirectory(pid);
  if (!raw) return std::nullopt;
  std::string_view bytes(*raw);
  bytes = bytes.substr(0, std::min(bytes.size(), maxDirectoryPathSize));
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.empty() || bytes == "/") return std::nullopt;
  return Utf8::decode(bytes);
}

std::optional<ProcessDetails> details(sys::Processes& processes, sys::Environment& environment,
                                      sys::Pid pid) {
  const auto arguments = commandLine(processes, pid);
  if (!arguments) return std::nullopt;
  return details(processes, environment, pid, *arguments);
}

ProcessDetails details(sys::Processes& processes, sys::Environment& environment, sys::Pid pid,
                       const CommandLine& commandLine) {
  const auto info = processes.bsdInfo(pid);
  const auto cwd = workingFolder(processes, pid);
  const auto homeDirectory = environment.homeDirectory();
  const std::optional<std::string_view> home = homeDirectory;

  ProcessDetails result;
  result.pid = pid;
  result.launcher = launcherName(commandLine.environment);
  if (!result.launcher && info && hasTerminal(*info)) result.launcher = "a terminal";
  const bool isClaude = startedByClaudeCode(commandLine) || isClaudeCLI(processes, pid);
  result.command = shortCommand(commandLine.arguments, cwd);
  if (cwd) {
    result.folder = displayPath(*cwd, home);
    result.project = projectName(*cwd, home);
  }
  if (info) result.started = sys::Date{static_cast<double>(info->startSeconds)};
  result.isOrphaned = info && info->parentPid == 1 && result.launcher.has_value();
  if (isClaude) {
    // Tools that Claude Code runs sit in its session's folder or below, so the
    // session's own folder names the project best.
    auto folder = claudeSessionFolder(processes, pid);
    if (!folder) folder = cwd;
    const auto project = folder ? projectName(*folder, home) : std::nullopt;
    result.claudeSession = project ? Utf8::capitalizeFirst(*project) : "no project";
  }
  return result;
}

std::optional<std::string> launcherName(const CommandLine::Variables& environment) {
  const auto host =
      hostName(lookup(environment, "__CFBundleIdentifier"), lookup(environment, "TERM_PROGRAM"),
               lookup(environment, "CURSOR_TRACE_ID").has_value());
  if (lookup(environment, "CLAUDECODE") != "1") return host;
  if (lookup(environment, "CLAUDE_CODE_ENTRYPOINT") == "claude-desktop") {
    return std::string(claudeCode) + " (desktop app)";
  }
  if (host) return std::string(claudeCode) + " in " + *host;
  return std::string(claudeCode);
}

std::optional<std::string> hostName(std::optional<std::string_view> bundleID,
                                    std::optional<std::string_view> termProgram, bool cursor) {
  // Cursor's terminals inherit VS Code's identifiers, so its own variable decides.
  if (cursor) return "Cursor";
  if (bundleID) {
    if (const auto host = DevTools::lookup(DevTools::hostsByBundleID, *bundleID)) {
      return std::string(*host);
    }
  }
  // An empty value names nothing.
  if (!termProgram || termProgram->empty()) return std::nullopt;
  if (const auto host = DevTools::lookup(DevTools::hostsByTermProgram, *termProgram)) {
    return std::string(*host);
  }
  return std::string(*termProgram);
}

std::string shortCommand(std::span<const std::string> arguments,
                         std::optional<std::string_view> cwd, std::size_t maxLength) {
  if (arguments.empty()) return "?";
  std::string name(fileNameOr(arguments.front()));
  if (name == "Python" || name.starts_with("python3")) name = "python";

  std::string folderPrefix;
  if (cwd) {
    std::string_view folder = *cwd;
    while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    if (!folder.empty()) folderPrefix = std::string(folder) + "/";
  }
  std::vector<std::string_view> rest;
  rest.reserve(arguments.size() - 1);
  for (std::string_view argument : arguments.subspan(1)) {
    if (!argument.starts_with('/')) {
      rest.push_back(argument);
    } else if (!folderPrefix.empty() && argument.starts_with(folderPrefix)) {
      rest.push_back(argument.substr(folderPrefix.size()));  // relative to the working folder
    } else {
      rest.push_back(fileNameOr(argument));
    }
  }

  if (const auto cli = DevTools::cliName(name)) return std::string(*cli);
  if ((rest.size() == 1 && rest.front() == "-") || (rest.empty() && name == "python")) {
    return truncated(name + " (script piped in)", maxLength);
  }

  std::string joined = name;
  for (auto argument : rest) {
    joined += ' ';
    joined += argument;
  }
  std::string command;
  for (auto piece : Utf8::splitWhitespace(joined)) {
    if (!command.empty()) command += ' ';
    command += piece;
  }
  if (command.empty()) return "?";
  return truncated(std::move(command), maxLength);
}

std::string displayPath(std::string_view path, std::optional<std::string_view> home) {
  const auto folder = normalizedHome(home);
  if (!folder || !PathText::isWithin(path, *folder)) return std::string(path);
  std::string shown = "~";
  shown.append(path.substr(folder->size()));
  return shown;
}

std::optional<std::string> projectName(std::string_view folder,
                                       std::optional<std::string_view> home) {
  for (auto temporary : temporaryFolders) {
    if (PathText::isWithin(folder, temporary)) return std::nullopt;
  }
  std::string_view trimmed = folder;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  if (const auto homeFolder = normalizedHome(home); homeFolder && trimmed == *homeFolder) {
    return std::nullopt;
  }
  const auto name = PathText::lastComponent(folder);
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> claudeSessionFolder(sys::Processes& processes, sys::Pid pid) {
  sys::Pid current = pid;
  for (int step = 0; step < maxAncestorSteps; ++step) {
    if (isClaudeCLI(processes, current)) return workingFolder(processes, current);
    const auto info = processes.bsdInfo(current);
    if (!info || info->parentPid < 2 || info->parentPid == current) return std::nullopt;
    current = info->parentPid;
  }
  return std::nullopt;
}

bool isClaudeCLI(sys::Processes& processes, sys::Pid pid) {
  const auto executable = ProcessScanner::path(processes, pid);
  return executable && PathText::lastComponent(*executable) == "claude";
}

bool startedByClaudeCode(sys::Processes& processes, sys::Pid pid) {
  const auto arguments = commandLine(processes, pid);
  return arguments && startedByClaudeCode(*arguments);
}

bool startedByClaudeCode(const CommandLine& commandLine) {
  return commandLine.variable("CLAUDECODE") == "1";
}

std::string rowName(const ProcessDetails& details) {
  if (details.claudeSession) return std::string(claudeCode) + " (" + *details.claudeSession + ")";
  if (details.project) {
    return Utf8::capitalizeFirst(*details.project) + std::string(separator) + details.command;
  }
  return details.command;
}

RowNameParts splitRowName(std::string_view name) {
  const auto at = name.find(separator);
  if (at == std::string_view::npos) return RowNameParts{std::string(name), std::nullopt};
  return RowNameParts{std::string(name.substr(0, at)),
                      std::string(name.substr(at + separator.size()))};
}

}  // namespace ebbwise::ProcessInspector
