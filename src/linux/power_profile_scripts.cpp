#include "linux/power_profile_scripts.h"

#include <sstream>
#include <vector>

#include "sys/timed_answer.h"

namespace ebbwise::linux_host {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

bool consume(std::string_view& s, std::string_view word) {
  const auto start = s.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return false;
  s.remove_prefix(start);
  if (!s.starts_with(word)) return false;
  s.remove_prefix(word.size());
  return s.empty() || kBlanks.find(s.front()) != std::string_view::npos || word == "\"";
}

sys::ScriptOutcome failed(std::int64_t number, std::optional<std::string> message) {
  return {std::nullopt, sys::ScriptError{number, std::move(message)}};
}

}  // namespace

std::optional<bool> PowerProfileScripts::lowPowerSwitch(std::string_view source) {
  std::string_view s = source;
  if (!consume(s, "do") || !consume(s, "shell") || !consume(s, "script") || !consume(s, "\"")) {
    return std::nullopt;
  }
  const auto end = s.find('"');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string command(s.substr(0, end));
  s.remove_prefix(end + 1);
  if (!consume(s, "with") || !consume(s, "administrator") || !consume(s, "privileges") ||
      s.find_first_not_of(kBlanks) != std::string_view::npos) {
    return std::nullopt;
  }
  std::istringstream words(command);
  std::vector<std::string> w;
  for (std::string word; words >> word;) w.push_back(word);
  if (w.size() != 4 || w[0] != "/usr/bin/pmset" || w[1] != "-a" || w[2] != "lowpowermode" ||
      (w[3] != "0" && w[3] != "1")) {
    return std::nullopt;
  }
  return w[3] == "1";
}

PowerProfileScripts::PowerProfileScripts(sys::RunLoop& loop, PowerProfiles& profiles)
    : loop_(loop), profiles_(profiles), queue_(loop.makeSerialQueue("ebbwise.power-profiles")) {}

PowerProfileScripts::~PowerProfileScripts() {
  queue_.reset();  // waits for the switch in progress; drops the rest
}

void PowerProfileScripts::run(std::string source, sys::ScriptHandler completion) {
  if (!completion) completion = [](sys::ScriptOutcome) {};
  const auto on = lowPowerSwitch(source);
  if (!on) {
    loop_.post([c = std::move(completion)] { c(failed(sys::kScriptGeneralError, std::nullopt)); });
    return;
  }
  auto answer = sys::TimedAnswer<sys::ScriptOutcome>::start(
      loop_, kTimeoutSeconds, failed(sys::kScriptTimedOut, "AppleEvent timed out."),
      std::move(completion));
  queue_->async([&profiles = profiles_, answer, on = *on] {
    const auto error = profiles.setActiveProfile(
        on ? PowerProfiles::kPowerSaver : PowerProfiles::kBalanced, kTimeoutSeconds);
    if (!error) {
      answer->deliver({std::string(), std::nullopt});  // pmset says nothing when it succeeds
      return;
    }
    std::string message = error->message;
    if (error->domain == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        error->domain == "errno") {
      message = "Low Power Mode needs the power profiles daemon, which is not running.";
    }
    answer->deliver(failed(1, message.empty() ? std::nullopt : std::optional(message)));
  });
}

}  // namespace ebbwise::linux_host
