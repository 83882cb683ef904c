#pragma once

#include <functional>

#include "sys/observers.h"

namespace ebbwise::sys {

// NSProcessInfoThermalState: how hard the system is working to keep cool.
enum class ThermalState { nominal = 0, fair = 1, serious = 2, critical = 3 };

// The process-information notifications the system observes.
enum class ProcessInfoNotification {
  thermalStateDidChange,  // NSProcessInfoThermalStateDidChangeNotification
  powerStateDidChange,    // NSProcessInfoPowerStateDidChangeNotification (Low Power Mode)
};

// NSProcessInfo's view of the machine's state. Notifications arrive on the
// main run loop, after the state they announce can be read.
class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;

  virtual ThermalState thermalState() = 0;
  // isLowPowerModeEnabled: whether Low Power Mode is in effect now.
  virtual bool isLowPowerModeEnabled() = 0;

  virtual ObserverID addObserver(ProcessInfoNotification name, std::function<void()> handler) = 0;
  // Unknown ids are ignored.
  virtual void removeObserver(ObserverID id) = 0;
};

// A system that never reports heat or Low Power Mode.
class NoProcessInfo final : public ProcessInfo {
 public:
  ThermalState thermalState() override { return ThermalState::nominal; }
  bool isLowPowerModeEnabled() override { return false; }
  ObserverID addObserver(ProcessInfoNotification, std::function<void()>) override {
    return ++last_;
  }
  void removeObserver(ObserverID) override {}

  static NoProcessInfo& instance() {
    static NoProcessInfo none;
    return none;
  }

 private:
  ObserverID last_ = 0;
};

}  // namespace ebbwise::sys
