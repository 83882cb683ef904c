#include "x_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ebbwise::ui::testing {

namespace {

std::vector<char*> pointers(std::vector<std::string>& args) {
  std::vector<char*> out;
  for (std::string& a : args) out.push_back(a.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

XServer::XServer(int width, int height) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) {
    error_ = "no pipe";
    return;
  }
  // Xvfb writes the display it took to the descriptor given with -displayfd
  // once it accepts clients, which is the moment to go on. It is told to end
  // with this process, however that ends. Without -noreset it regenerates
  // whenever its last client leaves, and refuses anyone connecting meanwhile.
  std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (pipe[1] == 3) {
      ::fcntl(3, F_SETFD, 0);
    } else {
      ::dup2(pipe[1], 3);
    }
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", size.c_str(), "-nolisten", "tcp",
             "-noreset", "-wr", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe[1]);
  if (pid_ < 0) {
    ::close(pipe[0]);
    error_ = "Xvfb could not be started";
    return;
  }
  std::string number;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{pipe[0], POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    char buffer[32];
    ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe[0]);
  if (number.find('\n') == std::string::npos) {
    error_ = "Xvfb did not start (Debian package xvfb)";
    return;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
  if (const char* d = std::getenv("DISPLAY")) previous_ = d;
  ::setenv("DISPLAY", display_.c_str(), 1);
}

XServer::~XServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (previous_) {
    ::setenv("DISPLAY", previous_->c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
}

std::optional<std::string> run(const std::vector<std::string>& command) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = command;
  auto argv = pointers(args);
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  std::string out;
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

}  // namespace ebbwise::ui::testing

namespace ebbwise::ui::testing {

unsigned long focusedWindow() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 0;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  XCloseDisplay(display);
  return focus;
}

}  // namespace ebbwise::ui::testing
