#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "sys/smc_user_client.h"

namespace ebbwise {

// An SMC key's four characters packed big-end first ("PSTR" → 0x50535452).
constexpr std::uint32_t smcKeyCode(std::string_view key) {
  std::uint32_t code = 0;
  for (char c : key) code = (code << 8) | static_cast<std::uint8_t>(c);
  return code;
}

// A minimal client of the System Management Controller: reads floating-point
// keys by their four-letter names over one open user-client connection.
// Not synchronised: use one SMC from one thread at a time.
class SMC {
 public:
  // A key's description as the controller reports it.
  struct KeyInfo {
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    std::uint8_t attributes = 0;
    friend bool operator==(const KeyInfo&, const KeyInfo&) = default;
  };

  // The record exchanged with the user client in both directions. Serialised
  // field by field so its 80-byte little-endian layout never depends on the
  // compiler's struct layout or the host's byte order.
  struct Request {
    static constexpr std::size_t kSize = 80;
    using Bytes = std::array<std::uint8_t, kSize>;

    struct Version {
      std::uint8_t major = 0, minor = 0, build = 0, reserved = 0;
      std::uint16_t release = 0;
      friend bool operator==(const Version&, const Version&) = default;
    };
    struct PowerLimits {
      std::uint16_t version = 0, length = 0;
      std::uint32_t cpu = 0, gpu = 0, mem = 0;
      friend bool operator==(const PowerLimits&, const PowerLimits&) = default;
    };

    std::uint32_t key = 0;
    Version version;
    PowerLimits limits;
    KeyInfo info;
    std::uint8_t result = 0;
    std::uint8_t status = 0;
    std::uint8_t command = 0;
    std::uint32_t data32 = 0;
    std::array<std::uint8_t, 32> bytes{};  // the value, as four 64-bit words

    Bytes encode() const;
    static Request decode(std::span<const std::uint8_t, kSize> raw);

    friend bool operator==(const Request&, const Request&) = default;
  };

  static constexpr std::uint32_t kSelector = 2;  // the user client's struct method
  static constexpr std::uint8_t kReadKeyInfo = 9;
  static constexpr std::uint8_t kReadKey = 5;

  static constexpr std::uint32_t kFloatType = smcKeyCode("flt ");

  // Opens a connection; nothing when the service is missing or refuses.
  static std::unique_ptr<SMC> open(sys::SMCUserClient& client);

  ~SMC();
  SMC(const SMC&) = delete;
  SMC& operator=(const SMC&) = delete;

  // A 4-byte "flt " key's value widened to double; nothing when the key is
  // unknown, of another type or size, unreadable, or not a finite number.
  std::optional<double> readFloat(std::string_view key);

 private:
  // One round trip; the answer only when the call and the controller succeed.
  std::optional<Request> call(const Request& request);

  SMC(sys::SMCUserClient& client, sys::SMCConnection connection)
      : client_(client), connection_(connection) {}

  std::optional<KeyInfo> keyInfo(std::uint32_t code);

  sys::SMCUserClient& client_;
  sys::SMCConnection connection_;
  // Descriptions never change while the machine runs, so they are fetched once.
  std::unordered_map<std::uint32_t, KeyInfo> infoCache_;
};

}  // namespace ebbwise
