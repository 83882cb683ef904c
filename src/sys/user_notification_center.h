#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sys/date.h"
#include "sys/deferred.h"
#include "sys/platform_error.h"
#include "sys/run_loop.h"

namespace ebbwise::sys {

// UNAuthorizationOptions bits.
inline constexpr std::uint32_t kAuthorizationOptionBadge = 1u << 0;
inline constexpr std::uint32_t kAuthorizationOptionSound = 1u << 1;
inline constexpr std::uint32_t kAuthorizationOptionAlert = 1u << 2;

// UNAuthorizationStatus.
enum class AuthorizationStatus { notDetermined = 0, denied = 1, authorized = 2, provisional = 3 };

// UNErrorDomain and the codes it uses here.
inline constexpr const char* kNotificationErrorDomain = "UNErrorDomain";
inline constexpr std::int64_t kNotificationsNotAllowed = 1;

// What one notification shows (UNMutableNotificationContent).
struct NotificationContent {
  std::string title;
  std::string body;
  bool defaultSound = false;  // UNNotificationSound.default

  friend bool operator==(const NotificationContent&, const NotificationContent&) = default;
};

// A notification to deliver at once (a request without a trigger). A later
// request with the same identifier replaces the earlier notification, so
// each identifier shows at most one.
struct NotificationRequest {
  std::string identifier;
  NotificationContent content;

  friend bool operator==(const NotificationRequest&, const NotificationRequest&) = default;
};

// A notification the system shows now, and when it was delivered.
struct DeliveredNotification {
  NotificationRequest request;
  Date date;
};

using AuthorizationHandler = std::function<void(bool granted, std::optional<PlatformError>)>;
using AddHandler = std::function<void(std::optional<PlatformError>)>;
using DeliveredHandler = std::function<void(std::vector<DeliveredNotification>)>;

// The user-notification centre of this application. Every answer comes
// later, on the main run loop, never from inside the call; no call waits for
// the system.
class UserNotificationCenter {
 public:
  virtual ~UserNotificationCenter() = default;

  // requestAuthorization(options:completionHandler:): asks the user once;
  // later requests answer with the user's earlier choice.
  virtual void requestAuthorization(std::uint32_t options, AuthorizationHandler completion) = 0;

  // getNotificationSettings: the authorization status.
  virtual void authorizationStatus(std::function<void(AuthorizationStatus)> completion) = 0;

  // add(_:withCompletionHandler:): delivers `request`, replacing what shows
  // under its identifier. The completion (which may be empty) gets nothing
  // once the system took it, or the error that kept it from showing (the
  // user has not allowed notifications, the service failed).
  virtual void add(NotificationRequest request, AddHandler completion) = 0;

  // getDeliveredNotifications: what shows now, oldest first.
  virtual void deliveredNotifications(DeliveredHandler completion) = 0;

  // removeDeliveredNotifications(withIdentifiers:).
  virtual void removeDelivered(std::vector<std::string> identifiers) = 0;
};

// A system without notifications: nothing is shown, permission is never
// granted, and every post fails. Answers are posted to `loop`, or given at
// once by the shared instance, which has no loop.
class NoUserNotificationCenter final : public UserNotificationCenter {
 public:
  explicit NoUserNotificationCenter(RunLoop* loop = nullptr) : loop_(loop) {}

  void requestAuthorization(std::uint32_t, AuthorizationHandler completion) override {
    answer([c = std::move(completion)] {
      if (c) c(false, unsupportedService("Notifications"));
    });
  }
  void authorizationStatus(std::function<void(AuthorizationStatus)> completion) override {
    answer([c = std::move(completion)] {
      if (c) c(AuthorizationStatus::denied);
    });
  }
  void add(NotificationRequest, AddHandler completion) override {
    answer([c = std::move(completion)] {
      if (c) c(unsupportedService("Notifications"));
    });
  }
  void deliveredNotifications(DeliveredHandler completion) override {
    answer([c = std::move(completion)] {
      if (c) c({});
    });
  }
  void removeDelivered(std::vector<std::string>) override {}

  static NoUserNotificationCenter& instance() {
    static NoUserNotificationCenter none;
    return none;
  }

 private:
  void answer(Task task) { answerOn(loop_, std::move(task)); }
  RunLoop* loop_;
};

}  // namespace ebbwise::sys
