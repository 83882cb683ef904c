// Desktop notifications against a real notification server (dunst) on a
// private session bus under a virtual X display, all started by the test,
// and against a server of the test's own that fails or never answers.

#include "linux/desktop_notifications.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "linux/notification_bus.h"
#include "linux/system_clock.h"
#include "sys/real_run_loop.h"

extern char** environ;

namespace ebbwise::linux_host {
namespace {

namespace fs = std::filesystem;

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

// Xvfb and a private session bus for the whole program; dunst per test.
class DesktopSession {
 public:
  static DesktopSession& get() {
    static DesktopSession session;
    return session;
  }

  bool ready() const { return !busAddress.empty() && !display.empty(); }

  // Starts dunst on the bus; false when it did not come up.
  bool startServer() {
    std::vector<std::string> env = {"DISPLAY=" + display, "DBUS_SESSION_BUS_ADDRESS=" + busAddress,
                                    "HOME=" + folder.string(), "XDG_CONFIG_HOME=" + folder.string(),
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    server =
        Child::start({"/usr/bin/dunst", "-config", (folder / "dunstrc").string()}, envp.data());
    NotificationBus probe(busAddress, 0.5);
    for (int i = 0; i < 100; ++i) {
      NotificationServer info;
      if (!probe.serverInformation(info)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void stopServer() { server.stop(); }

  // dunst's count of notifications it shows or holds to show.
  std::uint32_t shown() {
    sd_bus* bus = nullptr;
    std::uint32_t displayed = 0, waiting = 0;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, busAddress.c_str()) >= 0 &&
        sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0) {
      for (auto [name, value] :
           {std::pair{"displayedLength", &displayed}, {"waitingLength", &waiting}}) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_get_property_trivial(bus, "org.freedesktop.Notifications",
                                    "/org/freedesktop/Notifications", "org.dunstproject.cmd0", name,
                                    &error, 'u', value);
        sd_bus_error_free(&error);
      }
    }
    sd_bus_flush_close_unref(bus);
    return displayed + waiting;
  }

  void closeAll() {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, busAddress.c_str()) >= 0 &&
        sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0) {
      sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                         "org.dunstproject.cmd0", "NotificationCloseAll", nullptr, nullptr, "");
    }
    sd_bus_flush_close_unref(bus);
  }

  std::string busAddress;
  std::string display;
  fs::path folder;

 private:
  DesktopSession() {
    char name[] = "/tmp/ebbwise-bus-XXXXXX";
    if (!::mkdtemp(name)) return;
    folder = name;
    // A session bus that starts no services by itself, so an absent server
    // stays absent.
    std::ofstream(folder / "bus.conf") << R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=)" << folder.string()
                                       << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    // Notifications stay until closed, so the test can count them.
    std::ofstream(folder / "dunstrc") << "[global]\n  markup = full\n  notification_limit = 0\n"
                                         "[urgency_low]\n  timeout = 0\n"
                                         "[urgency_normal]\n  timeout = 0\n"
                                         "[urgency_critical]\n  timeout = 0\n";
    xvfb = Child::start({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset",
                         "-screen", "0", "640x480x24"});
    if (xvfb.pid > 0) display = ":" + xvfb.readLine();
    bus = Child::start({"/usr/bin/dbus-run-session",
                        "--config-file=" + (folder / "bus.conf").string(), "--", "/bin/sh", "-c",
                        "echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat"});
    if (bus.pid > 0) busAddress = bus.readLine();
  }
  ~DesktopSession() {
    server.stop();
    bus.stop(0);  // its session ends with its standard input
    xvfb.stop();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }

  Child xvfb, bus, server;
};

// Runs the loop until `done` or a few seconds have passed.
bool runUntil(sys::RealRunLoop& loop, const std::function<bool()>& done, double seconds = 5) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done() && std::chrono::steady_clock::now() < end) loop.runFor(0.02);
  return done();
}

class DesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!session.ready()) GTEST_SKIP() << "no Xvfb or dbus-run-session to start";
  }

  DesktopNotifications center(double timeout = 2) {
    return DesktopNotifications(loop, clock,
                                {.busAddress = session.busAddress, .callTimeoutSeconds = timeout});
  }

  std::optional<sys::PlatformError> post(DesktopNotifications& c, std::string id,
                                         std::string body) {
    std::optional<std::optional<sys::PlatformError>> result;
    c.add({std::move(id), {"Safari is draining your battery", std::move(body), true}},
          [&](std::optional<sys::PlatformError> e) { result = e; });
    EXPECT_TRUE(runUntil(loop, [&] { return result.has_value(); }));
    return result.value_or(sys::PlatformError{"test", -1, "no answer"});
  }

  std::vector<sys::DeliveredNotification> delivered(DesktopNotifications& c) {
    std::optional<std::vector<sys::DeliveredNotification>> list;
    c.deliveredNotifications([&](auto l) { list = std::move(l); });
    EXPECT_TRUE(runUntil(loop, [&] { return list.has_value(); }));
    return list.value_or(std::vector<sys::DeliveredNotification>{});
  }

  DesktopSession& session = DesktopSession::get();
  sys::RealRunLoop loop;
  SystemClock clock;
};

TEST_F(DesktopNotificationsTest, ARealServerShowsOneNotificationPerIdentifier) {
  ASSERT_TRUE(session.startServer());
  auto c = center();
  std::optional<bool> granted;
  c.requestAuthorization(sys::kAuthorizationOptionAlert,
                         [&](bool g, std::optional<sys::PlatformError>) { granted = g; });
  ASSERT_TRUE(runUntil(loop, [&] { return granted.has_value(); }));
  EXPECT_TRUE(*granted);

  EXPECT_FALSE(post(c, "heavy-Safari", "3.2 W for the last few minutes."));
  EXPECT_FALSE(post(c, "heavy-Safari", "4.1 W for the last few minutes."));
  EXPECT_FALSE(post(c, "heavy-Xcode", "5.0 W & <more>"));
  EXPECT_EQ(session.shown(), 2u);
  auto list = delivered(c);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].request.content.body, "4.1 W for the last few minutes.");
  EXPECT_EQ(list[1].request.identifier, "heavy-Xcode");

  // Closed by the user: gone from the list, and shown anew when posted again.
  session.closeAll();
  EXPECT_TRUE(runUntil(loop, [&] { return delivered(c).empty(); }));
  EXPECT_FALSE(post(c, "heavy-Safari", "2.5 W for the last few minutes."));
  EXPECT_EQ(session.shown(), 1u);
  session.closeAll();
  session.stopServer();
}

TEST_F(DesktopNotificationsTest, AnAbsentServerIsAnErrorNotAWait) {
  session.stopServer();
  auto c = center();
  std::optional<std::pair<bool, std::optional<sys::PlatformError>>> answer;
  c.requestAuthorization(sys::kAuthorizationOptionAlert,
                         [&](bool g, std::optional<sys::PlatformError> e) {
                           answer = {g, e};
                         });
  ASSERT_TRUE(runUntil(loop, [&] { return answer.has_value(); }));
  EXPECT_FALSE(answer->first);
  ASSERT_TRUE(answer->second);
  EXPECT_EQ(answer->second->domain, "org.freedesktop.DBus.Error.ServiceUnknown");
  const auto error = post(c, "heavy-Safari", "x");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "org.freedesktop.DBus.Error.ServiceUnknown");
  std::optional<sys::AuthorizationStatus> status;
  c.authorizationStatus([&](sys::AuthorizationStatus s) { status = s; });
  ASSERT_TRUE(runUntil(loop, [&] { return status.has_value(); }));
  EXPECT_EQ(*status, sys::AuthorizationStatus::denied);

  // No bus at all.
  DesktopNotifications nowhere(loop, clock, {.busAddress = "unix:path=/nonexistent/bus"});
  const auto lost = post(nowhere, "heavy-Safari", "x");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->domain, "errno");
}

// A notification server of the test's own on the private bus, that answers
// with an error, never answers, or records what it is sent.
class FakeServer {
 public:
  enum class Mode { fail, silent, record };

  FakeServer(const std::string& address, Mode mode) : mode_(mode) {
    if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0 ||
        sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/Notifications",
                                 "org.freedesktop.Notifications", kTable, this) < 0 ||
        sd_bus_request_name(bus_, "org.freedesktop.Notifications", 0) < 0) {
      return;
    }
    ok_ = true;
    thread_ = std::thread([this] {
      while (!stop_) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        sd_bus_wait(bus_, 20'000);
      }
    });
  }
  ~FakeServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    sd_bus_flush_close_unref(bus_);
  }
  bool ok() const { return ok_; }

  std::vector<std::pair<std::uint32_t, std::string>> received;  // replaces id, body

 private:
  static int notify(sd_bus_message* m, void* self, sd_bus_error* error) {
    auto* s = static_cast<FakeServer*>(self);
    const char *app, *icon, *summary, *body;
    std::uint32_t replaces;
    sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body);
    switch (s->mode_) {
      case Mode::fail:
        return sd_bus_error_set(error, "org.example.Notifications.Full", "Too many notifications");
      case Mode::silent:
        return 1;  // handled, never answered
      case Mode::record:
        s->received.emplace_back(replaces, body);
        return sd_bus_reply_method_return(m, "u", replaces ? replaces : ++s->last_);
    }
    return 0;
  }
  static int capabilities(sd_bus_message* m, void*, sd_bus_error*) {
    const char* caps[] = {"body", "body-markup", nullptr};
    sd_bus_message* reply = nullptr;
    sd_bus_message_new_method_return(m, &reply);
    sd_bus_message_append_strv(reply, const_cast<char**>(caps));
    const int r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
  }
  static int information(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "ssss", "fake", "test", "1", "1.2");
  }
  static constexpr sd_bus_vtable kTable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", notify, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("GetCapabilities", "", "as", capabilities, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD("GetServerInformation", "", "ssss", information, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};

  Mode mode_;
  sd_bus* bus_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::uint32_t last_ = 0;
  std::thread thread_;
};

TEST_F(DesktopNotificationsTest, AServerThatFailsOrHangsNeverHoldsTheLoop) {
  {
    FakeServer server(session.busAddress, FakeServer::Mode::fail);
    ASSERT_TRUE(server.ok());
    auto c = center();
    const auto error = post(c, "heavy-Safari", "x");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "org.example.Notifications.Full");
    EXPECT_EQ(error->message, "Too many notifications");
    EXPECT_TRUE(delivered(c).empty());
  }
  {
    FakeServer server(session.busAddress, FakeServer::Mode::silent);
    ASSERT_TRUE(server.ok());
    auto c = center(0.4);
    int ticks = 0;
    loop.scheduleRepeating(0.05, 0, [&] { ++ticks; });
    const auto error = post(c, "heavy-Safari", "x");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ETIMEDOUT);
    EXPECT_GE(ticks, 4);  // the loop ran all the while
  }
}

TEST_F(DesktopNotificationsTest, ReplacesByServerIdAndSpellsOutMarkup) {
  FakeServer server(session.busAddress, FakeServer::Mode::record);
  ASSERT_TRUE(server.ok());
  auto c = center();
  EXPECT_FALSE(post(c, "heavy-Safari", "a < b & c"));
  EXPECT_FALSE(post(c, "heavy-Xcode", "x"));
  EXPECT_FALSE(post(c, "heavy-Safari", "y"));
  const std::vector<std::pair<std::uint32_t, std::string>> expected = {
      {0, "a &lt; b &amp; c"}, {0, "x"}, {1, "y"}};
  EXPECT_EQ(server.received, expected);
}

}  // namespace
}  // namespace ebbwise::linux_host
