#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sys/privileged_script_runner.h"

namespace ebbwise {

// Switches the system's Low Power Mode, which needs an administrator's
// password: a privileged script runs `pmset` off the main loop and its
// outcome comes back later, so a password prompt nobody answers never holds
// the program (the runner gives up after its time limit).
class LowPowerSwitch {
 public:
  static constexpr const char* kFailedText = "Couldn't change Low Power Mode.";

  // Called on the main loop when a switch has finished, with the message to
  // show: nothing when it worked or the user cancelled the prompt.
  using Finished = std::function<void(std::optional<std::string> error)>;

  LowPowerSwitch(sys::PrivilegedScriptRunner& runner, Finished finished);
  ~LowPowerSwitch();
  LowPowerSwitch(const LowPowerSwitch&) = delete;
  LowPowerSwitch& operator=(const LowPowerSwitch&) = delete;

  // The script that asks for the password and switches the mode.
  static std::string script(bool on);
  // The message a run's outcome calls for; nothing for success and for a
  // cancelled prompt.
  static std::optional<std::string> errorText(const sys::ScriptOutcome& outcome);

  // Starts a switch; returns at once.
  void request(bool on);

  // Published state: switches asked for and not answered yet.
  int pending = 0;

 private:
  sys::PrivilegedScriptRunner& runner_;
  Finished finished_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise
