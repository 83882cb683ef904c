#include "app/low_power_switch.h"

namespace ebbwise {

LowPowerSwitch::LowPowerSwitch(sys::PrivilegedScriptRunner& runner, Finished finished)
    : runner_(runner), finished_(std::move(finished)) {}

LowPowerSwitch::~LowPowerSwitch() {
  alive_.reset();
}

std::string LowPowerSwitch::script(bool on) {
  return std::string("do shell script \"/usr/bin/pmset -a lowpowermode ") + (on ? "1" : "0") +
         "\" with administrator privileges";
}

std::optional<std::string> LowPowerSwitch::errorText(const sys::ScriptOutcome& outcome) {
  if (!outcome.error || outcome.error->number == sys::kScriptUserCanceled) return std::nullopt;
  if (outcome.error->message && !outcome.error->message->empty()) return outcome.error->message;
  return kFailedText;
}

void LowPowerSwitch::request(bool on) {
  ++pending;
  std::weak_ptr<bool> alive = alive_;
  runner_.run(script(on), [this, alive](sys::ScriptOutcome outcome) {
    if (!alive.lock()) return;
    --pending;
    if (finished_) finished_(errorText(outcome));
  });
}

}  // namespace ebbwise
