#pragma once

// Reading a scenario file's JSON: objects whose keys are checked, so a
// misspelt key is reported instead of silently ignored, and the readers of
// the fields that processes, events and the machine share. A fault throws
// `Problem`, which `Scenario::parse` turns into its message; nothing else
// sees it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/scenario.h"
#include "sys/value.h"

namespace ebbwise::sim::scenario_object {

using sys::Value;

// What cannot be read, and where.
struct Problem {
  std::string message;
};

[[noreturn]] void fail(const std::string& path, const std::string& what);
[[noreturn]] void wrongType(const std::string& path, const char* expected, const Value& v);
std::string join(const std::string& path, std::string_view key);
std::string index(const std::string& path, std::size_t i);

// An object whose keys are checked against the ones the reader knows, so a
// misspelt key is reported instead of silently ignored.
class Object {
 public:
  Object(const Value& v, std::string path, const std::vector<std::string_view>& known)
      : v_(v), path_(std::move(path)) {
    if (!v.is_object()) wrongType(path_, "an object", v);
    for (const auto& [key, _] : v.items()) {
      if (std::find(known.begin(), known.end(), key) == known.end()) {
        fail(join(path_, key), "unknown key");
      }
    }
  }

  const std::string& path() const { return path_; }
  std::string at(std::string_view key) const { return join(path_, key); }
  const Value* find(std::string_view key) const {
    auto it = v_.find(key);
    return it == v_.end() ? nullptr : &*it;
  }
  bool has(std::string_view key) const { return find(key) != nullptr; }

  const Value& required(std::string_view key) const {
    if (auto* v = find(key)) return *v;
    fail(path_, "missing \"" + std::string(key) + "\"");
  }

  std::optional<double> number(std::string_view key, double min, double max) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_number()) wrongType(at(key), "a number", *v);
    double d = v->get<double>();
    if (!std::isfinite(d) || d < min || d > max) {
      std::ostringstream s;
      s << "must be between " << min << " and " << max;
      fail(at(key), s.str());
    }
    return d;
  }
  void number(std::string_view key, double& out, double min, double max) const {
    if (auto d = number(key, min, max)) out = *d;
  }
  std::optional<std::int64_t> integer(std::string_view key, std::int64_t min,
                                      std::int64_t max) const {
    auto d = number(key, static_cast<double>(min), static_cast<double>(max));
    if (!d) return std::nullopt;
    if (*d != std::floor(*d)) fail(at(key), "expected a whole number");
    return static_cast<std::int64_t>(*d);
  }
  std::optional<std::string> string(std::string_view key) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_string()) wrongType(at(key), "a string", *v);
    return v->get<std::string>();
  }
  void string(std::string_view key, std::string& out) const {
    if (auto s = string(key)) out = *s;
  }
  std::optional<bool> boolean(std::string_view key) const {
    auto* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_boolean()) wrongType(at(key), "true or false", *v);
    return v->get<bool>();
  }
  void boolean(std::string_view key, bool& out) const {
    if (auto b = boolean(key)) out = *b;
  }

 private:
  const Value& v_;
  std::string path_;
};

template <typename E>
E choice(const Object& o, std::string_view key, E current,
         std::initializer_list<std::pair<std::string_view, E>> options) {
  auto s = o.string(key);
  if (!s) return current;
  for (const auto& [name, value] : options) {
    if (*s == name) return value;
  }
  std::string names;
  for (const auto& [name, _] : options)
    names += (names.empty() ? "\"" : ", \"") + std::string(name) + "\"";
  fail(o.at(key), "unknown value \"" + *s + "\" (expected one of " + names + ")");
}

constexpr double kMaxWatts = 200;
constexpr double kMaxTime = 400 * 24 * 3600.0;

// The keys of a process's load, in a process and in a load event.
#define SCENARIO_LOAD_KEYS "cpu", "gpu", "ane", "decode", "encode", "camera", "fluctuation", "audio"

// A time in seconds or as "1h30m", between min and max seconds.
double timeValue(const Object& o, std::string_view key, double min, double max);
AudioUse audioUse(const Object& o, AudioUse current);
AudioOutput audioOutput(const Object& o, std::string_view key, AudioOutput current);
LowPowerSetting lowPowerSetting(const Object& o, std::string_view key, LowPowerSetting current);
void readLoad(const Object& o, Load& load);
LoadChange readLoadChange(const Object& o);
std::vector<std::string> stringList(const Object& o, std::string_view key);
std::vector<std::pair<std::string, std::string>> stringMap(const Object& o, std::string_view key);
// A process, or `count` copies of it: "id", "id#2", "id#3"…
std::vector<ScenarioProcess> readProcess(const Value& v, const std::string& path);
Charger readCharger(const Object& o);
USBDevice readDevice(const Object& o);

}  // namespace ebbwise::sim::scenario_object
