#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace ebbwise::sys {

// A connection to the "AppleSMC" kernel service's user client.
using SMCConnection = std::uint32_t;

// The three user-client calls the SMC needs.
class SMCUserClient {
 public:
  virtual ~SMCUserClient() = default;

  // Finds the "AppleSMC" service and opens a connection of type 0 for this
  // task; nothing when there is no such service or the open is refused.
  virtual std::optional<SMCConnection> open() = 0;

  // IOConnectCallStructMethod: sends `input` to `selector` and receives at most
  // `output.size()` bytes into `output`. Answers the kernel return code, 0 on
  // success.
  virtual int callStructMethod(SMCConnection connection, std::uint32_t selector,
                               std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output) = 0;

  // IOServiceClose.
  virtual void close(SMCConnection connection) = 0;
};

}  // namespace ebbwise::sys
