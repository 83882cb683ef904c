#pragma once

#include <deque>
#include <memory>
#include <string>

#include "sim/machine_model.h"
#include "sim/sim_process_info.h"
#include "sim/timeline_watcher.h"
#include "sys/privileged_script_runner.h"
#include "sys/run_loop.h"
#include "sys/timed_answer.h"

namespace ebbwise::sim {

// The system's AppleScript runner, for the one kind of script the monitor
// sends with administrator privileges: `do shell script "…" with
// administrator privileges` running `pmset` to switch Low Power Mode. The
// system asks for a password first; the scenario's user answers each prompt
// in turn after a moment: granting it (the command runs as root and its
// output comes back), cancelling (−128 "User canceled."), failing to
// authenticate, or never answering, which keeps every later script waiting
// behind the prompt, as it would on a Mac. Scripts run one at a time, in
// order; each caller gets its outcome or, after the runner's time limit, the
// time-out. Other shell commands and other scripts fail as they would there.
class SimPrivilegedScriptRunner final : public sys::PrivilegedScriptRunner {
 public:
  SimPrivilegedScriptRunner(MachineModel& model, SimProcessInfo& processInfo);

  void bind(sys::RunLoop& loop);
  // Password prompts shown so far.
  int prompts() const { return prompts_; }

  void run(std::string source, sys::ScriptHandler completion) override;

  static constexpr std::int64_t kAuthenticationFailed = -60005;

 private:
  struct Job {
    std::string source;
    std::shared_ptr<sys::TimedAnswer<sys::ScriptOutcome>> answer;
  };
  void startNext();
  void finish(sys::ScriptOutcome outcome);
  sys::ScriptOutcome runShell(const std::string& command, bool asRoot);

  MachineModel& model_;
  SimProcessInfo& processInfo_;
  sys::RunLoop* loop_ = nullptr;
  std::deque<Job> jobs_;
  bool busy_ = false;
  int prompts_ = 0;
  Lifeline lifeline_;
};

}  // namespace ebbwise::sim
