#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/tool_runner.h"

namespace ebbwise {

// A Bluetooth accessory with a battery (mouse, keyboard, earbuds and the
// like), as the system's Bluetooth report lists it.
struct DeviceBattery {
  struct Level {
    std::string label;  // "" for the main battery, "L", "R", "case"
    int percent = 0;
    friend bool operator==(const Level&, const Level&) = default;
  };

  std::string name;           // as the report gives it
  std::string kind;           // "Mouse", "Keyboard", "Headphones"…; empty when not given
  std::vector<Level> levels;  // main, left, right, case: those the report gives
  bool isConnected = false;

  const std::string& id() const { return name; }
  // The system symbol drawn beside it.
  std::string symbol() const;

  // Runs the Bluetooth report and parses it; empty when the tool cannot run.
  // Blocks until the tool ends: never call it on the main thread.
  static std::vector<DeviceBattery> read(sys::ToolRunner& tools);

  // The accessories with at least one battery level in a report: connected
  // ones first, then by name. Anything not shaped like a report gives none.
  static std::vector<DeviceBattery> parse(std::string_view json);

  friend bool operator==(const DeviceBattery&, const DeviceBattery&) = default;
};

}  // namespace ebbwise
