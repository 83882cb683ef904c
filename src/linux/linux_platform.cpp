#include "linux/linux_platform.h"

#include "linux/file_user_defaults.h"
#include "linux/user_paths.h"
#include "sys/in_memory_user_defaults.h"

#include <unistd.h>

namespace ebbwise::linux_host {

namespace {

// How long a call on the system bus may keep its caller waiting: a setting of
// the brightness is made on the main loop.
constexpr double kBusTimeoutSeconds = 1;

}  // namespace

LinuxPlatform::LinuxPlatform(sys::Clock& clock, sys::RunLoop& runLoop,
                             sys::Environment& environment, Roots roots, Notice notice)
    : absent_(clock, runLoop, environment),
      environment_(environment),
      counters_(roots.sys, Credentials::own(), notice),
      supplies_(roots.sys, &clock),
      registry_(roots.sys, &supplies_),
      processes_(roots.proc, &counters_),
      smc_(roots.sys, &counters_, clock, &supplies_),
      ioReport_(counters_),
      tools_(toolRunner_, roots.systemBus, kBusTimeoutSeconds),
      brightness_(roots.systemBus, kBusTimeoutSeconds),
      displays_(roots.sys),
      displayServices_(roots.sys, brightness_),
      keyboard_(roots.sys, brightness_),
      audio_(toolRunner_, runLoop, clock, roots.sound),
      processInfo_(roots.sys, runLoop, {.busAddress = roots.systemBus}),
      lowPowerScripts_(runLoop, processInfo_.powerProfiles()),
      notifications_(runLoop, clock, {.busAddress = roots.notificationBus}),
      workspace_(runLoop, toolRunner_, std::nullopt, IconTheme::forUser(environment)) {
  auto folder = roots.settings ? roots.settings : FileUserDefaults::folderFor(environment);
  if (folder) {
    userDefaults_ = std::make_unique<FileUserDefaults>(*folder, notice);
  } else {
    userDefaults_ = std::make_unique<sys::InMemoryUserDefaults>();
  }
  auto config = roots.config ? roots.config : UserPaths::configFolder(environment);
  auto executable = roots.executable ? roots.executable : UserPaths::ownExecutable();
  if (config && executable) {
    loginItem_ = std::make_unique<AutostartLoginItem>(*config, *executable);
  } else {
    loginItem_ = std::make_unique<sys::NoLoginItemService>();
  }
}

sys::Platform LinuxPlatform::platform() {
  const sys::Platform absent = absent_.platform();
  return sys::Platform{absent.clock,        absent.runLoop, environment_,
                       registry_,           processes_,     smc_,
                       ioReport_,           displays_,      displayServices_,
                       keyboard_,           audio_,         tools_,
                       *userDefaults_,      absent.windows, absent.audioEngines,
                       notifications_,      workspace_,     processInfo_,
                       absent.windowServer, absent.screens, lowPowerScripts_,
                       *loginItem_,         absent.updater};
}

}  // namespace ebbwise::linux_host
