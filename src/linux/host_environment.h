#pragma once

#include "sys/environment.h"

namespace ebbwise::linux_host {

// The real surroundings of the program on a Linux host.
class HostEnvironment final : public sys::Environment {
 public:
  bool fileExists(std::string_view path) override;
  std::optional<std::string> homeDirectory() override;
  std::optional<std::string> applicationSupportDirectory() override;
  std::optional<std::string> cacheDirectory() override;
  std::optional<std::string> variable(std::string_view name) override;
  sys::OSVersion osVersion() override;

 private:
  // $name when it holds an absolute path, else `fallback` under the home folder.
  std::optional<std::string> xdgDirectory(std::string_view name, std::string_view fallback);
};

}  // namespace ebbwise::linux_host
