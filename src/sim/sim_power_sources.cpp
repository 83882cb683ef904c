#include "sim/sim_power_sources.h"

#include <cmath>
#include <vector>

#include "sim/sim_battery.h"

namespace ebbwise::sim {

namespace {

using sys::Value;

constexpr std::int64_t kFirstSourceID = 4'390'912;
// A notification reaches its observers a moment after the change.
constexpr double kDeliveryDelay = 0.001;

std::int64_t minutesOrCalculating(const std::optional<double>& minutes) {
  if (!minutes || !std::isfinite(*minutes)) return -1;
  return std::llround(std::max(0.0, *minutes));
}

// What the notification watches: everything of the sources except the time
// estimates, which move on all the time.
Value watched(const MachineModel& model) {
  Value d = SimPowerSources::batteryDescription(model);
  d.erase("Time to Empty");
  d.erase("Time to Full Charge");
  return d;
}

}  // namespace

Value SimPowerSources::batteryDescription(const MachineModel& model) {
  const bool onAC = model.charger().has_value();
  Value d = {
      {"Type", "InternalBattery"},
      {"Name", "InternalBattery-0"},
      {"Transport Type", "Internal"},
      {"Power Source ID", kFirstSourceID + 99},
      {"Is Present", true},
      {"Power Source State", onAC ? "AC Power" : "Battery Power"},
      {"Current Capacity", shownPercent(model)},
      {"Max Capacity", 100},
      {"Is Charging", model.isCharging()},
      {"Time to Empty", onAC ? 0 : minutesOrCalculating(model.systemMinutesToEmpty())},
      {"Time to Full Charge", onAC ? minutesOrCalculating(model.systemMinutesToFull()) : 0},
      {"Battery Provides Time Remaining", true},
      {"BatteryHealth", "Good"},
      {"Hardware Serial Number", "F8Y2431HC9Q1WVKA3"},
      {"LPM Active", false},
      // A number, where most flags of the description are booleans.
      {"Optimized Battery Charging Engaged", model.chargeHeld() ? 1 : 0},
  };
  if (model.fullyCharged()) d["Is Charged"] = true;
  if (onAC) d["Is Finishing Charge"] = model.finishingCharge();
  return d;
}

std::optional<sys::PowerSourcesBlob> SimPowerSources::copyInfo() {
  auto lock = model_.sync();
  Value sources = Value::array();
  std::int64_t id = kFirstSourceID;
  for (const BluetoothDevice& device : model_.scenario().machine.bluetooth) {
    if (!device.connected || !device.main) continue;
    sources.push_back({{"Type", "Accessory Source"},
                       {"Name", device.name},
                       {"Transport Type", "Bluetooth"},
                       {"Power Source ID", id++},
                       {"Is Present", true},
                       {"Power Source State", "Battery Power"},
                       {"Current Capacity", *device.main},
                       {"Max Capacity", 100},
                       {"Is Charging", false}});
  }
  sources.push_back(batteryDescription(model_));
  return sys::PowerSourcesBlob{Value{{"sources", std::move(sources)}}};
}

std::optional<std::vector<sys::PowerSourceRef>> SimPowerSources::copyList(
    const sys::PowerSourcesBlob& blob) {
  const Value* sources = sys::asList(sys::member(blob.contents, "sources"));
  if (!sources) return std::nullopt;
  std::vector<sys::PowerSourceRef> out;
  for (std::size_t i = 0; i < sources->size(); ++i) out.push_back(i + 1);
  return out;
}

std::optional<Value> SimPowerSources::description(const sys::PowerSourcesBlob& blob,
                                                  sys::PowerSourceRef source) {
  const Value* sources = sys::asList(sys::member(blob.contents, "sources"));
  if (!sources || source == 0 || source > sources->size()) return std::nullopt;
  return (*sources)[source - 1];
}

// Checks the sources when the charger may have come or gone and at every
// gauge report, and calls back when what it watches changed.
class SimPowerSources::Watch final : public sys::NotificationSource {
 public:
  Watch(MachineModel& model, sys::RunLoop& loop, sys::Task callback)
      : model_(model), loop_(loop), callback_(std::move(callback)) {
    auto lock = model_.sync();
    last_ = watched(model_);
    const double now = model_.time();
    for (const Event& e : model_.scenario().events) {
      if ((e.type == EventType::plug || e.type == EventType::unplug) && e.at >= now) {
        timers_.push_back(loop_.scheduleAfter(e.at - now + kDeliveryDelay, [this] { check(); }));
      }
    }
    timers_.push_back(loop_.scheduleRepeating(MachineModel::kGaugeSeconds, 0, [this] { check(); }));
  }
  ~Watch() override {
    for (sys::TaskID id : timers_) loop_.cancel(id);
  }

 private:
  void check() {
    {
      auto lock = model_.sync();
      Value now = watched(model_);
      if (now == last_) return;
      last_ = std::move(now);
    }
    callback_();
  }

  MachineModel& model_;
  sys::RunLoop& loop_;
  sys::Task callback_;
  Value last_;
  std::vector<sys::TaskID> timers_;
};

std::unique_ptr<sys::NotificationSource> SimPowerSources::createRunLoopSource(
    sys::RunLoop& mainLoop, sys::Task callback) {
  if (!callback) return nullptr;
  return std::make_unique<Watch>(model_, mainLoop, std::move(callback));
}

}  // namespace ebbwise::sim
