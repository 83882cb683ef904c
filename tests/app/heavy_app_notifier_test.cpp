// The heavy-app notification's texts, the one-line process facts and the
// cool-down dates kept across restarts.

#include <gtest/gtest.h>

#include "app/heavy_app_notifier.h"
#include "app/process_facts.h"
#include "sys/in_memory_user_defaults.h"

namespace ebbwise {
namespace {

const sys::Date kNow{1'700'000'000};

TEST(HeavyAppNotifierTest, TheNotificationNamesTheRowAndItsPower) {
  const sys::NotificationRequest safari =
      HeavyAppNotifier::request(HeavyAppAlert{"Safari", 3.24}, std::nullopt);
  EXPECT_EQ(safari.identifier, "heavy-Safari");
  EXPECT_EQ(safari.content.title, "Safari is draining your battery");
  EXPECT_EQ(safari.content.body, "3.2 W for the last few minutes.");
  EXPECT_TRUE(safari.content.defaultSound);

  // A developer tool's row is titled by its project; what its heaviest
  // process does follows the figure after one space.
  const sys::NotificationRequest tool =
      HeavyAppNotifier::request(HeavyAppAlert{"shop \u00B7 npm test", 4.0},
                                std::string("npm test \u00B7 started by Terminal"));
  EXPECT_EQ(tool.identifier, "heavy-shop \u00B7 npm test");
  EXPECT_EQ(tool.content.title, "shop is draining your battery");
  EXPECT_EQ(tool.content.body,
            "4.0 W for the last few minutes. npm test \u00B7 started by Terminal");
}

TEST(ProcessFactsTest, OnlyKnownPartsAreJoined) {
  ProcessDetails bare;
  bare.command = "node server.js";
  EXPECT_EQ(ProcessFacts::facts(bare, std::nullopt, kNow), "node server.js");

  ProcessDetails full = bare;
  full.launcher = "Terminal";
  full.started = kNow - 300;
  EXPECT_EQ(ProcessFacts::facts(full, std::string("npm run dev"), kNow),
            "npm run dev \u00B7 started by Terminal \u00B7 5 minutes ago");
}

TEST(ProcessFactsTest, RelativeTimesUseWholeSpelledOutUnits) {
  struct Case {
    double secondsAgo;
    const char* text;
  };
  for (const Case& c : {Case{0.4, "now"}, Case{1, "1 second ago"}, Case{59, "59 seconds ago"},
                        Case{60, "1 minute ago"}, Case{7300, "2 hours ago"},
                        Case{86400 * 3, "3 days ago"}, Case{-120, "in 2 minutes"}}) {
    EXPECT_EQ(ProcessFacts::relativeTime(kNow - c.secondsAgo, kNow), c.text) << c.secondsAgo;
  }
}

TEST(HeavyAppNotifierTest, CoolDownDatesSurviveARestartAndDamagedOnesAreIgnored) {
  sys::InMemoryUserDefaults defaults;
  DefaultsWriter writer(defaults);
  const std::map<std::string, sys::Date> dates{{"Render", kNow - 600}, {"Old", kNow - 4000}};
  HeavyAppNotifier::saveLastAlerts(writer, dates, kNow, 1800);
  auto loaded = HeavyAppNotifier::loadLastAlerts(writer, kNow + 60, 1800);
  ASSERT_EQ(loaded.size(), 1u) << "an alert older than the cool-down is no longer kept";
  EXPECT_NEAR(loaded.at("Render") - (kNow - 600), 0, 1e-6);

  defaults.setObject(
      HeavyAppNotifier::kLastAlertsKey,
      sys::Value{{"Render", "yesterday"}, {"Future", (kNow + 86400).secondsSinceReferenceDate()}});
  loaded = HeavyAppNotifier::loadLastAlerts(writer, kNow, 1800);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded.at("Future"), kNow) << "a date ahead of the clock silences no longer than now";

  defaults.setObject(HeavyAppNotifier::kLastAlertsKey, sys::Value::array());
  EXPECT_TRUE(HeavyAppNotifier::loadLastAlerts(writer, kNow, 1800).empty());
}

}  // namespace
}  // namespace ebbwise
