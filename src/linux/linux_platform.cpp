#include "linux/linux_platform.h"

#include "linux/file_user_defaults.h"
#include "sys/in_memory_user_defaults.h"

namespace ebbwise::linux_host {

LinuxPlatform::LinuxPlatform(sys::Clock& clock, sys::RunLoop& runLoop,
                             sys::Environment& environment, Roots roots, Notice notice)
    : absent_(clock, runLoop, environment),
      environment_(environment),
      counters_(roots.sys, Credentials::own(), notice),
      registry_(roots.sys),
      processes_(roots.proc, &counters_),
      smc_(roots.sys, &counters_, clock),
      ioReport_(counters_) {
  auto folder = roots.settings ? roots.settings : FileUserDefaults::folderFor(environment);
  if (folder) {
    userDefaults_ = std::make_unique<FileUserDefaults>(*folder, notice);
  } else {
    userDefaults_ = std::make_unique<sys::InMemoryUserDefaults>();
  }
}

sys::Platform LinuxPlatform::platform() {
  const sys::Platform absent = absent_.platform();
  return sys::Platform{absent.clock,
                       absent.runLoop,
                       environment_,
                       registry_,
                       processes_,
                       smc_,
                       ioReport_,
                       absent.displays,
                       absent.displayServices,
                       absent.coreBrightness,
                       absent.audio,
                       toolRunner_,
                       *userDefaults_};
}

}  // namespace ebbwise::linux_host
