#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sys/platform_error.h"

#include <systemd/sd-bus.h>

namespace ebbwise::linux_host {

// What a notification server says about itself.
struct NotificationServer {
  std::string name;
  std::string vendor;
  std::string version;
  std::string specVersion;
};

// One Notify call of the freedesktop notification interface.
struct NotifyCall {
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string summary;
  std::string body;
  std::string soundName;     // a "sound-name" hint; none when empty
  std::string desktopEntry;  // a "desktop-entry" hint; none when empty
};

// A client of the desktop's notification service
// (org.freedesktop.Notifications) on a message bus, through sd-bus. Calls
// block their caller for at most the time limit each, so it belongs on a
// worker thread, and it is not safe for several threads at once. It connects
// on first use and again after the connection broke. An error is the bus's
// own: its name as the domain, the matching errno as the code and its text.
class NotificationBus {
 public:
  // `address` null: the user's session bus.
  NotificationBus(std::optional<std::string> address, double timeoutSeconds);
  ~NotificationBus();
  NotificationBus(const NotificationBus&) = delete;
  NotificationBus& operator=(const NotificationBus&) = delete;

  std::optional<sys::PlatformError> serverInformation(NotificationServer& out);
  std::optional<sys::PlatformError> capabilities(std::vector<std::string>& out);
  std::optional<sys::PlatformError> notify(const NotifyCall& call, std::uint32_t& id);
  std::optional<sys::PlatformError> close(std::uint32_t id);

  // The notifications the server closed (NotificationClosed) since the last
  // call, without waiting for more.
  std::vector<std::uint32_t> takeClosed();

  // Counts connections made, so a caller can tell its ids belong to an
  // earlier one.
  std::uint64_t connections() const { return connections_; }

 private:
  std::optional<sys::PlatformError> connect();
  std::optional<sys::PlatformError> call(sd_bus_message* m, sd_bus_message** reply);
  void disconnect();
  static int onClosed(sd_bus_message* m, void* self, sd_bus_error* error);

  std::optional<std::string> address_;
  std::uint64_t timeoutUsec_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* closedSlot_ = nullptr;
  std::vector<std::uint32_t> closed_;
  std::uint64_t connections_ = 0;
};

}  // namespace ebbwise::linux_host
