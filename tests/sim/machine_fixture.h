#pragma once

#include <gtest/gtest.h>

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

  std::vector<sys::Pid> pids() {
    std::vector<sys::Pid> out(static_cast<std::size_t>(mac->processes().listAllPids({})) + 8);
    out.resize(static_cast<std::size_t>(std::max(0, mac->processes().listAllPids(out))));
    return out;
  }

  // The pid of the live process running `path`, or -1.
  sys::Pid pidOf(std::string_view path) {
    for (sys::Pid pid : pids()) {
      if (mac->processes().executablePath(pid) == path) return pid;
    }
    return -1;
  }

  const ProcessTruth* truthOf(const TruthSnapshot& t, std::string_view path) {
    for (const auto& p : t.processes) {
      if (p.path == path) return &p;
    }
    return nullptr;
  }

  sys::ManualClock clock;
  std::unique_ptr<SimulatedMac> mac;
};

// A small, quiet machine: no generated daemons, so tests see only what they
// put in. `extra` goes inside the top-level object.
inline std::string quietScenario(std::string_view machine = "", std::string_view extra = "") {
  std::string s = R"({"machine": {"backgroundDaemons": 0, "seed": 7)";
  if (!machine.empty()) s += std::string(", ") + std::string(machine);
  s += "}";
  if (!extra.empty()) s += std::string(", ") + std::string(extra);
  return s + "}";
}

}  // namespace ebbwise::sim::testing
