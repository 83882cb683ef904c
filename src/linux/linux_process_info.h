#pragma once

#include <memory>
#include <optional>
#include <string>

#include "linux/power_profiles.h"
#include "sys/observers.h"
#include "sys/process_info.h"
#include "sys/run_loop.h"

namespace ebbwise::linux_host {

// The machine's heat and Low Power Mode on Linux. The thermal state is the
// kernel's thermal zones judged against their trip points (see
// ThermalZones), read afresh on each call and polled every
// `kThermalPollSeconds` only while someone observes its changes. Low Power
// Mode is the power-profiles daemon's "power-saver" profile, followed over
// the system bus from the first time anyone asks (see PowerProfiles); off
// without a daemon. Changes are announced on the loop.
class LinuxProcessInfo final : public sys::ProcessInfo {
 public:
  LinuxProcessInfo(std::string sysRoot, sys::RunLoop& loop, PowerProfiles::Options profiles);
  ~LinuxProcessInfo() override;
  LinuxProcessInfo(const LinuxProcessInfo&) = delete;
  LinuxProcessInfo& operator=(const LinuxProcessInfo&) = delete;

  sys::ThermalState thermalState() override;
  bool isLowPowerModeEnabled() override;
  sys::ObserverID addObserver(sys::ProcessInfoNotification name,
                              std::function<void()> handler) override;
  void removeObserver(sys::ObserverID id) override;

  // The daemon, for switching Low Power Mode.
  PowerProfiles& powerProfiles() { return profiles_; }

  static constexpr double kThermalPollSeconds = 5;

 private:
  void updatePoll();
  void checkThermal();
  void powerStateChanged(bool lowPower);

  std::string root_;
  sys::RunLoop& loop_;
  sys::ObserverList<sys::ProcessInfoNotification> observers_;
  std::optional<sys::TaskID> poll_;
  sys::ThermalState thermal_ = sys::ThermalState::nominal;
  bool lowPower_ = false;  // as last announced
  // Work posted to the loop checks this is still alive.
  std::shared_ptr<LinuxProcessInfo*> self_;
  // Last, so that its thread stops before the rest goes.
  PowerProfiles profiles_;
};

}  // namespace ebbwise::linux_host
