#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise::sys {

// The application's user-defaults store: string keys, each holding one
// property-list value (number, boolean, string, data, list or dictionary).
// Values written are kept for later runs of the application. Writing never
// fails in the caller's eyes: a store that cannot persist a change still
// answers it for the rest of the run.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;

  // The value stored under `key`; nothing when there is none.
  virtual std::optional<Value> object(std::string_view key) = 0;

  // Stores `value` under `key`, replacing what was there. A null value
  // removes the key, as storing nil does.
  virtual void setObject(std::string_view key, Value value) = 0;

  virtual void removeObject(std::string_view key) = 0;

  // persistentDomain(forName:): every key another application identity
  // stored, as a dictionary; nothing when that identity stored nothing or
  // the store cannot see other identities.
  virtual std::optional<Value> persistentDomain(std::string_view) { return std::nullopt; }

  // The platform's typed reads. `boolValue`: a boolean as it is, a number
  // when it is not zero, a string when it reads "true" or "yes" in any case
  // or begins with a non-zero integer; false otherwise and when missing.
  bool boolValue(std::string_view key);
  // A string as it is; nothing for any other type.
  std::optional<std::string> stringValue(std::string_view key);
};

// A store that keeps nothing: every key is missing, every write is dropped.
class NoUserDefaults final : public UserDefaults {
 public:
  std::optional<Value> object(std::string_view) override { return std::nullopt; }
  void setObject(std::string_view, Value) override {}
  void removeObject(std::string_view) override {}
  // One stateless instance for providers that keep no settings.
  static NoUserDefaults& instance() {
    static NoUserDefaults none;
    return none;
  }
};

}  // namespace ebbwise::sys
