#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sys/value.h"

namespace ebbwise::sys {

// One entry of the I/O registry. Entries are plain handles; nothing needs
// releasing on our side.
using RegistryEntry = std::uint64_t;

// The platform's device registry: services found by class name, each with a
// dictionary of properties and a tree of child entries.
class Registry {
 public:
  virtual ~Registry() = default;

  // Every service whose class is (or derives from) `className`; empty when
  // none matches.
  virtual std::vector<RegistryEntry> matchingServices(std::string_view className) = 0;

  // The first matching service, or nothing when none matches.
  std::optional<RegistryEntry> matchingService(std::string_view className) {
    auto all = matchingServices(className);
    if (all.empty()) return std::nullopt;
    return all.front();
  }

  // A copy of the entry's whole property dictionary; nothing when the entry is
  // gone or the copy fails. The result need not be a dictionary: callers check.
  virtual std::optional<Value> properties(RegistryEntry entry) = 0;

  // One property of the entry; nothing when the entry or the key is missing.
  virtual std::optional<Value> property(RegistryEntry entry, std::string_view key) = 0;

  // Every entry below `entry` in the service plane, depth first (a recursive
  // registry iterator); empty when the entry has no children or is gone.
  virtual std::vector<RegistryEntry> descendants(RegistryEntry entry) = 0;
};

}  // namespace ebbwise::sys
