#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/report_command.h"

namespace ebbwise {

// The command's options, what they ask for, and how the command answers a
// command line it cannot follow.
struct CommandOptions {
  // Exit codes: the command line cannot be followed, or the run failed.
  static constexpr int kUsageError = 2;
  static constexpr int kFailure = 1;

  bool help = false;  // show the help and do nothing else
  ReportOptions report;
  // The background jobs, each alone on the command line: run the monitor
  // until told to stop, or install it as a user service.
  bool monitor = false;
  bool installService = false;

  // The face: the live notch display on the simulated Mac (`--simulate`
  // without `--report`), or a picture of the open panel.
  struct Face {
    std::optional<std::string> renderPanel;  // write the panel's picture here and exit
    double at = 12;                          // simulated seconds before the picture
    double speed = 1;                        // live: simulated seconds per real second
    bool panel = false;                      // live: also the larger panel in a window
  };
  bool live = false;
  Face face;

  struct Parsed;
  // Reads the arguments after the program's name. Never throws.
  static Parsed parse(const std::vector<std::string_view>& arguments);

  // What `--help` prints: the options, the built-in scenarios, where the
  // history goes and the exit codes.
  static std::string helpText();

  // The lines that refuse a command line: "ebbwise: " + `problem`, and where
  // to look for the options. `problem` is made printable here.
  static std::string usageError(std::string_view problem);
};

// What the user asked for, or the problem to refuse it with (for
// `usageError`).
struct CommandOptions::Parsed {
  std::optional<CommandOptions> line;
  std::string problem;

  explicit operator bool() const { return line.has_value(); }
};

}  // namespace ebbwise
