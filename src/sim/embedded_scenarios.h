#pragma once

#include <map>
#include <string>

namespace ebbwise::sim {

// Every scenario shipped inside the program, keyed by its file name without
// the extension ("default"). The build generates the definition from
// data/scenarios/*.json.
const std::map<std::string, std::string>& embeddedScenarios();

}  // namespace ebbwise::sim
