#pragma once

// What the tests that talk over D-Bus share: children on pipes, a session bus
// of the test program's own, services of the test's own on it, and a way to
// run the loop until an answer came.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "linux/fixture_tree.h"
#include "sys/real_run_loop.h"

extern char** environ;

namespace ebbwise::test {

// A child started by the test, with its standard input and output on pipes.
struct Child {
  pid_t pid = -1;
  int in = -1;   // write end of its standard input
  int out = -1;  // read end of its standard output

  static Child start(const std::vector<std::string>& argv, char** env = environ) {
    int inPipe[2], outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Child c;
    if (posix_spawn(&c.pid, args[0], &actions, nullptr, args.data(), env) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    c.in = inPipe[1];
    c.out = outPipe[0];
    return c;
  }

  std::string readLine() {
    std::string line;
    char ch;
    while (::read(out, &ch, 1) == 1 && ch != '\n') line += ch;
    return line;
  }

  // Closes its pipes and, with a signal, ends it; then reaps it.
  void stop(int signal = SIGTERM) {
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    in = out = -1;
    if (pid > 0) {
      if (signal) ::kill(pid, signal);
      ::waitpid(pid, nullptr, 0);
    }
    pid = -1;
  }
};

// A session bus for the whole test program: dbus-run-session with a
// configuration that lets anyone own any name and starts no services, so an
// absent service stays absent. Empty when it could not be started.
class PrivateBus {
 public:
  static const std::string& address() {
    static PrivateBus bus;
    return bus.address_;
  }

 private:
  PrivateBus() {
    std::ofstream(folder_.path("bus.conf")) << R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=)" << folder_.root() << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    session_ =
        Child::start({"/usr/bin/dbus-run-session", "--config-file=" + folder_.path("bus.conf"),
                      "--", "/bin/sh", "-c", "echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat"});
    if (session_.pid > 0) address_ = session_.readLine();
  }
  ~PrivateBus() { session_.stop(0); }  // the session ends with its standard input

  FixtureTree folder_;
  Child session_;
  std::string address_;
};

// A client connection to the bus at `address`, or null.
inline sd_bus* connectTo(const std::string& address) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0) {
    sd_bus_unref(bus);
    return nullptr;
  }
  return bus;
}

// A connection whose messages are handled on a thread of its own, for a
// service the test plays itself: everything touching the connection runs
// there once started. Declared last in its owner, so the thread ends before
// what its handlers use goes.
class BusThread {
 public:
  explicit BusThread(const std::string& address) : bus_(connectTo(address)) {}
  ~BusThread() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
  }
  BusThread(const BusThread&) = delete;
  BusThread& operator=(const BusThread&) = delete;

  sd_bus* bus() const { return bus_; }
  void start() {
    if (bus_) thread_ = std::thread([this] { run(); });
  }
  bool running() const { return thread_.joinable(); }

  // Runs `work` on the thread and waits for it.
  void onBus(std::function<void(sd_bus*)> work) {
    std::promise<void> done;
    {
      std::lock_guard lock(mutex_);
      work_.push_back([&] {
        work(bus_);
        done.set_value();
      });
    }
    done.get_future().wait();
  }

 private:
  void run() {
    while (!stopping_) {
      std::vector<std::function<void()>> work;
      {
        std::lock_guard lock(mutex_);
        work.swap(work_);
      }
      for (auto& w : work) w();
      while (sd_bus_process(bus_, nullptr) > 0) {
      }
      sd_bus_wait(bus_, 20'000);
    }
  }

  sd_bus* bus_;
  std::mutex mutex_;
  std::vector<std::function<void()>> work_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Runs the loop until `done` or a few seconds have passed.
inline bool runUntil(sys::RealRunLoop& loop, const std::function<bool()>& done,
                     double seconds = 5) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done() && std::chrono::steady_clock::now() < end) loop.runFor(0.02);
  return done();
}

}  // namespace ebbwise::test
