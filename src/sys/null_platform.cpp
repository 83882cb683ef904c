#include "sys/null_platform.h"

namespace ebbwise::sys {

NullPlatform::NullPlatform(Clock& clock, RunLoop& runLoop, Environment& environment)
    : clock_(clock), runLoop_(runLoop), environment_(environment) {}

Platform NullPlatform::platform() {
  return Platform{clock_,
                  runLoop_,
                  environment_,
                  registry_,
                  processes_,
                  smc_,
                  ioReport_,
                  displays_,
                  displayServices_,
                  coreBrightness_,
                  audio_,
                  toolRunner_,
                  userDefaults_,
                  NoWindows::instance(),
                  NoAudioEngines::instance(),
                  notifications_,
                  workspace_,
                  processInfo_,
                  windowServer_,
                  screens_,
                  privilegedScripts_,
                  loginItem_,
                  updater_};
}

}  // namespace ebbwise::sys
