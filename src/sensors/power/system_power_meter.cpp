#include "sensors/power/system_power_meter.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "sensors/power/smc.h"

namespace ebbwise {

namespace {
constexpr const char* kSystemPower = "PSTR";
constexpr const char* kChargerPower = "PDTR";
}  // namespace

struct SystemPowerMeter::State {
  struct Sample {
    sys::Date time;
    double watts = 0;
    double inWatts = 0;
    bool inRead = false;
  };

  State(std::unique_ptr<SMC> smc, sys::Clock& clock) : smc(std::move(smc)), clock(clock) {}

  // Runs on the queue only.
  void sample() {
    auto watts = smc->readFloat(kSystemPower);
    if (!watts) return;  // keep `last`: the next good sample bridges the gap
    const std::optional<double> inRead = smc->readFloat(kChargerPower);
    const double inWatts = inRead.value_or(0.0);
    const sys::Date now = clock.now();
    if (last) {
      const double dt = now - last->time;
      // A clock set backwards gives dt <= 0; integrating it would subtract
      // energy, so such an interval is skipped like a long gap.
      if (dt > 0 && dt < kMaxGap) {
        energy.joules += (last->watts + *watts) / 2 * dt;
        energy.inJoules += (last->inWatts + inWatts) / 2 * dt;
        energy.seconds += dt;
        if (last->inRead || inRead) energy.inMeasured = true;
      }
    }
    last = Sample{now, *watts, inWatts, inRead.has_value()};
    latestWatts.store(*watts, std::memory_order_relaxed);
  }

  std::unique_ptr<SMC> smc;
  sys::Clock& clock;
  SystemEnergy energy;
  std::optional<Sample> last;
  // NaN while nothing has been sampled; written on the queue, read anywhere.
  std::atomic<double> latestWatts{std::numeric_limits<double>::quiet_NaN()};
};

std::unique_ptr<SystemPowerMeter> SystemPowerMeter::create(sys::SMCUserClient& client,
                                                           sys::RunLoop& runLoop,
                                                           sys::Clock& clock) {
  auto smc = SMC::open(client);
  if (!smc) return nullptr;
  // A busy controller fails a call now and then; only a key that stays
  // unreadable means the machine has none.
  bool readable = false;
  for (int attempt = 0; attempt < kOpeningReads && !readable; ++attempt) {
    readable = smc->readFloat(kSystemPower).has_value();
  }
  if (!readable) return nullptr;
  auto state = std::make_shared<State>(std::move(smc), clock);
  return std::unique_ptr<SystemPowerMeter>(
      new SystemPowerMeter(std::move(state), runLoop.makeSerialQueue(kQueueLabel)));
}

SystemPowerMeter::SystemPowerMeter(std::shared_ptr<State> state,
                                   std::unique_ptr<sys::SerialQueue> queue)
    : state_(std::move(state)), queue_(std::move(queue)) {
  std::weak_ptr<State> weak = state_;
  timer_ = queue_->scheduleRepeating(0.0, kInterval, kLeeway, [weak] {
    if (auto state = weak.lock()) state->sample();
  });
}

SystemPowerMeter::~SystemPowerMeter() {
  queue_->cancel(timer_);
  // Destroying the queue lets a running sample finish and drops queued ones;
  // the weak hold covers any handler that still gets to run after that.
  queue_.reset();
}

SystemEnergy SystemPowerMeter::take() {
  SystemEnergy taken;
  queue_->sync([&] {
    taken = state_->energy;
    state_->energy = {};
  });
  return taken;
}

SystemEnergy SystemPowerMeter::takeUpToNow() {
  SystemEnergy taken;
  queue_->sync([&] {
    state_->sample();
    taken = state_->energy;
    state_->energy = {};
  });
  return taken;
}

std::optional<double> SystemPowerMeter::readNow() {
  std::optional<double> watts;
  queue_->sync([&] { watts = state_->smc->readFloat(kSystemPower); });
  return watts;
}

std::optional<double> SystemPowerMeter::latestWatts() const {
  const double watts = state_->latestWatts.load(std::memory_order_relaxed);
  if (std::isnan(watts)) return std::nullopt;
  return watts;
}

}  // namespace ebbwise
