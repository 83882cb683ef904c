#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "sys/audio_system.h"

namespace ebbwise::test {

// Core Audio's property store: raw bytes per (object, selector, scope), as
// the platform packs them (object lists as uint32 arrays, UInt32 values, pids
// as int32, all in native byte order), or an error status.
class FakeAudioSystem final : public sys::AudioSystem {
 public:
  static constexpr std::int32_t kUnknownProperty = sys::fourCharCode("who?");

  struct Property {
    std::vector<std::uint8_t> bytes;
    std::int32_t status = 0;                    // non-zero: both calls fail with it
    std::optional<std::uint32_t> reportedSize;  // the size call's answer instead of the byte count
  };
  // The stored property, made empty when it is new.
  Property& property(sys::AudioObjectID object, std::uint32_t selector,
                     std::uint32_t scope = sys::kAudioObjectPropertyScopeGlobal) {
    return properties_[{object, selector, scope}];
  }
  void setUInt32(sys::AudioObjectID object, std::uint32_t selector, std::uint32_t value,
                 std::uint32_t scope = sys::kAudioObjectPropertyScopeGlobal);

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
  const Property* find(sys::AudioObjectID object, sys::AudioPropertyAddress address) const;

  std::map<std::tuple<sys::AudioObjectID, std::uint32_t, std::uint32_t>, Property> properties_;
  std::vector<sys::AudioObjectID> processes_;
};

}  // namespace ebbwise::test
