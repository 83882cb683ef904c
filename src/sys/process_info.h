#pragma once

#include <memory>
#include <optional>

#include "sys/notification_source.h"
#include "sys/run_loop.h"

namespace ebbwise::sys {

// What the system tells a process about the machine it runs on.
class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;

  // How hard the system works to keep cool: 0 nominal, 1 fair, 2 serious
  // (it slows down), 3 critical. Nothing when the system does not say.
  virtual std::optional<int> thermalState() = 0;

  // Runs `callback` on `mainLoop` each time the thermal state changes, until
  // the returned source is destroyed. Nothing when it cannot be observed.
  virtual std::unique_ptr<NotificationSource> observeThermalState(RunLoop& mainLoop,
                                                                  Task callback) = 0;
};

// A platform that says nothing about itself.
class NoProcessInfo final : public ProcessInfo {
 public:
  std::optional<int> thermalState() override { return std::nullopt; }
  std::unique_ptr<NotificationSource> observeThermalState(RunLoop&, Task) override {
    return nullptr;
  }
  static NoProcessInfo& instance() {
    static NoProcessInfo none;
    return none;
  }
};

}  // namespace ebbwise::sys
