#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "linux/power_profiles.h"
#include "sys/privileged_script_runner.h"
#include "sys/run_loop.h"

namespace ebbwise::linux_host {

// The privileged scripts Linux can serve: exactly the one that switches Low
// Power Mode (`do shell script "/usr/bin/pmset -a lowpowermode 1" with
// administrator privileges`, 0 for off), done by switching the
// power-profiles daemon to "power-saver" (on) or "balanced" (off). The
// daemon decides who may switch (an active desktop session may), so no
// password is asked. Any other script fails as a script the system cannot
// run. Switches run one at a time on a queue of their own; the outcome comes
// back on the loop, after the new state can be read, or the time-out when
// the daemon does not answer in time.
class PowerProfileScripts final : public sys::PrivilegedScriptRunner {
 public:
  PowerProfileScripts(sys::RunLoop& loop, PowerProfiles& profiles);
  ~PowerProfileScripts() override;

  void run(std::string source, sys::ScriptHandler completion) override;

  // On or off, for the Low Power Mode script; nothing for any other.
  static std::optional<bool> lowPowerSwitch(std::string_view source);

 private:
  sys::RunLoop& loop_;
  PowerProfiles& profiles_;
  std::unique_ptr<sys::SerialQueue> queue_;
};

}  // namespace ebbwise::linux_host
