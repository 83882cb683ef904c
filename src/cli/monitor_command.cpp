#include "cli/monitor_command.h"

#include "cli/command_options.h"
#include "cli/history_notice.h"
#include "cli/stop_signals.h"
#include "linux/system_clock.h"
#include "sensors/power/battery_reading.h"
#include "sys/real_run_loop.h"

namespace ebbwise {

CommandResult runMonitor(sys::Environment& host, linux_host::LinuxPlatform::Roots roots,
                         const std::function<void(const std::string&)>& tell,
                         std::function<void(Monitor&)> tickObserver) {
  // First, before the platform starts any thread.
  StopSignals signals;
  linux_host::SystemClock clock;
  sys::RealRunLoop loop;
  linux_host::LinuxPlatform linux(clock, loop, host, std::move(roots));
  // Asked before the history is opened, so a machine turned away is left
  // without an empty history file.
  if (!BatteryReading::read(linux.platform().registry)) {
    return {CommandOptions::kFailure, "",
            "ebbwise: this machine publishes no battery, so there is nothing to monitor\n"};
  }
  std::unique_ptr<Store> store;
  if (auto path = Store::defaultURL(host)) store = std::make_unique<Store>(*path);
  if (auto notice = HistoryNotice::about(store.get())) {
    tell(*notice);
  } else {
    tell("ebbwise: monitoring this machine; the history goes to " + store->path() + "\n");
  }
  Monitor monitor(linux.platform(), std::move(store));
  if (tickObserver) {
    monitor.setTickObserver([&monitor, observer = std::move(tickObserver)] { observer(monitor); });
  }
  signals.onSignal([&loop] { loop.stop(); });
  loop.run();
  monitor.willTerminate();
  return {0, "", ""};
}

}  // namespace ebbwise
