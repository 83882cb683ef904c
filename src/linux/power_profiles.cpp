#include "linux/power_profiles.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "linux/bus_connection.h"

namespace ebbwise::linux_host {

namespace {

struct Daemon {
  const char* service;
  const char* path;
  const char* interface;
};

// The daemon's present name first; older releases have only the second.
constexpr Daemon kDaemons[] = {
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles",
     "org.freedesktop.UPower.PowerProfiles"},
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles"},
};

bool isAbsent(const sys::PlatformError& e) {
  return e.domain == "org.freedesktop.DBus.Error.ServiceUnknown" ||
         e.domain == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

std::optional<std::string> readProfile(BusConnection& bus) {
  for (const Daemon& d : kDaemons) {
    std::string value;
    if (!bus.stringProperty(d.service, d.path, d.interface, "ActiveProfile", value)) return value;
  }
  return std::nullopt;
}

// What the watching thread's signal handlers leave for it.
struct Watch {
  std::optional<std::string> changed;  // a profile announced
  bool reread = false;                 // the daemon came or went
};

int onPropertiesChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* watch = static_cast<Watch*>(userdata);
  const char* interface = nullptr;
  if (sd_bus_message_read(m, "s", &interface) < 0) return 0;
  if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0) return 0;
    if (std::strcmp(key, "ActiveProfile") == 0) {
      const char* value = nullptr;
      if (sd_bus_message_read(m, "v", "s", &value) < 0) {
        watch->reread = true;  // not a string: ask the daemon itself
        return 0;
      }
      watch->changed = value;
    } else if (sd_bus_message_skip(m, "v") < 0) {
      return 0;
    }
    if (sd_bus_message_exit_container(m) < 0) return 0;
  }
  return 0;
}

int onOwnerChanged(sd_bus_message*, void* userdata, sd_bus_error*) {
  static_cast<Watch*>(userdata)->reread = true;
  return 0;
}

std::uint64_t monotonicUsec() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

PowerProfiles::PowerProfiles(Options options, ChangeHandler onChange)
    : options_(std::move(options)),
      onChange_(std::move(onChange)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PowerProfiles::~PowerProfiles() {
  stopping_ = true;
  if (wake_) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_.get(), &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
}

void PowerProfiles::start() {
  std::call_once(started_, [this] {
    if (wake_) thread_ = std::thread([this] { run(); });
  });
}

std::optional<std::string> PowerProfiles::activeProfile() const {
  std::lock_guard lock(mutex_);
  return profile_;
}

void PowerProfiles::learn(std::optional<std::string> profile) {
  {
    std::lock_guard lock(mutex_);
    if (profile_ == profile) return;
    profile_ = profile;
  }
  if (onChange_) onChange_(profile);
}

void PowerProfiles::run() {
  BusConnection bus(options_.busAddress, options_.callTimeoutSeconds);
  Watch watch;
  std::uint64_t subscribed = 0;
  while (!stopping_) {
    std::uint64_t waitUsec = UINT64_MAX;
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {-1, 0, 0}};
    if (!bus.isOpen() && bus.connect()) {
      learn(std::nullopt);
      waitUsec = static_cast<std::uint64_t>(options_.reconnectSeconds * 1e6);
    } else {
      if (subscribed != bus.connections()) {
        // Floating matches: they go with the connection.
        for (const Daemon& d : kDaemons) {
          sd_bus_match_signal(bus.bus(), nullptr, d.service, d.path,
                              "org.freedesktop.DBus.Properties", "PropertiesChanged",
                              onPropertiesChanged, &watch);
          const std::string owner = std::string("type='signal',sender='org.freedesktop.DBus',"
                                                "member='NameOwnerChanged',arg0='") +
                                    d.service + "'";
          sd_bus_add_match(bus.bus(), nullptr, owner.c_str(), onOwnerChanged, &watch);
        }
        subscribed = bus.connections();
        watch.reread = true;
      }
      if (watch.reread) {
        watch.reread = false;
        watch.changed.reset();
        learn(readProfile(bus));
      }
      int r;
      while ((r = sd_bus_process(bus.bus(), nullptr)) > 0) {
      }
      if (watch.changed) learn(std::exchange(watch.changed, std::nullopt));
      if (r < 0 || !bus.isOpen()) {
        bus.disconnect();
        learn(std::nullopt);
        waitUsec = static_cast<std::uint64_t>(options_.reconnectSeconds * 1e6);
      } else if (watch.reread) {
        continue;
      } else {
        fds[1] = {sd_bus_get_fd(bus.bus()), static_cast<short>(sd_bus_get_events(bus.bus())), 0};
        std::uint64_t until = UINT64_MAX;
        if (sd_bus_get_timeout(bus.bus(), &until) >= 0 && until != UINT64_MAX) {
          const std::uint64_t now = monotonicUsec();
          waitUsec = until > now ? until - now : 0;
        }
      }
    }
    const int timeoutMs =
        waitUsec == UINT64_MAX ? -1 : static_cast<int>(std::min<std::uint64_t>(waitUsec / 1000 + 1, INT32_MAX));
    if (::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeoutMs) < 0 && errno != EINTR) break;
  }
}

std::optional<sys::PlatformError> PowerProfiles::setActiveProfile(const std::string& profile,
                                                                  double timeoutSeconds) {
  BusConnection bus(options_.busAddress, timeoutSeconds);
  std::optional<sys::PlatformError> error;
  for (const Daemon& d : kDaemons) {
    BusMessage m, reply;
    error = bus.newCall(m, d.service, d.path, "org.freedesktop.DBus.Properties", "Set");
    if (error) return error;
    // The daemon may ask the user through the desktop's authentication agent.
    sd_bus_message_set_allow_interactive_authorization(m.m, 1);
    const int r = sd_bus_message_append(m.m, "ssv", d.interface, "ActiveProfile", "s",
                                        profile.c_str());
    if (r < 0) return BusConnection::failure(r);
    error = bus.call(m, reply);
    if (!error) {
      learn(profile);
      return std::nullopt;
    }
    if (!isAbsent(*error)) return error;
  }
  return error;
}

}  // namespace ebbwise::linux_host
