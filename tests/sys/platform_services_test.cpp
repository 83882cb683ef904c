// What the platform layer itself promises about services that answer later:
// one answer each, on the loop, never inside the call; observers that come
// and go while being told.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/stub_environment.h"
#include "sys/null_platform.h"
#include "sys/observers.h"
#include "sys/timed_answer.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::sys {
namespace {

TEST(TimedAnswerTest, TheFirstOfAnswerAndDeadlineWinsAndTheOtherIsDropped) {
  VirtualRunLoop loop;
  std::vector<std::pair<double, int>> got;
  const Date start = loop.now();
  auto record = [&](int v) { got.emplace_back(loop.now() - start, v); };

  auto early = TimedAnswer<int>::start(loop, 60, -1, record);
  loop.runFor(5);
  early->deliver(7);
  EXPECT_TRUE(got.empty());  // never inside the call
  loop.runFor(100);
  early->deliver(8);  // too late: already answered
  loop.runFor(1);

  auto late = TimedAnswer<int>::start(loop, 60, -1, record);
  loop.runFor(61);
  late->deliver(9);
  loop.runFor(1);

  const std::vector<std::pair<double, int>> expected = {{5, 7}, {166, -1}};
  EXPECT_EQ(got, expected);
}

TEST(ObserverListTest, HandlersMayRemoveObserversWhileBeingTold) {
  ObserverList<int> list;
  std::vector<std::string> told;
  ObserverID second = 0;
  list.add(1, [&] {
    told.push_back("first");
    list.remove(second);  // not told this time
  });
  second = list.add(1, [&] { told.push_back("second"); });
  const ObserverID third = list.add(1, [&] {
    told.push_back("third");
    list.add(1, [&] { told.push_back("added"); });  // only from the next time on
  });
  list.add(2, [&] { told.push_back("other"); });
  list.notify(1);
  EXPECT_EQ(told, (std::vector<std::string>{"first", "third"}));
  list.remove(third);
  told.clear();
  list.notify(1);
  EXPECT_EQ(told, (std::vector<std::string>{"first", "added"}));
  EXPECT_TRUE(list.has(2));
}

TEST(NullPlatformTest, AbsentServicesAnswerLaterAndNothingShows) {
  VirtualRunLoop loop;
  test::StubEnvironment environment;
  NullPlatform null(loop.clock(), loop, environment);
  Platform p = null.platform();
  std::vector<std::string> answers;
  p.notifications.requestAuthorization(kAuthorizationOptionAlert,
                                       [&](bool granted, std::optional<PlatformError> e) {
                                         answers.push_back(granted || !e ? "granted?" : "refused");
                                       });
  p.notifications.add({"heavy-x", {"t", "b", true}}, [&](std::optional<PlatformError> e) {
    answers.push_back(e ? "not shown" : "shown?");
  });
  p.privilegedScripts.run("do shell script \"true\"",
                          [&](ScriptOutcome o) { answers.push_back(o.error ? "failed" : "ran?"); });
  p.workspace.open("https://example.org",
                   [&](bool ok) { answers.push_back(ok ? "opened?" : "not opened"); });
  EXPECT_TRUE(answers.empty());
  loop.runUntilIdle();
  EXPECT_EQ(answers, (std::vector<std::string>{"refused", "not shown", "failed", "not opened"}));
  EXPECT_FALSE(p.workspace.frontmostApplication());
  EXPECT_TRUE(p.screens.screens().empty());
  EXPECT_FALSE(p.windowServer.copyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID));
  EXPECT_FALSE(p.displays.onlineDisplays(16));
  EXPECT_EQ(p.processInfo.thermalState(), ThermalState::nominal);
  EXPECT_TRUE(p.loginItem.registerItem());
  EXPECT_FALSE(p.updater.start());
  EXPECT_FALSE(p.powerSources.copyInfo());
  // A script fails instead of answering nothing.
  const ScriptResult script = p.scriptRunner.run("return 1");
  ASSERT_TRUE(script.error);
  EXPECT_EQ(script.error->number, ScriptRunner::kCannotRun);
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

}  // namespace
}  // namespace ebbwise::sys
