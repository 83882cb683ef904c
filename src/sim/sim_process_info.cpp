#include "sim/sim_process_info.h"

namespace ebbwise::sim {

namespace {

// When Low Power Mode may switch by itself: the user's changes, and the
// charger coming or going.
std::vector<double> powerStateTimes(const Scenario& scenario) {
  std::vector<double> out;
  for (const Event& e : scenario.events) {
    if (e.type == EventType::lowPower || e.type == EventType::plug || e.type == EventType::unplug) {
      out.push_back(e.at);
    }
  }
  return out;  // the events are in time order already
}

}  // namespace

SimProcessInfo::SimProcessInfo(MachineModel& model, sys::Clock& clock)
    : model_(model),
      watcher_(clock, model.startDate(), powerStateTimes(model.scenario()), [this] { check(); }) {
  auto lock = model_.sync();
  lowPower_ = model_.lowPowerMode();
  thermal_ = model_.thermalLevel();
}

void SimProcessInfo::bind(sys::RunLoop& loop) {
  if (poll_ && loop_) loop_->cancel(*poll_);
  poll_.reset();
  loop_ = &loop;
  watcher_.watch(loop);
  updatePoll();
}

void SimProcessInfo::updatePoll() {
  // The sensors are polled only while someone listens for the result.
  const bool wanted = loop_ && observers_.has(sys::ProcessInfoNotification::thermalStateDidChange);
  if (wanted && !poll_) {
    {
      auto lock = model_.sync();
      thermal_ = model_.thermalLevel();
    }
    poll_ = loop_->scheduleRepeating(kThermalPollSeconds, 0, [alive = lifeline_.token(), this] {
      if (alive.lock()) check();
    });
  } else if (!wanted && poll_) {
    loop_->cancel(*poll_);
    poll_.reset();
  }
}

void SimProcessInfo::settingChanged() {
  check();
}

void SimProcessInfo::check() {
  bool lowPower;
  int thermal;
  {
    auto lock = model_.sync();
    lowPower = model_.lowPowerMode();
    thermal = model_.thermalLevel();
  }
  const bool powerChanged = lowPower != lowPower_;
  const bool thermalChanged = thermal != thermal_;
  lowPower_ = lowPower;
  thermal_ = thermal;
  if (powerChanged) observers_.notify(sys::ProcessInfoNotification::powerStateDidChange);
  if (thermalChanged) observers_.notify(sys::ProcessInfoNotification::thermalStateDidChange);
}

sys::ThermalState SimProcessInfo::thermalState() {
  auto lock = model_.sync();
  return static_cast<sys::ThermalState>(model_.thermalLevel());
}

bool SimProcessInfo::isLowPowerModeEnabled() {
  auto lock = model_.sync();
  return model_.lowPowerMode();
}

sys::ObserverID SimProcessInfo::addObserver(sys::ProcessInfoNotification name,
                                            std::function<void()> handler) {
  const sys::ObserverID id = observers_.add(name, std::move(handler));
  updatePoll();
  return id;
}

void SimProcessInfo::removeObserver(sys::ObserverID id) {
  observers_.remove(id);
  updatePoll();
}

}  // namespace ebbwise::sim
