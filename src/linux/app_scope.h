#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise::linux_host {

// The app a desktop started a process for, as its control group names it:
// desktops start each app in a unit of its own under the user's manager,
// "app-[<launcher>-]<app id>-<random>.scope", "app-[<launcher>-]<app
// id>[@<random>].service" or "app-<app id>.slice", with dashes inside the
// id escaped ("\x2d"); Flatpak's launcher is "flatpak"; Snap's scopes are
// "snap.<snap>.<app>-<random>.scope", whose desktop entries are named
// "<snap>_<app>".
struct AppScope {
  std::string launcher;  // "gnome", "flatpak", "snap"…; empty when the unit names none
  // The app's id, normally its desktop entry's name without ".desktop".
  // When the unit's name is not escaped as it should be, the id is one of
  // `candidates`, longest first.
  std::string appId;
  std::vector<std::string> candidates;

  // The innermost app unit on the process's cgroup path (the contents of
  // /proc/PID/cgroup); nothing for a process outside any.
  static std::optional<AppScope> fromCgroup(std::string_view cgroupFile);
  // One unit name; nothing when it is no app's.
  static std::optional<AppScope> fromUnit(std::string_view unit);
};

}  // namespace ebbwise::linux_host
