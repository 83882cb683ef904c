#include "sim/sim_notifications.h"

#include <algorithm>

namespace ebbwise::sim {

namespace {

sys::PlatformError notAllowed() {
  return {sys::kNotificationErrorDomain, sys::kNotificationsNotAllowed,
          "Notifications are not allowed for this application"};
}

}  // namespace

SimUserNotificationCenter::SimUserNotificationCenter(PermissionAnswer answer, sys::Clock& clock)
    : answer_(answer), clock_(clock) {}

void SimUserNotificationCenter::bind(sys::RunLoop& loop) {
  loop_ = &loop;
}

void SimUserNotificationCenter::answer(sys::Task task, double delay) {
  if (!loop_) {
    task();
    return;
  }
  auto guarded = [alive = lifeline_.token(), task = std::move(task)] {
    if (alive.lock()) task();
  };
  if (delay > 0) {
    loop_->scheduleAfter(delay, std::move(guarded));
  } else {
    loop_->post(std::move(guarded));
  }
}

void SimUserNotificationCenter::requestAuthorization(std::uint32_t /*options*/,
                                                     sys::AuthorizationHandler completion) {
  if (!completion) completion = [](bool, std::optional<sys::PlatformError>) {};
  if (answer_ == PermissionAnswer::fail) {
    // The request itself is refused; no prompt shows and nothing is decided.
    answer([c = std::move(completion)] { c(false, notAllowed()); });
    return;
  }
  if (status_ != sys::AuthorizationStatus::notDetermined) {
    answer([this, c = std::move(completion)] {
      c(status_ == sys::AuthorizationStatus::authorized, std::nullopt);
    });
    return;
  }
  waiting_.push_back(std::move(completion));
  if (prompting_) return;  // one prompt answers every request made meanwhile
  prompting_ = true;
  answer(
      [this] {
        prompting_ = false;
        status_ = answer_ == PermissionAnswer::allow ? sys::AuthorizationStatus::authorized
                                                     : sys::AuthorizationStatus::denied;
        for (auto& c : std::exchange(waiting_, {})) {
          c(status_ == sys::AuthorizationStatus::authorized, std::nullopt);
        }
      },
      kPromptSeconds);
}

void SimUserNotificationCenter::authorizationStatus(
    std::function<void(sys::AuthorizationStatus)> completion) {
  if (!completion) return;
  answer([this, c = std::move(completion)] { c(status_); });
}

void SimUserNotificationCenter::add(sys::NotificationRequest request, sys::AddHandler completion) {
  std::optional<sys::PlatformError> error;
  if (status_ != sys::AuthorizationStatus::authorized) {
    error = notAllowed();
  } else {
    std::erase_if(shown_, [&](const sys::DeliveredNotification& d) {
      return d.request.identifier == request.identifier;
    });
    sys::DeliveredNotification delivered{std::move(request), clock_.now()};
    shown_.push_back(delivered);
    history_.push_back(std::move(delivered));
  }
  if (completion) answer([c = std::move(completion), error] { c(error); });
}

void SimUserNotificationCenter::deliveredNotifications(sys::DeliveredHandler completion) {
  if (!completion) return;
  answer([this, c = std::move(completion)] { c(shown_); });
}

void SimUserNotificationCenter::removeDelivered(std::vector<std::string> identifiers) {
  std::erase_if(shown_, [&](const sys::DeliveredNotification& d) {
    return std::find(identifiers.begin(), identifiers.end(), d.request.identifier) !=
           identifiers.end();
  });
}

}  // namespace ebbwise::sim
