#pragma once

#include <map>
#include <string>

#include "sys/registry.h"

namespace ebbwise::sys {

// A registry held in memory: entries with a class name, properties and
// children. Serves tests and any provider that builds its registry from a
// model.
class InMemoryRegistry final : public Registry {
 public:
  // Adds an entry and returns its handle; `parent` 0 makes it a root service.
  RegistryEntry add(std::string className, Value properties, RegistryEntry parent = 0);
  // Replaces an entry's properties; no-op for an unknown entry.
  void setProperties(RegistryEntry entry, Value properties);
  // Removes an entry and everything below it.
  void remove(RegistryEntry entry);

  std::vector<RegistryEntry> matchingServices(std::string_view className) override;
  std::optional<Value> properties(RegistryEntry entry) override;
  std::optional<Value> property(RegistryEntry entry, std::string_view key) override;
  std::vector<RegistryEntry> descendants(RegistryEntry entry) override;

 private:
  struct Node {
    std::string className;
    Value properties;
    RegistryEntry parent = 0;
    std::vector<RegistryEntry> children;
  };
  void collect(RegistryEntry entry, std::vector<RegistryEntry>& out) const;

  std::map<RegistryEntry, Node> nodes_;
  RegistryEntry next_ = 1;
};

}  // namespace ebbwise::sys
