#pragma once

#include "sys/user_defaults.h"

namespace ebbwise {

// Carries the settings of the application's previous identity over to the
// current one, once: keys only the previous identity has are copied; keys
// both have keep the current value. The previous settings are left in place.
namespace SettingsMigration {

inline constexpr const char* kDoneKey = "migratedFromJoulemark";
inline constexpr const char* kPreviousIdentity = "com.joulemark.Joulemark";

// Runs before anything reads a setting.
void run(sys::UserDefaults& defaults);

}  // namespace SettingsMigration

}  // namespace ebbwise
