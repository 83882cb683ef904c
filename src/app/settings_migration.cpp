#include "app/settings_migration.h"

namespace ebbwise::SettingsMigration {

void run(sys::UserDefaults& defaults) {
  if (defaults.boolValue(kDoneKey)) return;
  if (auto previous = defaults.persistentDomain(kPreviousIdentity);
      previous && previous->is_object()) {
    for (const auto& [key, value] : previous->items()) {
      // A null is no property-list value: storing it would remove the key.
      if (value.is_null() || defaults.object(key)) continue;
      defaults.setObject(key, value);
    }
  }
  defaults.setObject(kDoneKey, true);
}

}  // namespace ebbwise::SettingsMigration
