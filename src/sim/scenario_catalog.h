#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/scenario.h"

namespace ebbwise::sim {

// The scenarios a run can name: the ones built into the program, by name,
// and scenario files, by path.
namespace ScenarioCatalog {

struct BuiltIn {
  std::string name;  // "weak-charger"
  std::string description;
  double duration = 0;  // seconds
};

// Every built-in scenario, by name.
std::vector<BuiltIn> builtIns();

// Whether a built-in scenario has that name.
bool isBuiltIn(std::string_view name);

// The built-in scenarios' names, comma-separated: "default, three-days, …".
std::string builtInNames();

// The scenario `nameOrPath` names. A bare name ("weak-charger", no slash)
// that a built-in scenario has is that one, even if a file of that name
// exists ("./weak-charger" is the file); anything else is a scenario file.
// When it is neither, the message says so and lists the built-in ones.
Scenario::Parsed find(std::string_view nameOrPath);

}  // namespace ScenarioCatalog

}  // namespace ebbwise::sim
