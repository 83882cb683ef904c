#pragma once

#include <string_view>

#include <gtest/gtest.h>

#include "sim/scenario.h"

namespace ebbwise {

// A scenario written inline in a test; a scenario that does not parse fails
// the test and gives the empty one.
inline sim::Scenario scenario(std::string_view json) {
  auto parsed = sim::Scenario::parse(json, "test");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : sim::Scenario{};
}

}  // namespace ebbwise
