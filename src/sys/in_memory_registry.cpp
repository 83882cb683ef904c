#include "sys/in_memory_registry.h"

#include <algorithm>

namespace ebbwise::sys {

RegistryEntry InMemoryRegistry::add(std::string className, Value properties,
                                    RegistryEntry parent) {
  RegistryEntry id = next_++;
  nodes_[id] = Node{std::move(className), std::move(properties), parent, {}};
  if (auto it = nodes_.find(parent); parent != 0 && it != nodes_.end()) {
    it->second.children.push_back(id);
  }
  return id;
}

void InMemoryRegistry::setProperties(RegistryEntry entry, Value properties) {
  if (auto it = nodes_.find(entry); it != nodes_.end()) it->second.properties = std::move(properties);
}

void InMemoryRegistry::remove(RegistryEntry entry) {
  auto it = nodes_.find(entry);
  if (it == nodes_.end()) return;
  auto children = it->second.children;
  if (auto parent = nodes_.find(it->second.parent); parent != nodes_.end()) {
    std::erase(parent->second.children, entry);
  }
  nodes_.erase(it);
  for (auto child : children) remove(child);
}

std::vector<RegistryEntry> InMemoryRegistry::matchingServices(std::string_view className) {
  std::vector<RegistryEntry> out;
  for (const auto& [id, node] : nodes_) {
    if (node.className == className) out.push_back(id);
  }
  return out;
}

std::optional<Value> InMemoryRegistry::properties(RegistryEntry entry) {
  auto it = nodes_.find(entry);
  if (it == nodes_.end()) return std::nullopt;
  return it->second.properties;
}

std::optional<Value> InMemoryRegistry::property(RegistryEntry entry, std::string_view key) {
  auto it = nodes_.find(entry);
  if (it == nodes_.end()) return std::nullopt;
  if (const Value* v = member(it->second.properties, key)) return *v;
  return std::nullopt;
}

void InMemoryRegistry::collect(RegistryEntry entry, std::vector<RegistryEntry>& out) const {
  auto it = nodes_.find(entry);
  if (it == nodes_.end()) return;
  for (auto child : it->second.children) {
    out.push_back(child);
    collect(child, out);
  }
}

std::vector<RegistryEntry> InMemoryRegistry::descendants(RegistryEntry entry) {
  std::vector<RegistryEntry> out;
  collect(entry, out);
  return out;
}

}  // namespace ebbwise::sys
