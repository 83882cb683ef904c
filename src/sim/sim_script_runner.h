#pragma once

#include "sim/scenario.h"
#include "sys/script_runner.h"

namespace ebbwise::sim {

// The machine's script runner, with the scenario's browsers to talk to. It
// understands one script: the one that asks a browser for the address of
// every tab, byte for byte. A browser that the user did not allow to be
// scripted refuses it; a browser that is not installed cannot be found; any
// other text fails to compile here, since this machine runs nothing else.
class SimScriptRunner final : public sys::ScriptRunner {
 public:
  explicit SimScriptRunner(const Scenario& scenario) : scenario_(scenario) {}

  sys::ScriptResult run(std::string_view source) override;

  static constexpr int kNoSuchApplication = -1728;

 private:
  const Scenario& scenario_;
};

}  // namespace ebbwise::sim
