#pragma once

#include "sys/environment.h"

namespace ebbwise::linux_host {

// The host's surroundings as the platform layer presents them: everything
// from the host, except the OS version, which names the platform release
// whose calls the Linux providers serve. The kernel's own version (6.x) would
// read as an old platform release and switch off calls that Linux does serve,
// such as the per-process audio properties.
class PlatformEnvironment final : public sys::Environment {
 public:
  static constexpr sys::OSVersion kServedRelease{15, 0, 0};

  // `host` must outlive this.
  explicit PlatformEnvironment(sys::Environment& host) : host_(host) {}

  bool fileExists(std::string_view path) override { return host_.fileExists(path); }
  std::optional<std::string> homeDirectory() override { return host_.homeDirectory(); }
  std::optional<std::string> applicationSupportDirectory() override {
    return host_.applicationSupportDirectory();
  }
  std::optional<std::string> cacheDirectory() override { return host_.cacheDirectory(); }
  std::optional<std::string> variable(std::string_view name) override {
    return host_.variable(name);
  }
  sys::OSVersion osVersion() override { return kServedRelease; }

 private:
  sys::Environment& host_;
};

}  // namespace ebbwise::linux_host
