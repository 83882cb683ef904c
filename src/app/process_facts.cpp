#include "app/process_facts.h"

#include <cmath>
#include <vector>

#include "sensors/processes/process_inspector.h"

namespace ebbwise {

namespace {

constexpr const char* kSeparator = " \u00B7 ";

}  // namespace

std::optional<ProcessDetails> ProcessFacts::details(sys::Processes& processes,
                                                    sys::Environment& environment, sys::Pid pid) {
  if (auto found = cache.find(pid); found != cache.end()) return found->second;
  std::optional<ProcessDetails> fetched = ProcessInspector::details(processes, environment, pid);
  if (fetched) cache.emplace(pid, *fetched);
  return fetched;
}

std::string ProcessFacts::relativeTime(sys::Date at, sys::Date now) {
  const double seconds = now - at;
  if (!std::isfinite(seconds)) return "now";
  const double size = std::abs(seconds);
  struct Unit {
    const char* name;
    double seconds;
  };
  static constexpr Unit kUnits[] = {
      {"year", 365 * 86400.0}, {"month", 30 * 86400.0}, {"week", 7 * 86400.0}, {"day", 86400.0},
      {"hour", 3600.0},        {"minute", 60.0},        {"second", 1.0}};
  for (const Unit& unit : kUnits) {
    if (size < unit.seconds) continue;
    const auto count = static_cast<long long>(std::floor(size / unit.seconds));
    std::string amount = std::to_string(count) + " " + unit.name + (count == 1 ? "" : "s");
    return seconds > 0 ? amount + " ago" : "in " + amount;
  }
  return "now";
}

std::string ProcessFacts::facts(const ProcessDetails& details,
                                const std::optional<std::string>& command, sys::Date now) {
  std::vector<std::string> parts;
  const std::string& shown = command ? *command : details.command;
  if (!shown.empty()) parts.push_back(shown);
  if (details.launcher) parts.push_back("started by " + *details.launcher);
  if (details.started) parts.push_back(relativeTime(*details.started, now));
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += kSeparator;
    text += part;
  }
  return text;
}

}  // namespace ebbwise
