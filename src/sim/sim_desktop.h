#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/machine_model.h"
#include "sys/displays.h"
#include "sys/screens.h"
#include "sys/value.h"
#include "sys/workspace.h"

namespace ebbwise::sim {

// An application of the machine: a process whose executable is the main
// program of an application bundle.
struct SimApp {
  int process = -1;  // index into the process table
  std::string bundlePath;
  std::string name;  // its localized name
  std::optional<std::string> bundleId;
  std::optional<std::uint32_t> iconColor;  // its icon's main colour, when the scenario gives one
  // Shows windows and comes to the front; agents such as the Dock do not.
  bool regular = true;
};

// A screen as the window system lays it out.
struct SimScreen {
  sys::DisplayID display = 0;
  sys::ScreenInfo info;
  double menuBarHeight = 0;  // 0 on a screen without a menu bar of its own
};

// The desktop of the machine's user: which applications run, which one is
// in front, which fills its screen, where the screens are and what windows
// they show. All of it follows from the scenario's timeline and the process
// table (a killed application is gone at once), so every answer depends only
// on the instant asked about.
//
// The applications that ran before the scenario come to the front in table
// order (Finder first), so the last of them is in front at the start; an
// application that starts later comes to the front as it starts, as do those
// an "activate" or "fullscreen" event names. When the one in front ends, the
// one in front before it takes its place. A fullscreen application in a
// space of its own shows that space on the main screen while it is in front.
//
// Every member reads the model at its current instant: the caller holds the
// model's lock.
class SimDesktop {
 public:
  explicit SimDesktop(const MachineModel& model);

  enum class Fullscreen { none, window, space };

  const std::vector<SimApp>& apps() const { return apps_; }
  // Seconds from the start at which the applications, the front one or the
  // spaces may change, in order.
  const std::vector<double>& appChangeTimes() const { return appTimes_; }
  // The same for the screens (lid and display events).
  const std::vector<double>& screenChangeTimes() const { return screenTimes_; }

  bool alive(int app) const;
  // Live applications, in table order.
  std::vector<int> liveApps() const;
  // The application in front; -1 when none is.
  int frontmost() const;
  Fullscreen fullscreen(int app) const;
  sys::RunningApplication running(int app) const;

  // The screens, the main one (with the menu bar) first.
  std::vector<SimScreen> screens() const;
  // The current space of each screen, in the order of `screens()`.
  std::vector<int> currentSpaces() const;

  // Every window, front to back, as the window list describes them, with
  // "kCGWindowIsOnscreen" where they show. Valid until the next call.
  const sys::Value& windows() const;
  sys::Value managedDisplaySpaces() const;

  static std::string displayUUID(sys::DisplayID display);

 private:
  struct Activation {
    double t;
    int app;
  };
  struct FullscreenChange {
    double t;
    int app;
    bool on;
    bool space;
  };

  int appOfProcess(const std::string& id) const;
  int spaceOf(int screenIndex, int front) const;
  int liveAppWith(std::string_view bundleId) const;
  sys::Value buildWindows() const;
  sys::Value buildSpaces() const;

  // What the lists depend on: the timeline's changes passed so far and the
  // applications alive (a signal ends one outside the timeline).
  struct Epoch {
    std::size_t appChanges = 0, screenChanges = 0;
    std::vector<int> live;
    friend bool operator==(const Epoch&, const Epoch&) = default;
  };
  Epoch epoch() const;

  const MachineModel& model_;
  std::vector<SimApp> apps_;
  std::vector<Activation> activations_;
  std::vector<FullscreenChange> fullscreens_;
  std::vector<double> appTimes_, screenTimes_;
  int windowServer_ = -1;  // the window server's process
  // The lists as last built, asked for twice a second and changing rarely.
  mutable std::optional<Epoch> windowsEpoch_, spacesEpoch_;
  mutable sys::Value windows_, spaces_;
};

}  // namespace ebbwise::sim
