#include "linux/host_tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "linux/unique_fd.h"

extern char** environ;

namespace ebbwise::linux_host {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

double monotonicSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Milliseconds until `deadline` for poll, rounded up so that a wait never
// ends just before it; 0 once it has passed.
int millisecondsUntil(double deadline) {
  const double left = deadline - monotonicSeconds();
  if (left <= 0) return 0;
  return static_cast<int>(std::min(std::ceil(left * 1000), 3'600'000.0));
}

// A handle that refers to the child itself rather than to its pid; nothing
// on kernels before 5.3.
UniqueFd openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
#else
  (void)pid;
  return UniqueFd();
#endif
}

// The spawned child: killed with its process group and reaped whenever the
// run ends, however it ends, so that no zombie and no stray helper is left.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid), pidfd_(openPidfd(pid)) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (!reaped_) {
      kill();
      reap();
    }
  }

  // Kills the child and everything in its group. Only while the child is not
  // yet reaped: until then its pid (and so its group id) cannot be reused.
  void kill() {
    if (reaped_) return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
  }

  // Waits until the child exits or `deadline` passes; true when it exited.
  bool waitUntil(double deadline) {
    if (pidfd_) {
      pollfd p{pidfd_.get(), POLLIN, 0};
      for (;;) {
        const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) break;  // fall back to polling the wait status
      }
    }
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        finish(status);
        return true;
      }
      if (done < 0 && errno != EINTR) {
        reaped_ = true;  // reaped elsewhere (SIGCHLD ignored): nothing to wait for
        return true;
      }
      if (millisecondsUntil(deadline) == 0) return false;
      const timespec pause{0, 5'000'000};
      nanosleep(&pause, nullptr);
    }
  }

  // Collects the exit status; blocks until the child has exited.
  void reap() {
    while (!reaped_) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, 0);
      if (done == pid_) {
        finish(status);
      } else if (done < 0 && errno != EINTR) {
        reaped_ = true;
      }
    }
  }

  std::optional<int> exitStatus() const { return exitStatus_; }

 private:
  void finish(int status) {
    reaped_ = true;
    if (WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
  }

  pid_t pid_;
  UniqueFd pidfd_;
  bool reaped_ = false;
  std::optional<int> exitStatus_;
};

// posix_spawn's attribute and file-action records, destroyed on every path.
struct SpawnSetup {
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool prepare(int outputFd) {
    bool ok = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
              posix_spawn_file_actions_adddup2(&actions, outputFd, 1) == 0 &&
              posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that other code opened without close-on-exec stay ours.
    ok = ok && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
#endif
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    // Whatever this program ignores or blocks (SIGPIPE, say), the tool starts
    // with the defaults; its own group lets a timeout end its helpers too.
    ok = ok && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
         posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
         posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP) == 0;
    return ok;
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

}  // namespace

std::optional<sys::ToolRun> HostToolRunner::run(std::string_view path,
                                                std::span<const std::string> arguments) {
  // Only an absolute path names one program; a relative one would depend on
  // the current folder. NUL bytes cannot travel in an argument vector.
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  for (const std::string& argument : arguments) {
    if (argument.find('\0') != std::string::npos) return std::nullopt;
  }

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);

  SpawnSetup setup;
  if (!setup.prepare(writeEnd.get())) return std::nullopt;

  const std::string program(path);
  std::vector<std::string> strings(arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(strings.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const double deadline = monotonicSeconds() + std::max(limits_.timeoutSeconds, 0.0);
  pid_t pid = 0;
  const int spawned =
      ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  // Our copy of the write end must go, or the pipe would never report its end.
  writeEnd.reset();
  if (spawned != 0) return std::nullopt;

  Child child(pid);
  sys::ToolRun result;
  ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);

  std::vector<char> chunk(kChunk);
  bool open = true;
  while (open) {
    pollfd p{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      result.timedOut = true;
      break;
    }
    for (;;) {
      const ssize_t n = ::read(readEnd.get(), chunk.data(), chunk.size());
      if (n > 0) {
        const std::size_t room = limits_.maxOutputBytes - result.output.size();
        const auto got = static_cast<std::size_t>(n);
        result.output.append(chunk.data(), std::min(got, room));
        if (got > room) {
          result.outputTruncated = true;
          open = false;
          break;
        }
        continue;
      }
      if (n == 0)
        open = false;  // every writer has closed its end
      else if (errno == EINTR)
        continue;
      else if (errno != EAGAIN && errno != EWOULDBLOCK)
        open = false;
      break;
    }
  }
  // Closing our end first means a tool still writing gets EPIPE (or the
  // default SIGPIPE, which ends it) instead of blocking on a full pipe.
  readEnd.reset();

  if (!result.timedOut && !result.outputTruncated && !child.waitUntil(deadline)) {
    result.timedOut = true;
  }
  if (result.timedOut || result.outputTruncated) child.kill();
  child.reap();
  result.exitStatus = child.exitStatus();
  return result;
}

}  // namespace ebbwise::linux_host
