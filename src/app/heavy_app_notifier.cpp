#include "app/heavy_app_notifier.h"

#include <cmath>
#include <cstdio>

#include "sensors/processes/process_inspector.h"

namespace ebbwise {

HeavyAppNotifier::HeavyAppNotifier(sys::UserNotificationCenter& center) : center_(center) {}

HeavyAppNotifier::~HeavyAppNotifier() {
  alive_.reset();
}

sys::NotificationRequest HeavyAppNotifier::request(const HeavyAppAlert& alert,
                                                   const std::optional<std::string>& facts) {
  char figure[64];
  std::snprintf(figure, sizeof figure, "%.1f W for the last few minutes.", alert.watts);
  std::string body = figure;
  if (facts && !facts->empty()) body += " " + *facts;
  return sys::NotificationRequest{
      kIdentifierPrefix + alert.app,
      sys::NotificationContent{ProcessInspector::splitRowName(alert.app).title + kTitleSuffix,
                               std::move(body), true}};
}

void HeavyAppNotifier::requestPermission() {
  center_.requestAuthorization(sys::kAuthorizationOptionAlert | sys::kAuthorizationOptionSound,
                               [](bool, const std::optional<sys::PlatformError>&) {});
}

void HeavyAppNotifier::post(const HeavyAppAlert& alert, const std::optional<std::string>& facts) {
  ++posted;
  std::weak_ptr<bool> alive = alive_;
  center_.add(request(alert, facts), [this, alive](std::optional<sys::PlatformError> error) {
    if (!alive.lock()) return;
    lastError = std::move(error);
  });
}

std::map<std::string, sys::Date> HeavyAppNotifier::loadLastAlerts(DefaultsWriter& defaults,
                                                                  sys::Date now, double cooldown) {
  std::map<std::string, sys::Date> dates;
  const std::optional<sys::Value> stored = defaults.defaults().object(kLastAlertsKey);
  if (!stored || !stored->is_object()) return dates;
  for (const auto& [app, value] : stored->items()) {
    if (!value.is_number()) continue;
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds)) continue;
    const sys::Date at = sys::Date::fromSecondsSinceReferenceDate(seconds);
    // A date from the future (a clock set back) would silence the app for
    // as long; such a date counts as now.
    const sys::Date kept = at > now ? now : at;
    if (now - kept < cooldown) dates.emplace(app, kept);
  }
  return dates;
}

void HeavyAppNotifier::saveLastAlerts(DefaultsWriter& defaults,
                                      const std::map<std::string, sys::Date>& dates, sys::Date now,
                                      double cooldown) {
  sys::Value document = sys::Value::object();
  for (const auto& [app, at] : dates) {
    if (now - at < cooldown) document[app] = at.secondsSinceReferenceDate();
  }
  defaults.set(kLastAlertsKey, std::move(document));
}

}  // namespace ebbwise
