#pragma once

namespace ebbwise::sys {

// The application's software-update framework (a standard updater
// controller), where the application carries one.
class Updater {
 public:
  virtual ~Updater() = default;

  // Creates and starts the standard updater, which then checks as its
  // configuration says; false when there is no updater. Starting twice
  // keeps the first.
  virtual bool start() = 0;
  // Whether the check-for-updates action can run now (started, not busy).
  virtual bool canCheckForUpdates() = 0;
  // The check-for-updates action; nothing without a started updater.
  virtual void checkForUpdates() = 0;
};

// A system without an update framework.
class NoUpdater final : public Updater {
 public:
  bool start() override { return false; }
  bool canCheckForUpdates() override { return false; }
  void checkForUpdates() override {}

  static NoUpdater& instance() {
    static NoUpdater none;
    return none;
  }
};

}  // namespace ebbwise::sys
