#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "sys/audio_system.h"
#include "sys/environment.h"

namespace ebbwise::test {

// Core Audio's property store: raw bytes per (object, selector, scope), as
// the platform packs them (object lists as uint32 arrays, UInt32 values, pids
// as int32, all in native byte order), or an error status.
class FakeAudioSystem final : public sys::AudioSystem {
 public:
  static constexpr std::int32_t kUnknownProperty = sys::fourCharCode("who?");

  void setBytes(sys::AudioObjectID object, std::uint32_t selector, std::vector<std::uint8_t> bytes,
                std::uint32_t scope = sys::kAudioObjectPropertyScopeGlobal);
  void setUInt32(sys::AudioObjectID object, std::uint32_t selector, std::uint32_t value,
                 std::uint32_t scope = sys::kAudioObjectPropertyScopeGlobal);
  void setInt32(sys::AudioObjectID object, std::uint32_t selector, std::int32_t value);
  void setObjects(sys::AudioObjectID object, std::uint32_t selector,
                  const std::vector<sys::AudioObjectID>& ids);
  void setError(sys::AudioObjectID object, std::uint32_t selector, std::int32_t status,
                std::uint32_t scope = sys::kAudioObjectPropertyScopeGlobal);
  // Makes the size call report `size` regardless of the stored bytes.
  void overrideSize(sys::AudioObjectID object, std::uint32_t selector, std::uint32_t size);

  // A process object that is (or is not) running output, for `pid`.
  void addProcess(sys::AudioObjectID object, std::int32_t pid, bool runningOutput);
  // The default output: a device with a transport type and, when given, a
  // data source in the output scope.
  void setOutput(sys::AudioObjectID device, std::uint32_t transport,
                 std::optional<std::uint32_t> dataSource);

  std::int32_t propertyDataSize(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                std::uint32_t& size) override;
  std::int32_t propertyData(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                            std::span<std::uint8_t> data, std::uint32_t& size) override;

 private:
  using Key = std::tuple<sys::AudioObjectID, std::uint32_t, std::uint32_t>;
  struct Property {
    std::vector<std::uint8_t> bytes;
    std::int32_t status = 0;
    std::optional<std::uint32_t> reportedSize;
  };
  const Property* find(sys::AudioObjectID object, sys::AudioPropertyAddress address) const;

  std::map<Key, Property> properties_;
  std::vector<sys::AudioObjectID> processes_;
};

// An environment that only knows the OS version; everything else is absent.
class OSVersionEnvironment final : public sys::Environment {
 public:
  explicit OSVersionEnvironment(sys::OSVersion version) : version(version) {}
  sys::OSVersion version;

  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return std::nullopt; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view) override { return std::nullopt; }
  sys::OSVersion osVersion() override { return version; }
};

}  // namespace ebbwise::test
