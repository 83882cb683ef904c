#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ebbwise::linux_host {

// The fields of a process's /proc/PID/status text that the system uses.
struct ProcStatus {
  // The real uid, the first of the four on the "Uid:" line; nothing when the
  // line is missing or garbled.
  static std::optional<std::uint32_t> realUid(std::string_view text);
};

}  // namespace ebbwise::linux_host
