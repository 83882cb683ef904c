#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sys/deferred.h"
#include "sys/run_loop.h"
#include "sys/script_error.h"
#include "sys/tool_runner.h"

namespace ebbwise::sys {

// What a run gave: the result descriptor's string value (absent when the
// result has none), or the error.
struct ScriptOutcome {
  std::optional<std::string> result;
  std::optional<ScriptError> error;

  friend bool operator==(const ScriptOutcome&, const ScriptOutcome&) = default;
};

// The user dismissed the password prompt (userCanceledErr).
inline constexpr std::int64_t kScriptUserCanceled = -128;
// No answer in time (errAETimeout).
inline constexpr std::int64_t kScriptTimedOut = -1712;
// The script could not run at all (errOSAGeneralError).
inline constexpr std::int64_t kScriptGeneralError = -2700;

using ScriptHandler = std::function<void(ScriptOutcome)>;

// Runs AppleScript that needs the user's consent, such as a `do shell
// script "…" with administrator privileges`, for which the system asks for
// an administrator password. The run happens off the main loop; the outcome
// comes back on the main run loop, exactly once. A run that has not answered
// `kTimeoutSeconds` after it started answers `kScriptTimedOut` ("AppleEvent
// timed out.") and its late outcome is dropped, so a prompt nobody answers
// never holds the caller.
class PrivilegedScriptRunner {
 public:
  static constexpr double kTimeoutSeconds = ToolRunner::kTimeoutSeconds;

  virtual ~PrivilegedScriptRunner() = default;

  virtual void run(std::string source, ScriptHandler completion) = 0;
};

// A system that cannot run such scripts: every run fails at once.
class NoPrivilegedScriptRunner final : public PrivilegedScriptRunner {
 public:
  explicit NoPrivilegedScriptRunner(RunLoop* loop = nullptr) : loop_(loop) {}

  void run(std::string, ScriptHandler completion) override {
    answerOn(loop_, [c = std::move(completion)] {
      if (c) c({std::nullopt, ScriptError{kScriptGeneralError, std::nullopt}});
    });
  }

  static NoPrivilegedScriptRunner& instance() {
    static NoPrivilegedScriptRunner none;
    return none;
  }

 private:
  RunLoop* loop_;
};

}  // namespace ebbwise::sys
