#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/scenario.h"
#include "sim/simulated_mac.h"
#include "sys/clock.h"

namespace ebbwise::sim::testing {

// A simulated machine on a manual clock that starts at the scenario's date.
struct Machine {
  explicit Machine(std::string_view json) : Machine(parseOrDie(json)) {}
  explicit Machine(Scenario s)
      : clock(s.machine.start), mac(std::make_unique<SimulatedMac>(std::move(s), clock)) {}

  static Scenario parseOrDie(std::string_view json) {
    auto parsed = Scenario::parse(json, "test");
    EXPECT_TRUE(parsed) << parsed.error;
    return parsed ? *parsed.scenario : Scenario{};
  }

  void advance(double seconds) { clock.advance(seconds); }
  sys::Processes& procs() { return mac->processes(); }

  std::vector<sys::Pid> pids() {
    std::vector<sys::Pid> out(static_cast<std::size_t>(procs().listAllPids({})) + 8);
    out.resize(static_cast<std::size_t>(std::max(0, procs().listAllPids(out))));
    return out;
  }

  // The pid of the live process running `path`, or -1.
  sys::Pid pidOf(std::string_view path) {
    for (sys::Pid pid : pids())
      if (procs().executablePath(pid) == path) return pid;
    return -1;
  }

  // The truth about the process running `path` (empty if it never ran).
  static ProcessTruth truthOf(const TruthSnapshot& t, std::string_view path) {
    for (const auto& p : t.processes)
      if (p.path == path) return p;
    return {};
  }

  sys::ManualClock clock;
  std::unique_ptr<SimulatedMac> mac;
};

// One SMC request record, laid out by hand: key at 0, info size at 28, type
// at 32, result at 40, command at 42, value from 48.
struct SMCAnswer {
  int kernelReturn = 0;
  std::array<std::uint8_t, 80> out{};
  std::uint8_t result() const { return out[40]; }
  std::uint32_t word(std::size_t at) const {
    return std::uint32_t(out[at]) | std::uint32_t(out[at + 1]) << 8 |
           std::uint32_t(out[at + 2]) << 16 | std::uint32_t(out[at + 3]) << 24;
  }
  float floatValue() const {
    std::uint32_t raw = word(48);
    float f;
    std::memcpy(&f, &raw, 4);
    return f;
  }
};

inline SMCAnswer smcCall(sys::SMCUserClient& smc, sys::SMCConnection c, const char (&key)[5],
                         std::uint8_t command, std::uint32_t size = 0) {
  std::array<std::uint8_t, 80> in{};
  const std::uint32_t code = sys::fourCharCode(key);
  for (std::size_t i = 0; i < 4; ++i) {
    in[i] = static_cast<std::uint8_t>(code >> (8 * i));
    in[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  }
  in[42] = command;
  SMCAnswer a;
  a.kernelReturn = smc.callStructMethod(c, 2, in, a.out);
  return a;
}

// A float key's value, or nothing if the read fails.
inline std::optional<float> smcFloat(sys::SMCUserClient& smc, const char (&key)[5]) {
  auto c = smc.open();
  if (!c) return std::nullopt;
  auto read = smcCall(smc, *c, key, 5, 4);
  smc.close(*c);
  if (read.kernelReturn != 0 || read.result() != 0) return std::nullopt;
  return read.floatValue();
}

// Every "Energy Model" channel's counter, by name.
inline std::map<std::string, std::int64_t> chipCounters(sys::IOReport& report) {
  std::map<std::string, std::int64_t> out;
  auto channels = report.copyChannelsInGroup("Energy Model", std::nullopt);
  if (!channels) return out;
  sys::Value subscribed;
  auto sub = report.createSubscription(*channels, subscribed);
  auto sample = sub ? report.createSamples(*sub, subscribed) : std::nullopt;
  for (const auto& entry : sample ? (*sample)["IOReportChannels"] : sys::Value::array())
    out[report.channelName(entry).value_or("?")] = report.simpleIntegerValue(entry);
  return out;
}

// A small, quiet machine: no generated daemons, so tests see only what they
// put in. `extra` goes inside the top-level object.
inline std::string quietScenario(std::string_view machine = "", std::string_view extra = "") {
  std::string s = R"({"machine": {"backgroundDaemons": 0, "seed": 7)";
  if (!machine.empty()) s += ", " + std::string(machine);
  s += "}";
  if (!extra.empty()) s += ", " + std::string(extra);
  return s + "}";
}

}  // namespace ebbwise::sim::testing
