#include "linux/proc_stat.h"

#include <array>
#include <charconv>

namespace ebbwise::linux_host {

namespace {

// The next blank-separated field of `text`, consumed.
std::string_view nextField(std::string_view& text) {
  const auto start = text.find_first_not_of(" \n");
  if (start == std::string_view::npos) {
    text = {};
    return {};
  }
  text.remove_prefix(start);
  const auto end = text.find_first_of(" \n");
  const std::string_view field = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end);
  return field;
}

template <typename T>
std::optional<T> number(std::string_view field) {
  T value{};
  const auto [at, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc{} || at != field.data() + field.size() || field.empty()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<ProcStat> ProcStat::parse(std::string_view line) {
  // The command name ends at the last ")" of the line.
  const auto close = line.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(close + 1);
  // Fields 3 to 22 of the line; field 3 is the state.
  std::array<std::string_view, 20> f;
  for (std::string_view& field : f) {
    field = nextField(rest);
    if (field.empty()) return std::nullopt;
  }
  ProcStat s;
  if (f[0].size() != 1) return std::nullopt;
  s.state = f[0][0];
  const auto parent = number<std::int32_t>(f[1]);
  const auto terminal = number<std::int64_t>(f[4]);
  const auto flags = number<std::uint64_t>(f[6]);
  const auto user = number<std::uint64_t>(f[11]);
  const auto system = number<std::uint64_t>(f[12]);
  const auto start = number<std::uint64_t>(f[19]);
  if (!parent || !terminal || !flags || !user || !system || !start) return std::nullopt;
  s.parentPid = *parent;
  s.terminal = *terminal;
  s.flags = *flags;
  s.userTicks = *user;
  s.systemTicks = *system;
  s.startTicks = *start;
  return s;
}

std::optional<SystemStat> SystemStat::parse(std::string_view text) {
  SystemStat s;
  bool sawCpu = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view label = nextField(line);
    if (label == "cpu") {
      // user nice system idle iowait irq softirq steal; guest time is already in user.
      std::array<std::uint64_t, 8> v{};
      for (std::uint64_t& value : v) {
        const auto n = number<std::uint64_t>(nextField(line));
        if (!n) return std::nullopt;
        value = *n;
      }
      s.busyTicks = v[0] + v[1] + v[2] + v[5] + v[6] + v[7];
      sawCpu = true;
    } else if (label == "btime") {
      s.bootTime = number<std::int64_t>(nextField(line));
    }
  }
  if (!sawCpu) return std::nullopt;
  return s;
}

}  // namespace ebbwise::linux_host
