#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sys/smc_user_client.h"

namespace ebbwise::test {

// An AppleSMC user client that answers like a Mac: the 80-byte record is
// decoded and encoded at fixed offsets (independently of the client under
// test), unknown keys answer with a non-zero result byte while the call
// itself succeeds, and malformed calls fail with a kernel error.
class FakeSMC final : public sys::SMCUserClient {
 public:
  static constexpr int kBadArgument = static_cast<int>(0xE00002C2);
  static constexpr int kBusy = static_cast<int>(0xE00002D5);
  static constexpr std::uint8_t kKeyNotFound = 0x84;

  // A key of `type` whose value is `bytes` (at most 32); its size is their count.
  void setKey(const std::string& key, std::uint32_t type, std::vector<std::uint8_t> bytes) {
    keys_[key] = {type, std::move(bytes)};
  }
  // A "flt " key of size 4 holding `value` little-endian.
  void setFloat(const std::string& key, float value);
  void removeKey(const std::string& key) { keys_.erase(key); }

  // Hooks for failures.
  bool serviceMissing = false;
  std::set<std::string> kernelErrorKeys;  // calls about these keys fail in the kernel
  std::map<std::string, std::uint8_t> resultByteForKey;  // non-zero result for these keys
  int busyCalls = 0;  // this many calls from now on fail in the kernel, then all is well

  // What happened.
  std::vector<std::vector<std::uint8_t>> inputs;  // every record received
  std::set<sys::SMCConnection> openConnections;

  std::optional<sys::SMCConnection> open() override;
  int callStructMethod(sys::SMCConnection connection, std::uint32_t selector,
                       std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
  void close(sys::SMCConnection connection) override { openConnections.erase(connection); }

 private:
  struct Key {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
  };
  std::map<std::string, Key> keys_;
  sys::SMCConnection next_ = 0x1234;
};

}  // namespace ebbwise::test
