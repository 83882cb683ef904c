#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sys/notification_source.h"
#include "sys/run_loop.h"
#include "sys/value.h"

namespace ebbwise::sys {

// The power-source service's snapshot of every power source at one moment
// (the "info blob"). Readers treat it as opaque and go through `copyList` and
// `description`; only the provider that made it looks inside.
struct PowerSourcesBlob {
  Value contents;
};

// One element of a blob's source list.
using PowerSourceRef = std::uint64_t;

// The platform's power-source service: the internal battery, UPSes and
// accessories with batteries, each described by a dictionary.
class PowerSources {
 public:
  virtual ~PowerSources() = default;

  // A snapshot of every source; nothing when the service cannot answer.
  virtual std::optional<PowerSourcesBlob> copyInfo() = 0;

  // The sources of a snapshot, in the service's order; nothing when the
  // snapshot cannot be read.
  virtual std::optional<std::vector<PowerSourceRef>> copyList(const PowerSourcesBlob& blob) = 0;

  // One source's description dictionary; nothing for a source the snapshot
  // does not hold. The result need not be a dictionary: callers check.
  virtual std::optional<Value> description(const PowerSourcesBlob& blob, PowerSourceRef source) = 0;

  // Runs `callback` on `mainLoop` each time the power-source information
  // changes (a charger plugged or unplugged, the shown charge or the charging
  // state moving on) until the returned source is destroyed. Nothing when
  // the source cannot be created.
  virtual std::unique_ptr<NotificationSource> createRunLoopSource(RunLoop& mainLoop,
                                                                  Task callback) = 0;
};

// A platform without power sources.
class NoPowerSources final : public PowerSources {
 public:
  std::optional<PowerSourcesBlob> copyInfo() override { return std::nullopt; }
  std::optional<std::vector<PowerSourceRef>> copyList(const PowerSourcesBlob&) override {
    return std::nullopt;
  }
  std::optional<Value> description(const PowerSourcesBlob&, PowerSourceRef) override {
    return std::nullopt;
  }
  std::unique_ptr<NotificationSource> createRunLoopSource(RunLoop&, Task) override {
    return nullptr;
  }
  static NoPowerSources& instance() {
    static NoPowerSources none;
    return none;
  }
};

}  // namespace ebbwise::sys
