#include "linux/bus_connection.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace ebbwise::linux_host {

namespace {

struct BusError {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  ~BusError() { sd_bus_error_free(&e); }
};

bool connectionLost(int r) {
  return r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || r == -ESHUTDOWN;
}

}  // namespace

BusConnection::BusConnection(std::optional<std::string> address, double timeoutSeconds)
    : address_(std::move(address)),
      timeoutUsec_(static_cast<std::uint64_t>(std::fmax(timeoutSeconds, 0.001) * 1e6)) {}

BusConnection::~BusConnection() {
  disconnect();
}

sys::PlatformError BusConnection::failure(int r, const sd_bus_error* error) {
  if (error && sd_bus_error_is_set(error)) {
    return {error->name, sd_bus_error_get_errno(error), error->message ? error->message : ""};
  }
  return {"errno", -r, std::strerror(-r)};
}

bool BusConnection::isOpen() const {
  return bus_ && sd_bus_is_open(bus_) > 0;
}

void BusConnection::disconnect() {
  bus_ = sd_bus_flush_close_unref(bus_);
}

std::optional<sys::PlatformError> BusConnection::connect() {
  if (isOpen()) return std::nullopt;
  disconnect();
  int r;
  if (address_) {
    r = sd_bus_new(&bus_);
    if (r >= 0) r = sd_bus_set_address(bus_, address_->c_str());
    if (r >= 0) r = sd_bus_set_bus_client(bus_, 1);
    if (r >= 0) r = sd_bus_start(bus_);
  } else {
    r = sd_bus_open_system(&bus_);
  }
  if (r >= 0) r = sd_bus_set_method_call_timeout(bus_, timeoutUsec_);
  if (r < 0) {
    disconnect();
    return failure(r);
  }
  ++connections_;
  return std::nullopt;
}

std::optional<sys::PlatformError> BusConnection::newCall(BusMessage& call, const char* service,
                                                         const char* path, const char* interface,
                                                         const char* member) {
  if (auto e = connect()) return e;
  const int r = sd_bus_message_new_method_call(bus_, &call.m, service, path, interface, member);
  if (r < 0) return failure(r);
  return std::nullopt;
}

std::optional<sys::PlatformError> BusConnection::call(BusMessage& call, BusMessage& reply) {
  if (!isOpen()) return failure(-ENOTCONN);
  BusError error;
  const int r = sd_bus_call(bus_, call.m, timeoutUsec_, &error.e, &reply.m);
  if (r >= 0) return std::nullopt;
  auto failed = failure(r, &error.e);
  if (connectionLost(r)) disconnect();
  return failed;
}

std::optional<sys::PlatformError> BusConnection::stringProperty(const char* service,
                                                                const char* path,
                                                                const char* interface,
                                                                const char* name, std::string& out) {
  BusMessage m, reply;
  if (auto e = newCall(m, service, path, "org.freedesktop.DBus.Properties", "Get")) return e;
  int r = sd_bus_message_append(m.m, "ss", interface, name);
  if (r < 0) return failure(r);
  if (auto e = call(m, reply)) return e;
  const char* value = nullptr;
  r = sd_bus_message_read(reply.m, "v", "s", &value);
  if (r < 0) return failure(r);
  out = value ? value : "";
  return std::nullopt;
}

}  // namespace ebbwise::linux_host
