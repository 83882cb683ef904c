#include "cli/stream_writer.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

namespace ebbwise::StreamWriter {

namespace {

// Holds SIGPIPE back on this thread for its lifetime, so a write to a closed
// pipe fails with EPIPE instead; a SIGPIPE raised meanwhile is taken back
// unless one was already pending before.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~PipeSignalHeld() {
    if (raised_ && !wasPending_) {
      const timespec now{};
      while (sigtimedwait(&pipe_, nullptr, &now) == -1 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

  void raised() { raised_ = true; }

 private:
  sigset_t pipe_{};
  sigset_t previous_{};
  bool wasPending_ = false;
  bool raised_ = false;
};

}  // namespace

std::optional<std::string> writeAll(int fd, std::string_view text) {
  PipeSignalHeld held;
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EPIPE) held.raised();
      return std::string(std::strerror(error));
    }
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return std::nullopt;
}

}  // namespace ebbwise::StreamWriter
