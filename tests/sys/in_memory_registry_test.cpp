#include "sys/in_memory_registry.h"

#include <gtest/gtest.h>

namespace ebbwise::sys {
namespace {

using Entries = std::vector<RegistryEntry>;

TEST(InMemoryRegistryTest, MatchesByClassInInsertionOrder) {
  InMemoryRegistry r;
  auto first = r.add("IOAccelerator", {{"n", 1}});
  r.add("Other", {});
  auto second = r.add("IOAccelerator", {{"n", 2}});
  EXPECT_EQ(r.matchingServices("IOAccelerator"), (Entries{first, second}));
  EXPECT_EQ(r.matchingService("IOAccelerator"), first);
  EXPECT_EQ(r.matchingService("Missing"), std::nullopt);

  EXPECT_EQ(r.properties(second), (Value{{"n", 2}}));
  EXPECT_EQ(r.property(second, "n"), Value(2));
  EXPECT_EQ(r.property(second, "x"), std::nullopt);
  EXPECT_EQ(r.properties(999), std::nullopt);

  r.setProperties(second, Value::array({1}));
  EXPECT_EQ(r.properties(second), Value::array({1}));
  EXPECT_EQ(r.property(second, "n"), std::nullopt);  // no longer a dictionary
}

TEST(InMemoryRegistryTest, DescendantsDepthFirstAndSubtreeRemoval) {
  // root ── a ── a1 ── a1x
  //      │     └ a2
  //      └ b
  InMemoryRegistry r;
  auto root = r.add("Root", {});
  auto a = r.add("Node", {}, root);
  auto b = r.add("Node", {}, root);
  auto a1 = r.add("Node", {}, a);
  auto a2 = r.add("Node", {}, a);
  auto a1x = r.add("Leaf", {}, a1);
  EXPECT_EQ(r.descendants(root), (Entries{a, a1, a1x, a2, b}));
  EXPECT_TRUE(r.descendants(b).empty());
  EXPECT_TRUE(r.descendants(999).empty());

  r.remove(a);
  EXPECT_EQ(r.descendants(root), (Entries{b}));
  for (auto gone : {a, a1, a2, a1x}) EXPECT_EQ(r.properties(gone), std::nullopt) << gone;
  EXPECT_TRUE(r.matchingServices("Leaf").empty());

  // Handles are never reused, so a stale handle cannot reach a new entry.
  auto fresh = r.add("Node", {}, root);
  EXPECT_GT(fresh, a1x);
  EXPECT_EQ(r.descendants(root), (Entries{b, fresh}));
}

}  // namespace
}  // namespace ebbwise::sys
