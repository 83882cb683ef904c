#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/timeline_watcher.h"
#include "sys/clock.h"
#include "sys/run_loop.h"
#include "sys/user_notification_center.h"

namespace ebbwise::sim {

// The machine's notification centre for the monitor. The first request for
// permission shows the system's prompt, which the scenario's user answers
// after a moment (allow, deny, or a failure of the request itself); later
// requests get that answer at once. Without permission a notification is
// refused with the system's error and never shows; with it, it shows at
// once and replaces whatever showed under its identifier.
class SimUserNotificationCenter final : public sys::UserNotificationCenter {
 public:
  SimUserNotificationCenter(PermissionAnswer answer, sys::Clock& clock);

  void bind(sys::RunLoop& loop);
  // Every notification that showed, replaced ones included, in order.
  std::vector<sys::DeliveredNotification> history() const { return history_; }

  void requestAuthorization(std::uint32_t options, sys::AuthorizationHandler completion) override;
  void authorizationStatus(std::function<void(sys::AuthorizationStatus)> completion) override;
  void add(sys::NotificationRequest request, sys::AddHandler completion) override;
  void deliveredNotifications(sys::DeliveredHandler completion) override;
  void removeDelivered(std::vector<std::string> identifiers) override;

  // How long the user takes to answer the permission prompt.
  static constexpr double kPromptSeconds = 4;

 private:
  void answer(sys::Task task, double delay = 0);

  PermissionAnswer answer_;
  sys::Clock& clock_;
  sys::RunLoop* loop_ = nullptr;
  sys::AuthorizationStatus status_ = sys::AuthorizationStatus::notDetermined;
  bool prompting_ = false;
  std::vector<sys::AuthorizationHandler> waiting_;  // requests made while the prompt shows
  std::vector<sys::DeliveredNotification> shown_, history_;
  Lifeline lifeline_;
};

}  // namespace ebbwise::sim
