#include "sys/null_platform.h"

namespace ebbwise::sys {

NullPlatform::NullPlatform(Clock& clock, RunLoop& runLoop, Environment& environment)
    : clock_(clock), runLoop_(runLoop), environment_(environment) {}

Platform NullPlatform::platform() {
  return Platform{clock_, runLoop_,    environment_, registry_,        processes_,
                  smc_,   ioReport_,   displays_,    displayServices_, coreBrightness_,
                  audio_, toolRunner_, userDefaults_};
}

}  // namespace ebbwise::sys
