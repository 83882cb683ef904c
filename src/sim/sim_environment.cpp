#include "sim/sim_environment.h"

namespace ebbwise::sim {

SimEnvironment::SimEnvironment(const MachineModel& model)
    : home_("/Users/" + model.scenario().machine.user), os_(model.scenario().machine.os) {
  for (const auto& p : model.table().processes) {
    if (!p.path.empty()) addWithFolders(p.path);
  }
  for (const auto& f : model.scenario().machine.files) addWithFolders(f);
  for (const char* folder : {"/Library/Application Support", "/Library/Caches", "/Desktop",
                             "/Documents", "/Downloads"}) {
    addWithFolders(home_ + folder);
  }
  for (const auto& [name, value] : model.scenario().machine.variables) variables_[name] = value;
}

void SimEnvironment::addWithFolders(const std::string& path) {
  if (path.empty() || path[0] != '/') return;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  files_.insert(p);
  for (auto slash = p.rfind('/'); slash != std::string::npos && slash > 0;
       slash = p.rfind('/', slash - 1)) {
    files_.insert(p.substr(0, slash));
  }
  files_.insert("/");
}

bool SimEnvironment::fileExists(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return files_.find(path) != files_.end();
}

std::optional<std::string> SimEnvironment::applicationSupportDirectory() {
  return home_ + "/Library/Application Support";
}

std::optional<std::string> SimEnvironment::cacheDirectory() {
  return home_ + "/Library/Caches";
}

std::optional<std::string> SimEnvironment::variable(std::string_view name) {
  auto it = variables_.find(name);
  if (it == variables_.end()) return std::nullopt;
  return it->second;
}

void SimEnvironment::setVariable(std::string name, std::string value) {
  variables_[std::move(name)] = std::move(value);
}

}  // namespace ebbwise::sim
