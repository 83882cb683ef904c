#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "accounting/heavy_app_alert.h"
#include "app/defaults_writer.h"
#include "sys/date.h"
#include "sys/platform_error.h"
#include "sys/user_notification_center.h"

namespace ebbwise {

// Tells the user about apps that drain the battery: one notification per
// row, replaced by the row's next one, posted without waiting for the
// notification service (an absent or failing service never holds the tick).
// Also keeps the heavy-app cool-down across restarts, so that quitting and
// reopening the program does not bring an alert back early.
class HeavyAppNotifier {
 public:
  static constexpr const char* kIdentifierPrefix = "heavy-";
  static constexpr const char* kTitleSuffix = " is draining your battery";
  // When each row was last reported, as {row: seconds since 2001}.
  static constexpr const char* kLastAlertsKey = "heavyAppLastAlerts";

  explicit HeavyAppNotifier(sys::UserNotificationCenter& center);
  ~HeavyAppNotifier();
  HeavyAppNotifier(const HeavyAppNotifier&) = delete;
  HeavyAppNotifier& operator=(const HeavyAppNotifier&) = delete;

  // What the notification of `alert` says; `facts` (what the heaviest
  // process of a developer-tool row is) follows the figure.
  static sys::NotificationRequest request(const HeavyAppAlert& alert,
                                          const std::optional<std::string>& facts);

  // Asks for permission to notify; the answer is not needed, since the
  // system drops notifications it may not show.
  void requestPermission();
  // Posts the notification of `alert`; returns at once.
  void post(const HeavyAppAlert& alert, const std::optional<std::string>& facts);

  // The stored report dates still inside `cooldown` of `now`; a damaged
  // record gives none.
  static std::map<std::string, sys::Date> loadLastAlerts(DefaultsWriter& defaults, sys::Date now,
                                                         double cooldown);
  // Stores the report dates still inside `cooldown` of `now`.
  static void saveLastAlerts(DefaultsWriter& defaults,
                             const std::map<std::string, sys::Date>& dates, sys::Date now,
                             double cooldown);

  // Published state: posts made, and the last error the service answered
  // (cleared by a post it took).
  std::uint64_t posted = 0;
  std::optional<sys::PlatformError> lastError;

 private:
  sys::UserNotificationCenter& center_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise
