#pragma once

#include <memory>
#include <optional>

#include "sensors/power/system_energy.h"
#include "sys/clock.h"
#include "sys/run_loop.h"
#include "sys/smc_user_client.h"

namespace ebbwise {

// Samples the whole-system power once a second on a queue of its own and
// integrates it into joules between two takes, so that a caller ticking every
// few seconds gets an energy figure that does not depend on when within its
// tick it asks.
class SystemPowerMeter {
 public:
  static constexpr const char* kQueueLabel = "joulemark.system-power";
  static constexpr double kInterval = 1.0;  // seconds between samples
  static constexpr double kLeeway = 0.25;
  // Two samples this far apart or more (sleep, a stalled queue) are not
  // integrated: nothing is known about the power in between.
  static constexpr double kMaxGap = 5.0;
  // Reads of "PSTR" tried at creation before the key counts as missing.
  static constexpr int kOpeningReads = 3;

  // Opens its own SMC connection and starts sampling at once; nothing when
  // the SMC cannot be opened or "PSTR" cannot be read in a few tries.
  static std::unique_ptr<SystemPowerMeter> create(sys::SMCUserClient& smc, sys::RunLoop& runLoop,
                                                  sys::Clock& clock);

  // Stops sampling and closes the connection; a sample in progress finishes
  // first and none starts afterwards.
  ~SystemPowerMeter();
  SystemPowerMeter(const SystemPowerMeter&) = delete;
  SystemPowerMeter& operator=(const SystemPowerMeter&) = delete;

  // Energy since the previous take, and resets it. Blocks until the queue
  // serves it; never call from the meter's own queue.
  SystemEnergy take();
  // The same, but with one more sample first, so that the interval ends
  // now rather than at the last timed sample, up to a second ago. A caller
  // that sets the energy against another figure taken over its own tick
  // (the chip's energy) needs both over the same interval: a tick a second
  // long would otherwise be compared with the second before it.
  SystemEnergy takeUpToNow();

  // "PSTR" read at once, on the queue.
  std::optional<double> readNow();

  // The most recent sampled system power; safe from any thread.
  std::optional<double> latestWatts() const;

 private:
  struct State;
  SystemPowerMeter(std::shared_ptr<State> state, std::unique_ptr<sys::SerialQueue> queue);

  // Shared with the timer handler, which holds it weakly.
  std::shared_ptr<State> state_;
  std::unique_ptr<sys::SerialQueue> queue_;
  sys::TaskID timer_ = 0;
};

}  // namespace ebbwise
