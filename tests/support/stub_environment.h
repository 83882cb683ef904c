#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "sys/environment.h"

namespace ebbwise::test {

// Surroundings with a set of existing files (or the disk's own), a home
// folder, a cache folder, variables and an OS version; every other answer is
// absent.
class StubEnvironment final : public sys::Environment {
 public:
  std::set<std::string, std::less<>> files;
  bool filesOnDisk = false;
  std::optional<std::string> home = "/Users/me";
  std::optional<std::string> cache;
  std::map<std::string, std::string, std::less<>> variables;
  sys::OSVersion version{15, 0, 0};

  // Surroundings whose data folder (EBBWISE_DATA_DIR) is `folder`.
  static StubEnvironment withDataFolder(std::string folder) {
    StubEnvironment e;
    e.home.reset();
    e.variables["EBBWISE_DATA_DIR"] = std::move(folder);
    return e;
  }

  bool fileExists(std::string_view path) override {
    return filesOnDisk ? std::filesystem::exists(path) : files.contains(path);
  }
  std::optional<std::string> homeDirectory() override { return home; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return cache; }
  std::optional<std::string> variable(std::string_view name) override {
    auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  sys::OSVersion osVersion() override { return version; }
};

}  // namespace ebbwise::test
