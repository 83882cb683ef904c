#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sys/platform_error.h"

#include <systemd/sd-bus.h>

namespace ebbwise::linux_host {

// Frees what sd-bus hands over when leaving the scope.
struct BusMessage {
  sd_bus_message* m = nullptr;
  BusMessage() = default;
  BusMessage(const BusMessage&) = delete;
  BusMessage& operator=(const BusMessage&) = delete;
  ~BusMessage() { sd_bus_message_unref(m); }
};

// One client connection to a message bus through sd-bus: the system bus, or
// the bus at an address (a private bus in tests). It connects on first use
// and again after the connection broke. Every method call waits at most the
// time limit. Not safe for several threads at once: each owner keeps it on
// one thread, or behind a lock.
class BusConnection {
 public:
  // `address` absent: the system bus.
  BusConnection(std::optional<std::string> address, double timeoutSeconds);
  ~BusConnection();
  BusConnection(const BusConnection&) = delete;
  BusConnection& operator=(const BusConnection&) = delete;

  // Connects when not connected; the connection's error otherwise.
  std::optional<sys::PlatformError> connect();
  bool isOpen() const;
  void disconnect();
  // Null until connected.
  sd_bus* bus() const { return bus_; }
  // Counts connections made, so that a watcher can tell it must subscribe
  // again.
  std::uint64_t connections() const { return connections_; }

  // A new method call on the connection (connecting first).
  std::optional<sys::PlatformError> newCall(BusMessage& call, const char* service, const char* path,
                                            const char* interface, const char* member);
  // Sends `call` and waits for its reply; the bus's error, or the remote
  // service's own.
  std::optional<sys::PlatformError> call(BusMessage& call, BusMessage& reply);

  // org.freedesktop.DBus.Properties.Get of a string property.
  std::optional<sys::PlatformError> stringProperty(const char* service, const char* path,
                                                   const char* interface, const char* name,
                                                   std::string& out);

  // The error of an sd-bus call that returned `r`, with the remote error
  // when one is set.
  static sys::PlatformError failure(int r, const sd_bus_error* error = nullptr);

 private:
  std::optional<std::string> address_;
  std::uint64_t timeoutUsec_;
  sd_bus* bus_ = nullptr;
  std::uint64_t connections_ = 0;
};

}  // namespace ebbwise::linux_host
