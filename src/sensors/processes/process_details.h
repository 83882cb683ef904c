#pragma once

#include <optional>
#include <string>

#include "sys/date.h"
#include "sys/processes.h"

namespace ebbwise {

// What a developer-tool process is doing and what started it, for naming its
// row and for the row's caption and tooltip.
struct ProcessDetails {
  sys::Pid pid = 0;
  std::string command;                  // short command line, at most 70 characters
  std::optional<std::string> folder;    // working folder, the home folder written "~"
  std::optional<std::string> project;   // project name from the working folder
  std::optional<sys::Date> started;     // process start, whole seconds
  std::optional<std::string> launcher;  // "Terminal", "VS Code", "Claude Code in …", "a terminal"
  bool isOrphaned = false;              // re-parented to process 1 although something launched it
  std::optional<std::string> claudeSession;  // a Claude Code session's project, or "no project"

  friend bool operator==(const ProcessDetails&, const ProcessDetails&) = default;
};

}  // namespace ebbwise
