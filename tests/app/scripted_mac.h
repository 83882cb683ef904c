#pragma once

// A Mac reduced to a battery whose figures the test sets, a settings store
// and a virtual main loop; every other service is absent.

#include "../support/stub_environment.h"
#include "sys/in_memory_registry.h"
#include "sys/in_memory_user_defaults.h"
#include "sys/null_platform.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::test {

class ScriptedMac {
 public:
  ScriptedMac() : null_(loop.clock(), loop, environment) {}

  // The battery entry: percent of 5000 mAh at 12.5 V, `watts` signed.
  void setBattery(double percent, double watts, bool onAC, bool charging = false) {
    sys::Value properties{{"BatteryInstalled", true},
                          {"CurrentCapacity", percent},
                          {"MaxCapacity", 100},
                          {"AppleRawCurrentCapacity", percent * 50},
                          {"AppleRawMaxCapacity", 5000},
                          {"Voltage", 12500},
                          {"Amperage", static_cast<std::int64_t>(watts / 12.5 * 1000)},
                          {"ExternalConnected", onAC},
                          {"IsCharging", charging}};
    if (battery_) {
      registry.setProperties(*battery_, std::move(properties));
    } else {
      battery_ = registry.add("AppleSmartBattery", std::move(properties));
    }
  }
  void removeBattery() {
    if (battery_) registry.remove(*battery_);
    battery_.reset();
  }

  sys::Platform platform() {
    sys::Platform p = null_.platform();
    return sys::Platform{.clock = p.clock,
                         .runLoop = p.runLoop,
                         .environment = p.environment,
                         .registry = registry,
                         .processes = p.processes,
                         .smc = p.smc,
                         .ioReport = p.ioReport,
                         .displays = p.displays,
                         .displayServices = p.displayServices,
                         .coreBrightness = p.coreBrightness,
                         .audio = p.audio,
                         .toolRunner = p.toolRunner,
                         .userDefaults = defaults};
  }

  sys::VirtualRunLoop loop;
  StubEnvironment environment;
  sys::InMemoryRegistry registry;
  sys::InMemoryUserDefaults defaults;

 private:
  sys::NullPlatform null_;
  std::optional<sys::RegistryEntry> battery_;
};

}  // namespace ebbwise::test
