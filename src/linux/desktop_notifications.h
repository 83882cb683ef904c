#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sys/clock.h"
#include "sys/run_loop.h"
#include "sys/user_notification_center.h"

namespace ebbwise::linux_host {

// The user-notification centre of a Linux desktop: the desktop's
// notification service (the freedesktop notification interface) on the
// session bus. Every call returns at once; the bus is used only on a
// serial queue of the loop's, each of its calls waits at most
// `callTimeoutSeconds`, and answers come back on the loop, so an absent,
// failing or stuck service never holds the caller.
//
// The service has no permission of its own: asking for it succeeds when a
// server answers, and fails with the bus's error when none does. A request
// whose identifier still shows replaces that notification (by its server
// id); one the server closed meanwhile shows anew. The server's closing of
// a notification is noticed on the next call.
class DesktopNotifications final : public sys::UserNotificationCenter {
 public:
  struct Options {
    // The bus the service is on; absent: the user's session bus.
    std::optional<std::string> busAddress;
    std::string appName = "Ebbwise";
    std::string desktopEntry = "ebbwise";
    double callTimeoutSeconds = 5;
  };

  DesktopNotifications(sys::RunLoop& loop, sys::Clock& clock, Options options);
  ~DesktopNotifications() override;
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  void requestAuthorization(std::uint32_t options, sys::AuthorizationHandler completion) override;
  void authorizationStatus(std::function<void(sys::AuthorizationStatus)> completion) override;
  void add(sys::NotificationRequest request, sys::AddHandler completion) override;
  void deliveredNotifications(sys::DeliveredHandler completion) override;
  void removeDelivered(std::vector<std::string> identifiers) override;

  // The sound the desktop's sound theme plays for a default notification.
  static constexpr const char* kDefaultSound = "message-new-instant";

 private:
  struct Worker;
  struct Status {
    sys::AuthorizationStatus value = sys::AuthorizationStatus::notDetermined;
  };

  sys::RunLoop& loop_;
  std::shared_ptr<Status> status_;  // touched on the loop only
  std::shared_ptr<Worker> worker_;  // touched on the queue only
  std::unique_ptr<sys::SerialQueue> queue_;
};

}  // namespace ebbwise::linux_host
