#include "linux/desktop_notifications.h"

#include <algorithm>
#include <vector>

#include "linux/notification_bus.h"

namespace ebbwise::linux_host {

namespace {

// The service reads bodies as markup when it says so; the monitor's texts
// are plain, so their markup characters are spelt out.
std::string escapeMarkup(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

struct DesktopNotifications::Worker {
  struct Shown {
    sys::DeliveredNotification delivered;
    std::uint32_t serverId = 0;
    std::uint64_t connection = 0;  // the connection it was shown through
  };

  Worker(sys::Clock& clock, const Options& options)
      : clock(clock),
        bus(options.busAddress, options.callTimeoutSeconds),
        appName(options.appName),
        desktopEntry(options.desktopEntry) {}

  // Forgets what the server closed, and everything shown through an earlier
  // connection (its server may have gone, and its ids with it).
  void refresh() {
    const auto closed = bus.takeClosed();
    std::erase_if(shown, [&](const Shown& s) {
      return s.connection != bus.connections() ||
             std::find(closed.begin(), closed.end(), s.serverId) != closed.end();
    });
  }

  std::optional<sys::PlatformError> post(const sys::NotificationRequest& request) {
    refresh();
    if (!capabilities || capabilitiesConnection != bus.connections()) {
      std::vector<std::string> list;
      if (auto e = bus.capabilities(list)) return e;
      capabilities = std::move(list);
      capabilitiesConnection = bus.connections();
      refresh();  // connecting may have been this call's doing
    }
    auto has = [&](const char* capability) {
      return std::find(capabilities->begin(), capabilities->end(), capability) !=
             capabilities->end();
    };
    NotifyCall call;
    call.appName = appName;
    call.desktopEntry = desktopEntry;
    call.summary = request.content.title;
    call.body = has("body-markup") ? escapeMarkup(request.content.body) : request.content.body;
    if (request.content.defaultSound && has("sound")) call.soundName = kDefaultSound;
    auto earlier = std::find_if(shown.begin(), shown.end(), [&](const Shown& s) {
      return s.delivered.request.identifier == request.identifier;
    });
    if (earlier != shown.end()) call.replacesId = earlier->serverId;
    std::uint32_t id = 0;
    if (auto e = bus.notify(call, id)) return e;
    if (earlier != shown.end()) shown.erase(earlier);
    shown.push_back({{request, clock.now()}, id, bus.connections()});
    return std::nullopt;
  }

  sys::Clock& clock;
  NotificationBus bus;
  std::string appName, desktopEntry;
  std::optional<std::vector<std::string>> capabilities;
  std::uint64_t capabilitiesConnection = 0;
  std::vector<Shown> shown;  // oldest first
};

DesktopNotifications::DesktopNotifications(sys::RunLoop& loop, sys::Clock& clock, Options options)
    : loop_(loop),
      status_(std::make_shared<Status>()),
      worker_(std::make_shared<Worker>(clock, options)),
      queue_(loop.makeSerialQueue("ebbwise.notifications")) {}

DesktopNotifications::~DesktopNotifications() {
  queue_.reset();  // waits for the call in progress; drops the rest
}

void DesktopNotifications::requestAuthorization(std::uint32_t,
                                                sys::AuthorizationHandler completion) {
  queue_->async(
      [worker = worker_, status = status_, &loop = loop_, c = std::move(completion)]() mutable {
        NotificationServer server;
        auto error = worker->bus.serverInformation(server);
        loop.post([status, error, c = std::move(c)] {
          status->value =
              error ? sys::AuthorizationStatus::denied : sys::AuthorizationStatus::authorized;
          if (c) c(!error, error);
        });
      });
}

void DesktopNotifications::authorizationStatus(
    std::function<void(sys::AuthorizationStatus)> completion) {
  if (!completion) return;
  loop_.post([status = status_, c = std::move(completion)] { c(status->value); });
}

void DesktopNotifications::add(sys::NotificationRequest request, sys::AddHandler completion) {
  queue_->async([worker = worker_, &loop = loop_, request = std::move(request),
                 c = std::move(completion)]() mutable {
    auto error = worker->post(request);
    if (c) loop.post([error, c = std::move(c)] { c(error); });
  });
}

void DesktopNotifications::deliveredNotifications(sys::DeliveredHandler completion) {
  queue_->async([worker = worker_, &loop = loop_, c = std::move(completion)]() mutable {
    worker->refresh();
    std::vector<sys::DeliveredNotification> list;
    for (const auto& s : worker->shown) list.push_back(s.delivered);
    if (c) loop.post([list = std::move(list), c = std::move(c)] { c(list); });
  });
}

void DesktopNotifications::removeDelivered(std::vector<std::string> identifiers) {
  queue_->async([worker = worker_, identifiers = std::move(identifiers)] {
    worker->refresh();
    std::erase_if(worker->shown, [&](const Worker::Shown& s) {
      if (std::find(identifiers.begin(), identifiers.end(), s.delivered.request.identifier) ==
          identifiers.end()) {
        return false;
      }
      worker->bus.close(s.serverId);
      return true;
    });
  });
}

}  // namespace ebbwise::linux_host
