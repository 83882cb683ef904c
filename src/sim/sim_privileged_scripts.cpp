#include "sim/sim_privileged_scripts.h"

#include <cctype>
#include <optional>
#include <sstream>
#include <vector>

namespace ebbwise::sim {

namespace {

struct ShellScript {
  std::string command;
  bool administrator = false;
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool consume(std::string_view& s, std::string_view word) {
  s = trimmed(s);
  if (s.substr(0, word.size()) != word) return false;
  s.remove_prefix(word.size());
  return true;
}

// `do shell script "…"` with an optional `with administrator privileges`;
// nothing for any other script.
std::optional<ShellScript> parse(std::string_view source) {
  std::string_view s = source;
  if (!consume(s, "do") || !consume(s, "shell") || !consume(s, "script")) return std::nullopt;
  s = trimmed(s);
  if (s.empty() || s.front() != '"') return std::nullopt;
  s.remove_prefix(1);
  ShellScript script;
  for (;;) {
    if (s.empty()) return std::nullopt;  // the string never ends
    const char c = s.front();
    s.remove_prefix(1);
    if (c == '"') break;
    if (c == '\\') {
      if (s.empty()) return std::nullopt;
      const char e = s.front();
      s.remove_prefix(1);
      script.command += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      continue;
    }
    script.command += c;
  }
  if (trimmed(s).empty()) return script;
  if (!consume(s, "with") || !consume(s, "administrator") || !consume(s, "privileges") ||
      !trimmed(s).empty()) {
    return std::nullopt;
  }
  script.administrator = true;
  return script;
}

sys::ScriptOutcome failed(std::int64_t number, std::string message) {
  return {std::nullopt, sys::ScriptError{number, std::move(message)}};
}

// The Low Power Mode setting as pmset keeps it: on battery, on the adapter.
std::pair<bool, bool> sources(LowPowerSetting s) {
  return {s == LowPowerSetting::always || s == LowPowerSetting::onBattery,
          s == LowPowerSetting::always || s == LowPowerSetting::onAdapter};
}

LowPowerSetting setting(bool battery, bool adapter) {
  if (battery && adapter) return LowPowerSetting::always;
  if (battery) return LowPowerSetting::onBattery;
  if (adapter) return LowPowerSetting::onAdapter;
  return LowPowerSetting::never;
}

}  // namespace

SimPrivilegedScriptRunner::SimPrivilegedScriptRunner(MachineModel& model,
                                                     SimProcessInfo& processInfo)
    : model_(model), processInfo_(processInfo) {}

void SimPrivilegedScriptRunner::bind(sys::RunLoop& loop) {
  loop_ = &loop;
}

void SimPrivilegedScriptRunner::run(std::string source, sys::ScriptHandler completion) {
  if (!completion) completion = [](sys::ScriptOutcome) {};
  if (!loop_) {
    completion(failed(sys::kScriptGeneralError, "The script could not run."));
    return;
  }
  auto answer = sys::TimedAnswer<sys::ScriptOutcome>::start(
      *loop_, kTimeoutSeconds, failed(sys::kScriptTimedOut, "AppleEvent timed out."),
      std::move(completion));
  jobs_.push_back({std::move(source), std::move(answer)});
  if (!busy_) startNext();
}

void SimPrivilegedScriptRunner::startNext() {
  if (jobs_.empty()) return;
  busy_ = true;
  const auto script = parse(jobs_.front().source);
  if (!script) {
    finish(failed(-2741, "Expected end of line, etc. but found unknown token."));
    return;
  }
  if (!script->administrator) {
    finish(runShell(script->command, false));
    return;
  }
  // The password prompt, answered after a while, or never.
  const ServiceSetup& services = model_.scenario().machine.services;
  const auto k =
      std::min<std::size_t>(static_cast<std::size_t>(prompts_), services.password.size() - 1);
  const PasswordAnswer reply = services.password[k];
  ++prompts_;
  if (reply == PasswordAnswer::hang) return;  // the prompt stays; everything waits behind it
  loop_->scheduleAfter(services.passwordSeconds,
                       [alive = lifeline_.token(), this, reply, command = script->command] {
                         if (!alive.lock()) return;
                         switch (reply) {
                           case PasswordAnswer::grant:
                             finish(runShell(command, true));
                             break;
                           case PasswordAnswer::cancel:
                             finish(failed(sys::kScriptUserCanceled, "User canceled."));
                             break;
                           case PasswordAnswer::fail:
                           case PasswordAnswer::hang:
                             finish(failed(kAuthenticationFailed,
                                           "The administrator user name or password was "
                                           "incorrect."));
                             break;
                         }
                       });
}

void SimPrivilegedScriptRunner::finish(sys::ScriptOutcome outcome) {
  Job job = std::move(jobs_.front());
  jobs_.pop_front();
  busy_ = false;
  job.answer->deliver(std::move(outcome));
  // The next script starts once this one's caller has its answer.
  loop_->post([alive = lifeline_.token(), this] {
    if (alive.lock() && !busy_) startNext();
  });
}

sys::ScriptOutcome SimPrivilegedScriptRunner::runShell(const std::string& command, bool asRoot) {
  // `sh -c` with the words of the command; only pmset exists here.
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return {std::string(), std::nullopt};
  if (words[0] != "/usr/bin/pmset" && words[0] != "pmset") {
    return failed(127, "sh: " + words[0] + ": command not found");
  }
  // pmset -a|-b|-c lowpowermode 0|1
  if (words.size() != 4 || (words[1] != "-a" && words[1] != "-b" && words[1] != "-c") ||
      words[2] != "lowpowermode" || (words[3] != "0" && words[3] != "1")) {
    return failed(1, "Usage: pmset <options>");
  }
  if (!asRoot) return failed(1, "pmset: Must be run as root");
  const bool on = words[3] == "1";
  {
    auto lock = model_.sync();
    auto [battery, adapter] = sources(model_.lowPowerSetting());
    if (words[1] != "-c") battery = on;
    if (words[1] != "-b") adapter = on;
    model_.setLowPowerSetting(setting(battery, adapter));
  }
  processInfo_.settingChanged();
  return {std::string(), std::nullopt};  // pmset says nothing when it succeeds
}

}  // namespace ebbwise::sim
