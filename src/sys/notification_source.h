#pragma once

namespace ebbwise::sys {

// A platform notification wired to a run loop: its callback runs on that loop
// each time the platform posts the notification, until this handle is
// destroyed. Destroy it on the loop's own thread.
class NotificationSource {
 public:
  virtual ~NotificationSource() = default;
};

}  // namespace ebbwise::sys
