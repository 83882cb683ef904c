#include "linux/notification_bus.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <systemd/sd-bus.h>

namespace ebbwise::linux_host {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

sys::PlatformError failure(int r, const sd_bus_error* e) {
  if (e && sd_bus_error_is_set(e)) {
    return {e->name, sd_bus_error_get_errno(e), e->message ? e->message : ""};
  }
  return {"errno", -r, std::strerror(-r)};
}

// Frees what sd-bus hands over when leaving the scope.
struct Message {
  sd_bus_message* m = nullptr;
  ~Message() { sd_bus_message_unref(m); }
};
struct Error {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  ~Error() { sd_bus_error_free(&e); }
};
struct Strings {
  char** l = nullptr;
  ~Strings() {
    if (!l) return;
    for (char** s = l; *s; ++s) std::free(*s);
    std::free(l);
  }
};

bool connectionLost(int r) {
  return r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || r == -ESHUTDOWN;
}

}  // namespace

NotificationBus::NotificationBus(std::optional<std::string> address, double timeoutSeconds)
    : address_(std::move(address)),
      timeoutUsec_(static_cast<std::uint64_t>(std::fmax(timeoutSeconds, 0.001) * 1e6)) {}

NotificationBus::~NotificationBus() {
  disconnect();
}

void NotificationBus::disconnect() {
  closedSlot_ = sd_bus_slot_unref(closedSlot_);
  bus_ = sd_bus_flush_close_unref(bus_);
}

std::optional<sys::PlatformError> NotificationBus::connect() {
  if (bus_ && sd_bus_is_open(bus_) > 0) return std::nullopt;
  disconnect();
  int r;
  if (address_) {
    r = sd_bus_new(&bus_);
    if (r >= 0) r = sd_bus_set_address(bus_, address_->c_str());
    if (r >= 0) r = sd_bus_set_bus_client(bus_, 1);
    if (r >= 0) r = sd_bus_start(bus_);
  } else {
    r = sd_bus_open_user(&bus_);
  }
  if (r >= 0) r = sd_bus_set_method_call_timeout(bus_, timeoutUsec_);
  if (r >= 0) {
    r = sd_bus_match_signal(bus_, &closedSlot_, nullptr, kPath, kInterface, "NotificationClosed",
                            &NotificationBus::onClosed, this);
  }
  if (r < 0) {
    disconnect();
    return failure(r, nullptr);
  }
  ++connections_;
  return std::nullopt;
}

int NotificationBus::onClosed(sd_bus_message* m, void* self, sd_bus_error*) {
  std::uint32_t id = 0, reason = 0;
  if (sd_bus_message_read(m, "uu", &id, &reason) >= 0) {
    static_cast<NotificationBus*>(self)->closed_.push_back(id);
  }
  return 0;
}

std::optional<sys::PlatformError> NotificationBus::call(sd_bus_message* m, sd_bus_message** reply) {
  Error error;
  const int r = sd_bus_call(bus_, m, timeoutUsec_, &error.e, reply);
  if (r >= 0) return std::nullopt;
  auto failed = failure(r, &error.e);
  if (connectionLost(r)) disconnect();
  return failed;
}

std::optional<sys::PlatformError> NotificationBus::serverInformation(NotificationServer& out) {
  if (auto e = connect()) return e;
  Message m, reply;
  int r = sd_bus_message_new_method_call(bus_, &m.m, kService, kPath, kInterface,
                                         "GetServerInformation");
  if (r < 0) return failure(r, nullptr);
  if (auto e = call(m.m, &reply.m)) return e;
  const char *name = nullptr, *vendor = nullptr, *version = nullptr, *protocolVersion = nullptr;
  r = sd_bus_message_read(reply.m, "ssss", &name, &vendor, &version, &protocolVersion);
  if (r < 0) return failure(r, nullptr);
  out = {name, vendor, version, protocolVersion};
  return std::nullopt;
}

std::optional<sys::PlatformError> NotificationBus::capabilities(std::vector<std::string>& out) {
  if (auto e = connect()) return e;
  Message m, reply;
  int r =
      sd_bus_message_new_method_call(bus_, &m.m, kService, kPath, kInterface, "GetCapabilities");
  if (r < 0) return failure(r, nullptr);
  if (auto e = call(m.m, &reply.m)) return e;
  Strings list;
  r = sd_bus_message_read_strv(reply.m, &list.l);
  if (r < 0) return failure(r, nullptr);
  out.clear();
  for (char** s = list.l; s && *s; ++s) out.emplace_back(*s);
  return std::nullopt;
}

std::optional<sys::PlatformError> NotificationBus::notify(const NotifyCall& c, std::uint32_t& id) {
  if (auto e = connect()) return e;
  Message m, reply;
  int r = sd_bus_message_new_method_call(bus_, &m.m, kService, kPath, kInterface, "Notify");
  if (r >= 0) {
    r = sd_bus_message_append(m.m, "susss", c.appName.c_str(), c.replacesId, "", c.summary.c_str(),
                              c.body.c_str());
  }
  if (r >= 0) r = sd_bus_message_append_strv(m.m, nullptr);  // no actions
  if (r >= 0) r = sd_bus_message_open_container(m.m, 'a', "{sv}");
  auto hint = [&](const char* key, const char* type, auto value) {
    if (r >= 0) r = sd_bus_message_open_container(m.m, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(m.m, "s", key);
    if (r >= 0) r = sd_bus_message_open_container(m.m, 'v', type);
    if (r >= 0) r = sd_bus_message_append(m.m, type, value);
    if (r >= 0) r = sd_bus_message_close_container(m.m);
    if (r >= 0) r = sd_bus_message_close_container(m.m);
  };
  hint("urgency", "y", std::uint8_t{1});  // normal
  if (!c.soundName.empty()) hint("sound-name", "s", c.soundName.c_str());
  if (!c.desktopEntry.empty()) hint("desktop-entry", "s", c.desktopEntry.c_str());
  if (r >= 0) r = sd_bus_message_close_container(m.m);
  if (r >= 0) r = sd_bus_message_append(m.m, "i", std::int32_t{-1});  // the server's own timeout
  if (r < 0) return failure(r, nullptr);
  if (auto e = call(m.m, &reply.m)) return e;
  r = sd_bus_message_read(reply.m, "u", &id);
  if (r < 0) return failure(r, nullptr);
  return std::nullopt;
}

std::optional<sys::PlatformError> NotificationBus::close(std::uint32_t id) {
  if (auto e = connect()) return e;
  Message m, reply;
  int r =
      sd_bus_message_new_method_call(bus_, &m.m, kService, kPath, kInterface, "CloseNotification");
  if (r >= 0) r = sd_bus_message_append(m.m, "u", id);
  if (r < 0) return failure(r, nullptr);
  return call(m.m, &reply.m);
}

std::vector<std::uint32_t> NotificationBus::takeClosed() {
  if (bus_) {
    while (sd_bus_process(bus_, nullptr) > 0) {
    }
  }
  return std::exchange(closed_, {});
}

}  // namespace ebbwise::linux_host
