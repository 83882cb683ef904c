#include "linux/app_scope.h"

#include <algorithm>

namespace ebbwise::linux_host {

namespace {

bool isHex(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// Undoes the unit-name escaping ("\x2d" → "-").
std::string unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && isHex(s.substr(i + 2, 2))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Drops "-<random>" (a number or a hex id) from the end.
std::string_view withoutRandom(std::string_view s) {
  const auto dash = s.rfind('-');
  if (dash == std::string_view::npos || !isHex(s.substr(dash + 1))) return s;
  return s.substr(0, dash);
}

std::vector<std::string_view> split(std::string_view s, char by) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const auto at = s.find(by, start);
    parts.push_back(s.substr(start, at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

std::optional<AppScope> AppScope::fromUnit(std::string_view unit) {
  if (unit.starts_with("snap.") && unit.ends_with(".scope")) {
    auto name = withoutRandom(unit.substr(5, unit.size() - 5 - 6));
    const auto dot = name.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return std::nullopt;
    AppScope scope;
    scope.launcher = "snap";
    scope.appId = unescape(name.substr(0, dot)) + "_" + unescape(name.substr(dot + 1));
    scope.candidates = {scope.appId};
    return scope;
  }
  if (!unit.starts_with("app-")) return std::nullopt;
  std::string_view name = unit.substr(4);
  if (name.ends_with(".scope")) {
    name = withoutRandom(name.substr(0, name.size() - 6));
  } else if (name.ends_with(".service")) {
    name = name.substr(0, name.size() - 8);
    name = name.substr(0, name.find('@'));
  } else if (name.ends_with(".slice")) {
    name = name.substr(0, name.size() - 6);
  } else {
    return std::nullopt;
  }
  if (name.empty()) return std::nullopt;
  const auto parts = split(name, '-');
  if (std::any_of(parts.begin(), parts.end(), [](auto p) { return p.empty(); })) {
    return std::nullopt;
  }
  AppScope scope;
  if (parts.size() == 2) scope.launcher = unescape(parts[0]);
  // Every way to read unescaped dashes, the longest id first; the usual
  // reading (one launcher, then the id) is the one given when nothing better
  // is known.
  for (std::size_t first = 0; first < parts.size(); ++first) {
    std::string id;
    for (std::size_t i = first; i < parts.size(); ++i) {
      if (i > first) id += '-';
      id += unescape(parts[i]);
    }
    scope.candidates.push_back(id);
  }
  scope.appId = scope.candidates[parts.size() >= 2 ? 1 : 0];
  if (parts.size() > 2) scope.launcher = unescape(parts[0]);
  return scope;
}

std::optional<AppScope> AppScope::fromCgroup(std::string_view cgroupFile) {
  // cgroup v2's line is "0::/path"; with v1 the systemd hierarchy has the path.
  std::optional<std::string_view> path;
  for (auto line : split(cgroupFile, '\n')) {
    const auto parts = split(line, ':');
    if (parts.size() < 3) continue;
    const auto p = line.substr(parts[0].size() + parts[1].size() + 2);
    if (parts[0] == "0" && parts[1].empty()) {
      path = p;
      break;
    }
    if (parts[1] == "name=systemd") path = p;
  }
  if (!path) return std::nullopt;
  auto units = split(*path, '/');
  for (auto it = units.rbegin(); it != units.rend(); ++it) {
    if (auto scope = fromUnit(*it)) return scope;
  }
  return std::nullopt;
}

}  // namespace ebbwise::linux_host
