#pragma once

#include <functional>
#include <string>

namespace ebbwise::linux_host {

// Where a provider says the few things a user must hear (a settings file
// moved aside, a sensor that needs a permission): one full sentence each.
using Notice = std::function<void(const std::string& message)>;

// Writes each message on its own line to standard error.
Notice standardErrorNotice();

// Passes `message` on, unless there is nobody to tell.
inline void say(const Notice& notice, const std::string& message) {
  if (notice) notice(message);
}

}  // namespace ebbwise::linux_host
