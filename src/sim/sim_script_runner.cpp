#include "sim/sim_script_runner.h"

#include <algorithm>
#include <string>

namespace ebbwise::sim {

namespace {

constexpr std::string_view kTell = "tell application \"";

// The tab-listing script for one application, as a browser understands it.
std::string tabScript(std::string_view application) {
  std::string s = "set out to \"\"\n";
  s += std::string(kTell) + std::string(application) + "\"\n";
  s += "    repeat with w in windows\n";
  s += "        repeat with t in tabs of w\n";
  s += "            try\n";
  s += "                set out to out & (URL of t) & linefeed\n";
  s += "            end try\n";
  s += "        end repeat\n";
  s += "    end repeat\n";
  s += "end tell\n";
  s += "return out";
  return s;
}

// The application the source talks to, when the source is exactly the
// tab-listing script for it.
std::optional<std::string> tabScriptTarget(std::string_view source) {
  const auto start = source.find(kTell);
  if (start == std::string_view::npos) return std::nullopt;
  const auto nameStart = start + kTell.size();
  const auto end = source.find('"', nameStart);
  if (end == std::string_view::npos) return std::nullopt;
  std::string name(source.substr(nameStart, end - nameStart));
  if (source != tabScript(name)) return std::nullopt;
  return name;
}

}  // namespace

sys::ScriptResult SimScriptRunner::run(std::string_view source) {
  auto target = tabScriptTarget(source);
  if (!target) {
    return sys::ScriptResult::failed(kSyntaxError,
                                     "Expected end of line, etc. but found unknown token.");
  }
  const auto& browsers = scenario_.machine.browsers;
  auto browser = std::find_if(browsers.begin(), browsers.end(),
                              [&](const BrowserSetup& b) { return b.name == *target; });
  if (browser == browsers.end()) {
    return sys::ScriptResult::failed(kNoSuchApplication,
                                     "Can\u2019t get application \"" + *target + "\".");
  }
  if (!browser->automationAllowed) {
    return sys::ScriptResult::failed(kNotAuthorized,
                                     "Not authorized to send Apple events to " + *target + ".");
  }
  std::string out;
  for (const std::string& url : browser->tabs) out += url + "\n";
  return sys::ScriptResult{out, std::nullopt};
}

}  // namespace ebbwise::sim
