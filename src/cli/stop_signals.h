#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace ebbwise {

// The signals that ask a long run to end (SIGTERM from the service manager,
// SIGINT from the terminal, SIGHUP when the terminal goes), taken from the
// process's default handling so that the run can finish what it holds before
// it exits. Make it before any thread starts: the signals are blocked in the
// making thread, and threads started later inherit that, so only the waiting
// thread of this object ever receives them.
class StopSignals {
 public:
  StopSignals();
  // Ends the waiting thread and unblocks the signals.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Calls `stop` once, on the waiting thread, when the first of the signals
  // arrives; one that came before this call is kept for it.
  void onSignal(std::function<void()> stop);
  // The signal that arrived; 0 while none has.
  int received() const { return received_; }

 private:
  sigset_t set_{};
  sigset_t previous_{};
  std::atomic<int> received_{0};
  std::atomic<bool> ending_{false};
  std::thread waiter_;
};

}  // namespace ebbwise
