#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "sys/script_error.h"

namespace ebbwise::sys {

// What one run of a script gave: its result as text (absent when the result
// has no text form, such as a list), or the error that stopped it.
struct ScriptResult {
  std::optional<std::string> text;
  std::optional<ScriptError> error;

  bool succeeded() const { return !error; }
  static ScriptResult failed(int number, std::string message) {
    return ScriptResult{std::nullopt, ScriptError{number, std::move(message)}};
  }

  friend bool operator==(const ScriptResult&, const ScriptResult&) = default;
};

// The system's script runner: compiles source text in the system's script
// language and runs it, waiting until it ends. Scripts that talk to other
// applications need the user's consent; without it the run fails with
// `kNotAuthorized`, never with an empty result. Blocking: call it off the
// main thread.
class ScriptRunner {
 public:
  static constexpr int kCannotRun = -1;         // the platform runs no scripts at all
  static constexpr int kUserCancelled = -128;   // the user dismissed a prompt
  static constexpr int kNotAuthorized = -1743;  // automation consent refused
  static constexpr int kSyntaxError = -2741;    // the source did not compile

  virtual ~ScriptRunner() = default;
  virtual ScriptResult run(std::string_view source) = 0;
};

// A platform without a script runner.
class NoScriptRunner final : public ScriptRunner {
 public:
  ScriptResult run(std::string_view) override {
    return ScriptResult::failed(kCannotRun, "Scripts cannot run on this system.");
  }
  static NoScriptRunner& instance() {
    static NoScriptRunner none;
    return none;
  }
};

}  // namespace ebbwise::sys
