// Desktop notifications against a real notification server (dunst) on a
// private session bus under a virtual X display, all started by the test,
// and against a server of the test's own that fails or never answers.

#include "linux/desktop_notifications.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "linux/notification_bus.h"
#include "linux/private_bus.h"
#include "linux/system_clock.h"

namespace ebbwise::linux_host {
namespace {

using test::Child;
using test::runUntil;

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
                                    "HOME=" + folder.root(), "XDG_CONFIG_HOME=" + folder.root(),
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    server = Child::start({"/usr/bin/dunst", "-config", folder.path("dunstrc")}, envp.data());
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
    sd_bus* bus = test::connectTo(busAddress);
    std::uint32_t displayed = 0, waiting = 0;
    if (bus) {
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
    sd_bus* bus = test::connectTo(busAddress);
    if (bus) {
      sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                         "org.dunstproject.cmd0", "NotificationCloseAll", nullptr, nullptr, "");
    }
    sd_bus_flush_close_unref(bus);
  }

  const std::string& busAddress = test::PrivateBus::address();
  std::string display;
  test::FixtureTree folder;

 private:
  DesktopSession() {
    // Notifications stay until closed, so the test can count them.
    folder.write("dunstrc",
                 "[global]\n  markup = full\n  notification_limit = 0\n"
                 "[urgency_low]\n  timeout = 0\n"
                 "[urgency_normal]\n  timeout = 0\n"
                 "[urgency_critical]\n  timeout = 0\n");
    xvfb = Child::start({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset",
                         "-screen", "0", "640x480x24"});
    if (xvfb.pid > 0) display = ":" + xvfb.readLine();
  }
  ~DesktopSession() {
    server.stop();
    xvfb.stop();
  }

  Child xvfb, server;
};

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

  FakeServer(const std::string& address, Mode mode) : mode_(mode), service_(address) {
    if (service_.bus() &&
        sd_bus_add_object_vtable(service_.bus(), nullptr, "/org/freedesktop/Notifications",
                                 "org.freedesktop.Notifications", kTable, this) >= 0 &&
        sd_bus_request_name(service_.bus(), "org.freedesktop.Notifications", 0) >= 0) {
      service_.start();
    }
  }
  bool ok() const { return service_.running(); }

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
  std::uint32_t last_ = 0;
  test::BusThread service_;
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
