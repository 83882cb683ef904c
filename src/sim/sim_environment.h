#pragma once

#include <map>
#include <set>
#include <string>

#include "sim/machine_model.h"
#include "sys/environment.h"

namespace ebbwise::sim {

// The simulated user's surroundings: a home folder under /Users, the OS
// version of the scenario, the monitor's environment variables, and a file
// system that holds every executable of the process table (with its folders)
// plus the scenario's extra files.
class SimEnvironment final : public sys::Environment {
 public:
  explicit SimEnvironment(const MachineModel& model);

  bool fileExists(std::string_view path) override;
  std::optional<std::string> homeDirectory() override { return home_; }
  std::optional<std::string> applicationSupportDirectory() override;
  std::optional<std::string> cacheDirectory() override;
  std::optional<std::string> variable(std::string_view name) override;
  sys::OSVersion osVersion() override { return os_; }

  void setVariable(std::string name, std::string value);

 private:
  void addWithFolders(const std::string& path);

  std::string home_;
  sys::OSVersion os_;
  std::set<std::string, std::less<>> files_;
  std::map<std::string, std::string, std::less<>> variables_;
};

}  // namespace ebbwise::sim
