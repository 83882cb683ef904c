#include "sys/in_memory_user_defaults.h"

namespace ebbwise::sys {

std::optional<Value> InMemoryUserDefaults::object(std::string_view key) {
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void InMemoryUserDefaults::setObject(std::string_view key, Value value) {
  if (value.is_null()) return removeObject(key);
  values_.insert_or_assign(std::string(key), std::move(value));
}

void InMemoryUserDefaults::removeObject(std::string_view key) {
  if (const auto it = values_.find(key); it != values_.end()) values_.erase(it);
}

std::optional<Value> InMemoryUserDefaults::persistentDomain(std::string_view name) {
  const auto it = domains_.find(name);
  if (it == domains_.end()) return std::nullopt;
  return it->second;
}

void InMemoryUserDefaults::setPersistentDomain(std::string name, Value domain) {
  domains_.insert_or_assign(std::move(name), std::move(domain));
}

}  // namespace ebbwise::sys
