#include "linux/linux_process_info.h"

#include "linux/thermal_zones.h"

namespace ebbwise::linux_host {

LinuxProcessInfo::LinuxProcessInfo(std::string sysRoot, sys::RunLoop& loop,
                                   PowerProfiles::Options profiles)
    : root_(std::move(sysRoot)),
      loop_(loop),
      self_(std::make_shared<LinuxProcessInfo*>(this)),
      profiles_(std::move(profiles),
                [&loop, alive = std::weak_ptr<LinuxProcessInfo*>(self_)](
                    const std::optional<std::string>& profile) {
                  loop.post([alive, lowPower = profile == PowerProfiles::kPowerSaver] {
                    if (auto self = alive.lock()) (*self)->powerStateChanged(lowPower);
                  });
                }) {}

LinuxProcessInfo::~LinuxProcessInfo() {
  self_.reset();
  if (poll_) loop_.cancel(*poll_);
}

sys::ThermalState LinuxProcessInfo::thermalState() {
  return ThermalZones::judge(ThermalZones::read(root_));
}

bool LinuxProcessInfo::isLowPowerModeEnabled() {
  profiles_.start();
  return profiles_.isPowerSaver();
}

sys::ObserverID LinuxProcessInfo::addObserver(sys::ProcessInfoNotification name,
                                              std::function<void()> handler) {
  const auto id = observers_.add(name, std::move(handler));
  if (name == sys::ProcessInfoNotification::powerStateDidChange) {
    lowPower_ = profiles_.isPowerSaver();
    profiles_.start();
  }
  updatePoll();
  return id;
}

void LinuxProcessInfo::removeObserver(sys::ObserverID id) {
  observers_.remove(id);
  updatePoll();
}

void LinuxProcessInfo::updatePoll() {
  // The zones are read only while someone listens for the result.
  const bool wanted = observers_.has(sys::ProcessInfoNotification::thermalStateDidChange);
  if (wanted && !poll_) {
    thermal_ = thermalState();
    poll_ = loop_.scheduleRepeating(
        kThermalPollSeconds, 1, [alive = std::weak_ptr<LinuxProcessInfo*>(self_)] {
          if (auto self = alive.lock()) (*self)->checkThermal();
        });
  } else if (!wanted && poll_) {
    loop_.cancel(*poll_);
    poll_.reset();
  }
}

void LinuxProcessInfo::checkThermal() {
  const sys::ThermalState now = thermalState();
  if (now == thermal_) return;
  thermal_ = now;
  observers_.notify(sys::ProcessInfoNotification::thermalStateDidChange);
}

void LinuxProcessInfo::powerStateChanged(bool lowPower) {
  if (lowPower == lowPower_) return;
  lowPower_ = lowPower;
  observers_.notify(sys::ProcessInfoNotification::powerStateDidChange);
}

}  // namespace ebbwise::linux_host
