#include "cli/command_options.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "app/duration.h"
#include "base/terminal_text.h"
#include "sim/scenario_catalog.h"
#include "sys/duration_text.h"

namespace ebbwise {

namespace {

// The help's width, and where the options' explanations start.
constexpr std::size_t kWidth = 80;
constexpr std::size_t kIndent = 25;

constexpr std::array<std::string_view, 11> kOptions = {
    "--simulate",     "--report", "--json",  "--calibrate", "--help",           "--panel",
    "--render-panel", "--at",     "--speed", "--monitor",   "--install-service"};

// The most a live run may be sped up: a day in under ten seconds.
constexpr double kFastestSpeed = 10'000;

// Built by appending: GCC 12 warns falsely about "literal" + temporary
// string in optimised builds.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  out += TerminalText::printable(text);
  out += "\"";
  return out;
}

// Edits that turn `a` into `b`: a typo is one or two.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The option a mistyped or shortened one most likely meant, if any.
std::optional<std::string_view> meant(std::string_view typed) {
  std::string_view name = typed.substr(0, typed.find('='));
  for (std::string_view option : kOptions) {
    if (name.size() >= 3 && option.substr(0, name.size()) == name) return option;
  }
  for (std::string_view option : kOptions) {
    if (editDistance(name, option) <= 2) return option;
  }
  return std::nullopt;
}

std::string unknownOption(std::string_view typed) {
  std::string problem = "unknown option " + quoted(typed);
  if (auto option = meant(typed)) problem += " (did you mean " + std::string(*option) + "?)";
  return problem;
}

// Whether the argument after an option that may take a value is that value
// rather than the next option. A negative number is a value, so that the
// option itself can say what is wrong with it.
bool isValue(std::string_view next) {
  return !next.empty() &&
         (next.front() != '-' || (next.size() > 1 && next[1] >= '0' && next[1] <= '9'));
}

std::optional<std::string> durationProblem(std::string_view typed) {
  if (parseDuration(typed)) return std::nullopt;
  const std::string head = "--report: " + quoted(typed);
  if (std::optional<double> seconds = sys::DurationText::parse(typed)) {
    if (*seconds < 0) return head + " is negative";
    if (*seconds == 0) return head + " is no time at all";
    return head + " is longer than a year, the longest run";
  }
  return head + " is not a duration (for example 90, 30s, 15m, 1h30m, 1.5h, 1d or 2d12h)";
}

// What is wrong with the face's options, if anything: they must fit the
// job asked for and their values must be usable. Fills them in when right.
std::optional<std::string> faceProblem(CommandOptions& line, bool report,
                                       const std::optional<std::string>& at,
                                       const std::optional<std::string>& speed) {
  CommandOptions::Face& face = line.face;
  const bool live = line.report.simulate && !report && !face.renderPanel;
  if (face.renderPanel && report) return "--render-panel and --report are separate jobs: pick one";
  if (face.renderPanel && line.report.calibrate) return "--render-panel takes no --calibrate";
  if (at) {
    if (!face.renderPanel) return "--at only goes with --render-panel";
    std::optional<double> seconds = sys::DurationText::parse(*at);
    if (!seconds || !std::isfinite(*seconds)) {
      return "--at: " + quoted(*at) + " is not a duration (for example 12, 90s, 15m, 2h)";
    }
    if (*seconds < 0) return "--at: " + quoted(*at) + " is negative";
    if (*seconds > 366 * 86400.0) return "--at: " + quoted(*at) + " is longer than a year";
    face.at = *seconds;
  }
  if (speed) {
    if (!live) return "--speed only goes with a live run (--simulate without --report)";
    char* end = nullptr;
    const std::string text(*speed);
    double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0 ||
        value > kFastestSpeed) {
      return "--speed: " + quoted(*speed) + " is not a speed-up between 0 and 10000";
    }
    face.speed = value;
  }
  if (face.panel && !live) return "--panel only goes with a live run (--simulate without --report)";
  if (line.report.json && (live || face.renderPanel)) return "--json only goes with --report";
  return std::nullopt;
}

// `text` in lines of at most `width` columns, the first one continuing where
// the caller's line stands and the others indented by `indent` spaces.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
  std::string out;
  std::size_t column = indent;
  bool lineStart = true;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!lineStart && column + 1 + word.size() > width) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
      lineStart = true;
    }
    if (!lineStart) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineStart = false;
  }
  return out;
}

}  // namespace

CommandOptions::Parsed CommandOptions::parse(const std::vector<std::string_view>& arguments) {
  CommandOptions line;
  bool report = false;
  std::optional<std::string> duration;
  std::optional<std::string> at;
  std::optional<std::string> speed;
  std::optional<std::string> problem;
  auto refuse = [&](std::string text) {
    if (!problem) problem = std::move(text);
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      line.help = true;
      continue;
    }
    const std::size_t equals = argument.rfind("--", 0) == 0 ? argument.find('=') : argument.npos;
    const std::string_view name = argument.substr(0, equals);
    std::optional<std::string_view> inlineValue;
    if (equals != argument.npos) inlineValue = argument.substr(equals + 1);

    if (name == "--simulate" || name == "--report") {
      const bool simulate = name == "--simulate";
      if (simulate ? line.report.simulate : report) {
        refuse(std::string(name) + " is given twice");
        continue;
      }
      std::optional<std::string> value;
      if (inlineValue) {
        value = std::string(*inlineValue);
      } else if (i + 1 < arguments.size() && isValue(arguments[i + 1])) {
        value = std::string(arguments[++i]);
      }
      if (value && value->empty()) {
        refuse(std::string(name) + ": the " + (simulate ? "scenario" : "duration") + " is empty");
      }
      if (simulate) {
        line.report.simulate = true;
        line.report.scenario = value;
      } else {
        report = true;
        duration = value;
      }
    } else if (name == "--json" || name == "--calibrate") {
      if (inlineValue) refuse(std::string(name) + " takes no value");
      (name == "--json" ? line.report.json : line.report.calibrate) = true;
    } else if (name == "--render-panel" || name == "--at" || name == "--speed") {
      std::optional<std::string_view> value = inlineValue;
      if (!value && i + 1 < arguments.size() && isValue(arguments[i + 1])) value = arguments[++i];
      if (!value || value->empty()) {
        refuse(std::string(name) + (name == "--render-panel" ? " needs a PATH for the picture"
                                    : name == "--at"         ? " needs a DURATION"
                                                             : " needs a number"));
        continue;
      }
      if (name == "--render-panel") {
        line.face.renderPanel = std::string(*value);
      } else if (name == "--at") {
        at = std::string(*value);
      } else {
        speed = std::string(*value);
      }
    } else if (name == "--panel") {
      if (inlineValue) refuse("--panel takes no value");
      line.face.panel = true;
    } else if (name == "--monitor" || name == "--install-service") {
      if (inlineValue) refuse(std::string(name) + " takes no value");
      (name == "--monitor" ? line.monitor : line.installService) = true;
    } else if (argument.size() > 1 && argument.front() == '-') {
      refuse(unknownOption(argument));
    } else {
      std::string text = "unexpected argument " + quoted(argument);
      if (sim::ScenarioCatalog::isBuiltIn(argument)) {
        text +=
            " (a scenario goes right after --simulate: --simulate " + std::string(argument) + ")";
      }
      refuse(std::move(text));
    }
  }

  // Asked for help, the user gets it whatever else the line holds.
  if (line.help) return {std::move(line), {}};
  if (problem) return {std::nullopt, *problem};
  if (line.monitor || line.installService) {
    const char* job = line.monitor ? "--monitor" : "--install-service";
    if (line.monitor && line.installService) {
      return {std::nullopt, "--monitor and --install-service are separate jobs: give one"};
    }
    if (report || line.report.simulate || line.report.json || line.report.calibrate ||
        line.face.renderPanel || line.face.panel || at || speed) {
      return {std::nullopt, std::string(job) + " takes no other option (" +
                                (report                  ? "--report"
                                 : line.report.simulate  ? "--simulate"
                                 : line.report.json      ? "--json"
                                 : line.report.calibrate ? "--calibrate"
                                 : line.face.renderPanel ? "--render-panel"
                                 : line.face.panel       ? "--panel"
                                 : at                    ? "--at"
                                                         : "--speed") +
                                " was given)"};
    }
    return {std::move(line), {}};
  }
  if (auto wrong = faceProblem(line, report, at, speed)) return {std::nullopt, *wrong};
  if (line.face.renderPanel) {
    // The picture is always of the simulated Mac.
    line.report.simulate = true;
    return {std::move(line), {}};
  }
  if (!report && line.report.simulate) {
    line.live = true;
    return {std::move(line), {}};
  }
  if (!report) {
    return {std::nullopt,
            "nothing to do: add --report, as in \"ebbwise --simulate --report\" or "
            "\"ebbwise --report 10m\", or watch the simulated notch with \"ebbwise --simulate\""};
  }
  if (!duration) {
    if (!line.report.simulate) {
      return {std::nullopt,
              "--report needs a DURATION to watch this machine, as in \"--report 10m\" (only "
              "a simulation has a length of its own)"};
    }
  } else if (auto wrong = durationProblem(*duration)) {
    return {std::nullopt, *wrong};
  } else {
    line.report.seconds = parseDuration(*duration);
  }
  return {std::move(line), {}};
}

std::string CommandOptions::usageError(std::string_view problem) {
  return "ebbwise: " + TerminalText::printable(problem) +
         "\nRun \"ebbwise --help\" to see the options.\n";
}

std::string CommandOptions::helpText() {
  auto option = [&](std::string_view names, std::string_view text, std::size_t indent = kIndent) {
    std::string head = "  " + std::string(names);
    head.resize(std::max(head.size() + 2, indent), ' ');
    return head + wrapped(text, indent, kWidth) + "\n";
  };

  std::string text =
      "Usage: ebbwise --simulate [SCENARIO] --report [DURATION] [--json] [--calibrate]\n"
      "       ebbwise --report DURATION [--json] [--calibrate]\n"
      "       ebbwise --simulate [SCENARIO] [--speed N] [--panel] [--calibrate]\n"
      "       ebbwise --render-panel PATH [--simulate [SCENARIO]] [--at DURATION]\n"
      "       ebbwise --monitor | --install-service\n"
      "\n" +
      wrapped(
          "Ebbwise tells where a MacBook's battery goes. Every 5 seconds it samples the "
          "battery, the whole-system power, the chip's energy counters and every process; "
          "its report gives the energy per app since the charger was unplugged, the drain "
          "and the time left.",
          0, kWidth) +
      "\n\nOptions:\n";
  text += option("--simulate [SCENARIO]",
                 "Watch a simulated MacBook instead of this machine. SCENARIO is a built-in "
                 "scenario (below) or a scenario file (JSON, described in docs/scenarios.md); "
                 "without it \"default\" runs. Simulated time is virtual: a day passes in "
                 "seconds.");
  text += option("--report [DURATION]",
                 "Watch for DURATION, then print what happened: the apps with their energy and "
                 "share, the drain and the time left. DURATION is seconds or a number with "
                 "units: 90, 30s, 15m, 1h30m, 1.5h, 1d, 2d12h (at most a year). A simulation "
                 "runs for its scenario's own length unless told otherwise. On this machine, "
                 "what the history already holds of the last DURATION (kept by --monitor) is "
                 "reported at once; without history the run watches for DURATION. On a "
                 "terminal, standard error shows how far a long run has come.");
  text += option("--monitor",
                 "Watch this machine in the background until stopped (SIGTERM or Ctrl-C), "
                 "keeping the history, without windows. A machine without a battery has "
                 "nothing to watch: the command says so and exits with 1.");
  text += option("--install-service",
                 "Install --monitor as a systemd user service "
                 "($XDG_CONFIG_HOME/systemd/user/ebbwise.service, by default under "
                 "~/.config) and enable and start it with systemctl, or say how where "
                 "systemctl is missing. Running it again changes nothing.");
  text += option("--json",
                 "Print the report as one JSON object (its fields and units are described in "
                 "docs/report-json.md); in a simulation it carries the true figures beside "
                 "the measured ones.");
  text += option("--calibrate",
                 "First measure the screen, the keyboard light and the speakers (about a "
                 "minute), so that the report splits them out and says what was learned.");
  text += option("--speed N",
                 "Without --report, --simulate shows the notch display of the simulated Mac on "
                 "this X display in real time; --speed runs it N times faster (up to 10000). "
                 "Hovering over the notch opens its panel. Ctrl+C ends the run.");
  text += option("--panel",
                 "In a live run, also show the larger panel (the one of the menu-bar item) in "
                 "a window of its own.");
  text += option("--render-panel PATH",
                 "Write a picture of the open notch panel (PNG, 1120 x 1520 pixels) of the "
                 "simulated Mac to PATH and exit.");
  text += option("--at DURATION",
                 "With --render-panel: picture the panel after DURATION of simulated time "
                 "instead of 12 seconds.");
  text += option("-h, --help", "Show this help.");

  auto exitCode = [&](std::string_view code, std::string_view text) {
    return option(code, text, 5);
  };

  text += "\nBuilt-in scenarios (and how long each runs):\n";
  for (const sim::ScenarioCatalog::BuiltIn& scenario : sim::ScenarioCatalog::builtIns()) {
    text += option(scenario.name + " (" + sys::DurationText::format(scenario.duration) + ")",
                   scenario.description);
  }

  text += "\nHistory:\n  " +
          wrapped(
              "A run on this machine keeps its history in "
              "$EBBWISE_DATA_DIR/joulemark/history.sqlite, else in "
              "$XDG_DATA_HOME/joulemark/history.sqlite (by default "
              "~/.local/share/joulemark/history.sqlite). A simulation never touches it: each "
              "run writes a scratch history under $EBBWISE_DATA_DIR/simulator, else "
              "$XDG_CACHE_HOME/ebbwise/simulator (~/.cache/ebbwise/simulator), and removes "
              "it when it ends.",
              2, kWidth) +
          "\n\nExit status:\n";
  text += exitCode("0",
                   "The report was printed, the monitor was stopped, or the service is "
                   "installed.");
  text += exitCode("1",
                   "The run failed: this machine has no battery to read, the simulated Mac has "
                   "no notch to show the display around (a notchless MacBook, a desktop), "
                   "the report could not be written, or the service could not be installed "
                   "or started.");
  text += exitCode("2",
                   "The command line cannot be followed: an unknown option, a duration that is "
                   "not one, a scenario that cannot be found or read.");
  return text;
}

}  // namespace ebbwise
