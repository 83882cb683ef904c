#pragma once

#include <functional>
#include <set>
#include <string>

#include "sys/environment.h"

namespace ebbwise::test {

// Surroundings with a set of existing files, a home folder and an OS version;
// every other answer is absent.
class StubEnvironment final : public sys::Environment {
 public:
  std::set<std::string, std::less<>> files;
  sys::OSVersion version{15, 0, 0};

  bool fileExists(std::string_view path) override { return files.contains(path); }
  std::optional<std::string> homeDirectory() override { return "/Users/me"; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view) override { return std::nullopt; }
  sys::OSVersion osVersion() override { return version; }
};

}  // namespace ebbwise::test
