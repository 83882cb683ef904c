#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/monitor.h"
#include "sys/date.h"
#include "sys/value.h"

namespace ebbwise {

// How a run went, as the monitor published it tick by tick: plugs and
// unplugs with the battery's percent, sleeps, the charge flow turning to
// draining on a charger that cannot keep up, heat, smart charging and the
// apps starting and stopping to play sound; and each stretch on battery
// with its start and end. It only watches what the monitor publishes.
class DayLog {
 public:
  // Kinds of entry, as the JSON names them.
  static constexpr const char* kStart = "start";
  static constexpr const char* kUnplugged = "unplugged";
  static constexpr const char* kPluggedIn = "pluggedIn";
  static constexpr const char* kAsleep = "asleep";
  static constexpr const char* kChargeFlow = "chargeFlow";
  static constexpr const char* kHeat = "heat";
  static constexpr const char* kSmartCharging = "smartCharging";
  static constexpr const char* kPlaying = "playing";
  // Heavy-app alerts and Low Power Mode switches, as the monitor publishes
  // them.
  static constexpr const char* kAlert = "alert";
  static constexpr const char* kLowPowerMode = "lowPowerMode";

  // A run of days of bursty audio would fill the memory with entries no one
  // reads; past this many the log only counts what it leaves out.
  static constexpr std::size_t kMaxEvents = 400;
  // Ticks further apart than this mean the Mac slept (or the monitor did
  // not run) in between.
  static constexpr double kSleepGap = 15;
  // A charge flow near the line between holding and charging flickers from
  // tick to tick; a new state is logged once it has lasted this long.
  static constexpr double kSteadyFlow = 60;

  struct Event {
    sys::Date at;
    std::string kind;
    std::string text;  // for people: "Unplugged at 97 %"
    std::optional<double> percent;
  };
  struct Stretch {
    sys::Date start;
    double startPercent = 0;
    std::optional<sys::Date> end;  // absent while still on battery
    std::optional<double> endPercent;
  };

  // Takes in the monitor's state after a tick that published.
  void observe(const Monitor& monitor);

  // The first tick seen: the start of the run.
  std::optional<sys::Date> firstAt() const { return firstAt_; }
  const std::vector<Event>& events() const { return events_; }
  std::size_t eventsLeftOut() const { return leftOut_; }
  // Every stretch on battery seen, oldest first; the last one may be open.
  const std::vector<Stretch>& stretches() const { return stretches_; }

  // Whether a run of `seconds` from `start` sees more than one day (UTC), so
  // that its times need their dates.
  static bool spansDays(std::optional<sys::Date> start, double seconds);
  // "08:30:05" within a day, "Nov 12 08:30" with `dated` (UTC).
  static std::string clock(sys::Date at, bool dated);
  // "2024-11-12 08:30 UTC".
  static std::string dateAndTime(sys::Date at);

 private:
  void add(sys::Date at, const char* kind, std::string text, std::optional<double> percent);

  std::vector<Event> events_;
  std::size_t leftOut_ = 0;
  std::vector<Stretch> stretches_;
  std::optional<sys::Date> firstAt_;
  std::optional<sys::Date> lastAt_;
  std::optional<bool> onAC_;
  std::optional<ChargeFlow::State> flowState_;  // as last logged
  std::optional<ChargeFlow::State> newFlow_;    // seen since `newFlowSince_`
  sys::Date newFlowSince_;
  int thermalState_ = 0;
  std::set<std::string> heat_;
  std::optional<std::string> smartCharging_;
  std::set<std::string> playing_;
  std::optional<sys::Date> lowPowerSeen_;  // the last Low Power Mode switch logged
  std::size_t alertsSeen_ = 0;             // of the monitor's raised alerts
};

}  // namespace ebbwise
