#include "sim/scenario_catalog.h"

#include <sys/stat.h>

#include <cerrno>

#include "sim/embedded_scenarios.h"

namespace ebbwise::sim {

std::vector<ScenarioCatalog::BuiltIn> ScenarioCatalog::builtIns() {
  std::vector<BuiltIn> all;
  for (const auto& [name, text] : embeddedScenarios()) {
    BuiltIn entry{name, "", Scenario{}.duration};
    // The build's own files; each one parses, as the tests check.
    if (Scenario::Parsed parsed = Scenario::parse(text, name)) {
      entry.description = parsed.scenario->description;
      entry.duration = parsed.scenario->duration;
    }
    all.push_back(std::move(entry));
  }
  return all;
}

bool ScenarioCatalog::isBuiltIn(std::string_view name) {
  return embeddedScenarios().count(std::string(name)) > 0;
}

std::string ScenarioCatalog::builtInNames() {
  std::string names;
  for (const auto& [name, _] : embeddedScenarios()) names += (names.empty() ? "" : ", ") + name;
  return names;
}

Scenario::Parsed ScenarioCatalog::find(std::string_view nameOrPath) {
  const std::string text(nameOrPath);
  if (text.find('/') == std::string::npos && isBuiltIn(text)) {
    return Scenario::embedded(text);
  }
  struct stat info {};
  if (text.empty() || (::stat(text.c_str(), &info) != 0 && errno == ENOENT)) {
    return {std::nullopt, "no scenario \"" + text +
                              "\": it is neither a built-in scenario nor a file (built in: " +
                              builtInNames() + ")"};
  }
  return Scenario::load(text);
}

}  // namespace ebbwise::sim
