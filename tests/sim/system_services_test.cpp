// The simulated system services: Low Power Mode and heat, the password
// prompt behind privileged scripts, user notifications, the login item.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/sim_privileged_scripts.h"
#include "sim/simulation.h"

namespace ebbwise::sim {
namespace {

Scenario parse(const std::string& json) {
  auto parsed = Scenario::parse(json, "t");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : Scenario{};
}

const std::string kSwitchOn =
    R"(do shell script "/usr/bin/pmset -a lowpowermode 1" with administrator privileges)";

TEST(SimProcessInfoTest, LowPowerModeFollowsTheSettingAndTheCharger) {
  // On battery only: on after the unplug, off again on the charger, and
  // switched for good by the user at 30 min.
  Simulation sim(parse(R"({"machine": {"lowPowerMode": "battery",
      "charger": {"name": "96W USB-C Power Adapter", "watts": 96}},
    "events": [{"at": "10m", "type": "unplug"}, {"at": "20m", "type": "plug", "watts": 96},
               {"at": "30m", "type": "low-power", "mode": "always"}]})"));
  auto platform = sim.platform();
  std::vector<std::pair<double, bool>> changes;
  platform.processInfo.addObserver(sys::ProcessInfoNotification::powerStateDidChange, [&] {
    changes.emplace_back(sim.elapsed(), platform.processInfo.isLowPowerModeEnabled());
  });
  EXPECT_FALSE(platform.processInfo.isLowPowerModeEnabled());
  sim.runFor(3600);
  ASSERT_EQ(changes.size(), 3u);
  const std::pair<double, bool> expected[] = {{600, true}, {1200, false}, {1800, true}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(changes[i].first, expected[i].first, 0.01) << i;
    EXPECT_EQ(changes[i].second, expected[i].second) << i;
  }
}

TEST(SimProcessInfoTest, LowPowerModeCapsWhatTheProcessorDraws) {
  const std::string processes =
      R"("processes": [{"id": "work", "path": "/usr/bin/work", "cpu": 10, "fluctuation": 0}])";
  Simulation normal(parse("{" + processes + "}"));
  Simulation saving(parse(R"({"machine": {"lowPowerMode": "always"}, )" + processes + "}"));
  normal.runFor(600);
  saving.runFor(600);
  const double ratio = saving.mac().truth().systemJoules / normal.mac().truth().systemJoules;
  EXPECT_LT(ratio, 0.95);
  EXPECT_GT(ratio, 0.6);
}

TEST(SimProcessInfoTest, TheThermalStateRisesUnderAHeavyLoadAndFallsAfterIt) {
  Simulation sim(parse(R"({"machine": {"backgroundDaemons": 0},
    "events": [{"at": "1m", "type": "start", "process": {"id": "render", "path": "/usr/bin/render",
                "cpu": 30, "gpu": 8, "fluctuation": 0, "end": "11m"}}]})"));
  auto platform = sim.platform();
  std::vector<sys::ThermalState> states;
  platform.processInfo.addObserver(sys::ProcessInfoNotification::thermalStateDidChange,
                                   [&] { states.push_back(platform.processInfo.thermalState()); });
  EXPECT_EQ(platform.processInfo.thermalState(), sys::ThermalState::nominal);
  sim.runFor(660);
  ASSERT_FALSE(states.empty());
  EXPECT_GE(states.back(), sys::ThermalState::fair);
  // Each step is told once, one at a time.
  for (std::size_t i = 1; i < states.size(); ++i) EXPECT_NE(states[i], states[i - 1]);
  sim.runFor(1200);
  EXPECT_EQ(platform.processInfo.thermalState(), sys::ThermalState::nominal);
  EXPECT_EQ(states.back(), sys::ThermalState::nominal);
}

struct ScriptCase {
  const char* name;
  const char* password;
  std::optional<std::int64_t> error;
  bool switched;
};

TEST(SimPrivilegedScriptTest, ThePasswordPromptDecidesWhatHappens) {
  const ScriptCase cases[] = {
      {"granted", R"("grant")", std::nullopt, true},
      {"cancelled", R"("cancel")", sys::kScriptUserCanceled, false},
      {"wrong password", R"("fail")", SimPrivilegedScriptRunner::kAuthenticationFailed, false},
      {"never answered", R"("hang")", sys::kScriptTimedOut, false},
  };
  for (const auto& c : cases) {
    Simulation sim(parse(std::string(R"({"machine": {"services": {"password": )") + c.password +
                         R"(, "passwordTime": "8s"}}})"));
    auto platform = sim.platform();
    int told = 0;
    platform.processInfo.addObserver(sys::ProcessInfoNotification::powerStateDidChange,
                                     [&] { ++told; });
    std::optional<sys::ScriptOutcome> outcome;
    double answeredAt = -1;
    platform.privilegedScripts.run(kSwitchOn, [&](sys::ScriptOutcome o) {
      outcome = std::move(o);
      answeredAt = sim.elapsed();
    });
    EXPECT_FALSE(outcome) << c.name;  // never inside the call
    sim.runFor(120);
    ASSERT_TRUE(outcome) << c.name;
    EXPECT_EQ(outcome->error ? std::optional(outcome->error->number) : std::nullopt, c.error)
        << c.name;
    if (!c.error) {
      EXPECT_EQ(outcome->result, "") << c.name;  // pmset says nothing
    } else {
      EXPECT_TRUE(outcome->error->message) << c.name;
    }
    EXPECT_NEAR(answeredAt, c.error == sys::kScriptTimedOut ? 60 : 8, 0.01) << c.name;
    EXPECT_EQ(platform.processInfo.isLowPowerModeEnabled(), c.switched) << c.name;
    EXPECT_EQ(told, c.switched ? 1 : 0) << c.name;
    EXPECT_EQ(sim.mac().passwordPrompts(), 1) << c.name;
  }
}

TEST(SimPrivilegedScriptTest, ScriptsWaitBehindAPromptLeftOpen) {
  // The first prompt is never answered; the second script waits behind it
  // and times out as well, and neither holds the loop meanwhile.
  Simulation sim(parse(R"({"machine": {"services": {"password": ["hang", "grant"]}}})"));
  auto platform = sim.platform();
  std::vector<std::pair<double, std::int64_t>> answers;
  auto record = [&](sys::ScriptOutcome o) {
    answers.emplace_back(sim.elapsed(), o.error ? o.error->number : 0);
  };
  platform.privilegedScripts.run(kSwitchOn, record);
  sim.runFor(30);
  platform.privilegedScripts.run(kSwitchOn, record);
  int ticks = 0;
  platform.runLoop.scheduleRepeating(5, 0, [&] { ++ticks; });
  sim.runFor(300);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], (std::pair<double, std::int64_t>{60, sys::kScriptTimedOut}));
  EXPECT_NEAR(answers[1].first, 90, 0.01);
  EXPECT_EQ(answers[1].second, sys::kScriptTimedOut);
  EXPECT_EQ(sim.mac().passwordPrompts(), 1);
  EXPECT_EQ(ticks, 60);
}

TEST(SimPrivilegedScriptTest, OtherScriptsFailAsOnAMac) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {R"(do shell script "/usr/bin/pmset -a lowpowermode 1")", 1},  // not as root
      {R"(do shell script "/usr/bin/pmset -a lowpowermode" with administrator privileges)", 1},
      {R"(do shell script "rm -rf /" with administrator privileges)", 127},
      {R"(tell application "Finder" to quit)", -2741},
      {R"(do shell script "pmset -a lowpowermode 1)", -2741},  // the string never ends
  };
  Simulation sim(parse(R"({"machine": {"lowPowerMode": "never"}})"));
  auto platform = sim.platform();
  for (const auto& [source, number] : cases) {
    std::optional<sys::ScriptOutcome> outcome;
    platform.privilegedScripts.run(source, [&](sys::ScriptOutcome o) { outcome = std::move(o); });
    sim.runFor(30);
    ASSERT_TRUE(outcome && outcome->error) << source;
    EXPECT_EQ(outcome->error->number, number) << source;
  }
  EXPECT_FALSE(platform.processInfo.isLowPowerModeEnabled());
}

TEST(SimPrivilegedScriptTest, BatteryOnlyAndAdapterOnlySwitchesCombine) {
  Simulation sim(parse(R"({"machine": {"services": {"passwordTime": 0}}})"));
  auto platform = sim.platform();
  auto run = [&](const std::string& flags) {
    platform.privilegedScripts.run(
        R"(do shell script "pmset )" + flags + R"(" with administrator privileges)",
        [](sys::ScriptOutcome) {});
    sim.runFor(1);
  };
  run("-b lowpowermode 1");  // on battery only, and the machine is on battery
  EXPECT_TRUE(platform.processInfo.isLowPowerModeEnabled());
  run("-c lowpowermode 1");
  run("-b lowpowermode 0");  // now on the adapter only
  EXPECT_FALSE(platform.processInfo.isLowPowerModeEnabled());
  run("-a lowpowermode 1");
  EXPECT_TRUE(platform.processInfo.isLowPowerModeEnabled());
}

TEST(SimNotificationsTest, PermissionIsAskedOnceAndPostsReplaceByIdentifier) {
  Simulation sim(parse("{}"));
  auto platform = sim.platform();
  auto& center = platform.notifications;
  std::vector<std::optional<sys::PlatformError>> posted;
  auto post = [&](std::string id, std::string body) {
    center.add({id, {"Safari is draining your battery", body, true}},
               [&](std::optional<sys::PlatformError> e) { posted.push_back(e); });
  };
  post("heavy-Safari", "before permission");
  std::vector<bool> grants;
  center.requestAuthorization(sys::kAuthorizationOptionAlert | sys::kAuthorizationOptionSound,
                              [&](bool granted, auto) { grants.push_back(granted); });
  center.requestAuthorization(sys::kAuthorizationOptionAlert,
                              [&](bool granted, auto) { grants.push_back(granted); });
  sim.runFor(1);
  EXPECT_TRUE(grants.empty());  // the user is still reading the prompt
  sim.runFor(10);
  EXPECT_EQ(grants, (std::vector<bool>{true, true}));
  ASSERT_EQ(posted.size(), 1u);
  ASSERT_TRUE(posted[0]);
  EXPECT_EQ(posted[0]->code, sys::kNotificationsNotAllowed);

  post("heavy-Safari", "3.2 W for the last few minutes.");
  post("heavy-Xcode", "5.0 W for the last few minutes.");
  sim.runFor(60);
  post("heavy-Safari", "4.1 W for the last few minutes.");
  std::vector<sys::DeliveredNotification> shown;
  center.deliveredNotifications([&](auto list) { shown = std::move(list); });
  sim.runFor(1);
  ASSERT_EQ(posted.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_FALSE(posted[i]) << i;
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].request.identifier, "heavy-Xcode");
  EXPECT_EQ(shown[1].request.content.body, "4.1 W for the last few minutes.");
  EXPECT_NEAR(shown[1].date - sim.mac().startDate(), 71, 0.01);
  EXPECT_EQ(sim.mac().notificationHistory().size(), 3u);
}

TEST(SimNotificationsTest, DeniedOrFailedPermissionKeepsEveryNotificationAway) {
  for (const char* answer : {"deny", "fail"}) {
    Simulation sim(
        parse(std::string(R"({"machine": {"services": {"notifications": ")") + answer + R"("}}})"));
    auto platform = sim.platform();
    std::optional<std::pair<bool, bool>> grant;  // granted, with an error
    platform.notifications.requestAuthorization(
        sys::kAuthorizationOptionAlert, [&](bool granted, std::optional<sys::PlatformError> e) {
          grant = {granted, e.has_value()};
        });
    sim.runFor(10);
    ASSERT_TRUE(grant) << answer;
    EXPECT_EQ(*grant, (std::pair{false, std::string(answer) == "fail"})) << answer;
    std::optional<sys::PlatformError> error;
    platform.notifications.add({"heavy-Safari", {"t", "b", false}},
                               [&](std::optional<sys::PlatformError> e) { error = e; });
    sim.runFor(1);
    ASSERT_TRUE(error) << answer;
    EXPECT_EQ(error->domain, sys::kNotificationErrorDomain) << answer;
    EXPECT_TRUE(sim.mac().notificationHistory().empty()) << answer;
  }
}

TEST(SimLoginItemTest, RegistersOnceAndFailsAsTheScenarioSays) {
  {
    Simulation sim(parse("{}"));
    auto& item = sim.platform().loginItem;
    EXPECT_EQ(item.status(), sys::LoginItemStatus::notRegistered);
    EXPECT_FALSE(item.registerItem());
    EXPECT_EQ(item.status(), sys::LoginItemStatus::enabled);
    const auto again = item.registerItem();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, sys::kLoginItemAlreadyRegistered);
    EXPECT_EQ(sim.mac().loginItemRegistrations(), 1);
    EXPECT_FALSE(item.unregisterItem());
    EXPECT_EQ(item.unregisterItem()->code, sys::kLoginItemJobNotFound);
  }
  {
    Simulation sim(parse(R"({"machine": {"services": {"loginItem": "fail"}}})"));
    EXPECT_TRUE(sim.platform().loginItem.registerItem());
    EXPECT_EQ(sim.platform().loginItem.status(), sys::LoginItemStatus::notRegistered);
  }
  {
    Simulation sim(parse(R"({"machine": {"services": {"loginItem": "approval"}}})"));
    EXPECT_FALSE(sim.platform().loginItem.registerItem());
    EXPECT_EQ(sim.platform().loginItem.status(), sys::LoginItemStatus::requiresApproval);
  }
}

TEST(SimScenarioServicesTest, RefusesWhatAMacCouldNotDo) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"machine": {"model": "desktop", "lid": "open"}})", "no built-in screen"},
      {R"({"machine": {"model": "desktop"}, "events": [{"at": 5, "type": "unplug"}]})",
       "a desktop takes no plug"},
      {R"({"machine": {"services": {"password": ["grant", "maybe"]}}})",
       "machine.services.password[1]: unknown answer"},
      {R"({"machine": {"services": {"password": []}}})", "at least one answer"},
      {R"({"events": [{"at": 5, "type": "activate", "process": "nobody"}]})",
       "no process \"nobody\" (activate)"},
      {R"({"events": [{"at": 5, "type": "fullscreen", "process": "x"}]})", "missing \"on\""},
      {R"({"events": [{"at": 5, "type": "low-power", "mode": "sometimes"}]})", "unknown value"},
  };
  for (const auto& [json, message] : cases) {
    auto parsed = Scenario::parse(json, "t");
    EXPECT_FALSE(parsed) << json;
    EXPECT_NE(parsed.error.find(message), std::string::npos) << parsed.error;
  }
}

}  // namespace
}  // namespace ebbwise::sim
