#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sensors/processes/command_line.h"
#include "sensors/processes/process_details.h"
#include "sys/environment.h"
#include "sys/processes.h"

namespace ebbwise {

// Reads a process's arguments, selected environment variables, working folder
// and parent chain, and turns them into the names shown for developer tools
// and scripts. No state of its own.
namespace ProcessInspector {

// The process's arguments and kept environment variables; nothing when its
// argument area cannot be read (another user's process, a zombie).
std::optional<CommandLine> commandLine(sys::Processes& processes, sys::Pid pid);

// The process's current directory; nothing when unreadable, empty or "/".
std::optional<std::string> workingFolder(sys::Processes& processes, sys::Pid pid);

// Everything known about the process; nothing only when its arguments cannot
// be read. The home folder comes from `environment`.
std::optional<ProcessDetails> details(sys::Processes& processes, sys::Environment& environment,
                                      sys::Pid pid);
// The same from a command line the caller has already read.
ProcessDetails details(sys::Processes& processes, sys::Environment& environment, sys::Pid pid,
                       const CommandLine& commandLine);

// What started a process with this environment: its host application, a
// Claude Code text, or nothing.
std::optional<std::string> launcherName(const CommandLine::Variables& environment);

// The host application from its bundle identifier, its terminal's
// "TERM_PROGRAM" value and whether Cursor's trace variable is set.
std::optional<std::string> hostName(std::optional<std::string_view> bundleID,
                                    std::optional<std::string_view> termProgram, bool cursor);

// The command line as a short text: the program's name, paths shortened, at
// most `maxLength` characters (Unicode scalar values), cut with "…".
std::string shortCommand(std::span<const std::string> arguments,
                         std::optional<std::string_view> cwd, std::size_t maxLength = 70);

// `path` with the home folder written "~"; unchanged without a home folder.
std::string displayPath(std::string_view path, std::optional<std::string_view> home);

// The project a working folder stands for: its last component, but nothing
// for temporary folders and the home folder itself.
std::optional<std::string> projectName(std::string_view folder,
                                       std::optional<std::string_view> home);

// The working folder of the nearest "claude" process among `pid` and its
// ancestors (at most 16 steps up).
std::optional<std::string> claudeSessionFolder(sys::Processes& processes, sys::Pid pid);

// Whether the process's executable is named "claude".
bool isClaudeCLI(sys::Processes& processes, sys::Pid pid);

// Whether Claude Code started the process (its "CLAUDECODE" is "1"); false
// when the command line cannot be read.
bool startedByClaudeCode(sys::Processes& processes, sys::Pid pid);
bool startedByClaudeCode(const CommandLine& commandLine);

// The row name of a developer-tool process: "Claude Code (session)",
// "Project · command" or the command.
std::string rowName(const ProcessDetails& details);

struct RowNameParts {
  std::string title;
  std::optional<std::string> command;

  friend bool operator==(const RowNameParts&, const RowNameParts&) = default;
};

// A row name split at its first " · " into title and command.
RowNameParts splitRowName(std::string_view name);

}  // namespace ProcessInspector

}  // namespace ebbwise
