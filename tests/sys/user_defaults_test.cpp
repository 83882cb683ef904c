#include "sys/user_defaults.h"

#include <gtest/gtest.h>

#include "sys/in_memory_user_defaults.h"

namespace ebbwise::sys {
namespace {

TEST(UserDefaults, TypedReadsFollowThePlatformsCoercions) {
  InMemoryUserDefaults defaults;
  struct Case {
    Value stored;
    bool asBool;
    std::optional<std::string> asString;
  };
  const std::vector<Case> cases = {
      {true, true, std::nullopt}, {false, false, std::nullopt},
      {1, true, std::nullopt},    {0.0, false, std::nullopt},
      {-2.5, true, std::nullopt}, {"YES", true, "YES"},
      {"true", true, "true"},     {"7", true, "7"},
      {"0", false, "0"},          {"no", false, "no"},
      {" 1.5", true, " 1.5"},     {Value::array({1}), false, std::nullopt},
  };
  for (const Case& c : cases) {
    defaults.setObject("key", c.stored);
    EXPECT_EQ(defaults.boolValue("key"), c.asBool) << c.stored;
    EXPECT_EQ(defaults.stringValue("key"), c.asString) << c.stored;
  }
  // Storing nothing removes the key.
  defaults.setObject("key", Value());
  EXPECT_FALSE(defaults.object("key"));
  EXPECT_FALSE(defaults.boolValue("key"));
}

}  // namespace
}  // namespace ebbwise::sys
