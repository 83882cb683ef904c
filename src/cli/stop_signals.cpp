#include "cli/stop_signals.h"

#include <pthread.h>

namespace ebbwise {

StopSignals::StopSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGTERM);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set_, &previous_);
}

StopSignals::~StopSignals() {
  if (waiter_.joinable()) {
    ending_ = true;
    // Wakes the waiting thread's sigwait; the flag says it is not a request.
    if (!received_) pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::onSignal(std::function<void()> stop) {
  if (waiter_.joinable()) return;
  waiter_ = std::thread([this, stop = std::move(stop)] {
    int signal = 0;
    while (sigwait(&set_, &signal) != 0) {
    }
    if (ending_) return;
    received_ = signal;
    if (stop) stop();
  });
}

}  // namespace ebbwise
