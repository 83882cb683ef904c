#pragma once

#include "sim/scenario.h"
#include "sys/login_item_service.h"
#include "sys/updater.h"

namespace ebbwise::sim {

// The login-item service for the monitor's application. Registering an
// item already registered, or unregistering one that is not, fails as it
// does on a Mac; a scenario's service may need the user's approval in the
// settings after registering, or refuse outright.
class SimLoginItemService final : public sys::LoginItemService {
 public:
  explicit SimLoginItemService(LoginItemBehaviour behaviour) : behaviour_(behaviour) {}

  sys::LoginItemStatus status() override { return status_; }
  std::optional<sys::PlatformError> registerItem() override;
  std::optional<sys::PlatformError> unregisterItem() override;

  // Successful registrations so far.
  int registrations() const { return registrations_; }

 private:
  LoginItemBehaviour behaviour_;
  sys::LoginItemStatus status_ = sys::LoginItemStatus::notRegistered;
  int registrations_ = 0;
};

// The update framework inside the application's bundle: it starts once and
// checks on request; the simulated machine has no update feed, so a check
// finds nothing.
class SimUpdater final : public sys::Updater {
 public:
  bool start() override {
    started_ = true;
    return true;
  }
  bool canCheckForUpdates() override { return started_; }
  void checkForUpdates() override {
    if (started_) ++checks_;
  }

  bool started() const { return started_; }
  int checks() const { return checks_; }

 private:
  bool started_ = false;
  int checks_ = 0;
};

}  // namespace ebbwise::sim
