#pragma once

#include <map>
#include <string>

#include "sys/user_defaults.h"

namespace ebbwise::sys {

// A user-defaults store held in memory, for tests and the simulated machine:
// what is written is read back until the store goes away.
class InMemoryUserDefaults final : public UserDefaults {
 public:
  std::optional<Value> object(std::string_view key) override;
  void setObject(std::string_view key, Value value) override;
  void removeObject(std::string_view key) override;
  std::optional<Value> persistentDomain(std::string_view name) override;

  // What another application identity stored (a dictionary), as if it had run
  // on this machine before.
  void setPersistentDomain(std::string name, Value domain);

 private:
  std::map<std::string, Value, std::less<>> values_;
  std::map<std::string, Value, std::less<>> domains_;
};

}  // namespace ebbwise::sys
