#pragma once

#include <vector>

#include "sim/machine_model.h"
#include "sys/audio_system.h"

namespace ebbwise::sim {

// Core Audio's property calls: the system object's process objects (one per
// live process with an audio client, from macOS 14.2 on) with their
// running-output flag and pid, and the default output device: the built-in
// one (speakers or headphones in the jack, told apart by its output data
// source) or a Bluetooth headset.
class SimAudio final : public sys::AudioSystem {
 public:
  explicit SimAudio(MachineModel& model) : model_(model) {}

  std::int32_t propertyDataSize(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                std::uint32_t& size) override;
  std::int32_t propertyData(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                            std::span<std::uint8_t> data, std::uint32_t& size) override;

  static constexpr sys::AudioObjectID kBuiltInOutput = 60;
  static constexpr sys::AudioObjectID kBluetoothOutput = 72;
  static constexpr sys::AudioObjectID kProcessObjectBase = 0x200;
  static constexpr std::int32_t kUnknownProperty = sys::fourCharCode("who?");
  static constexpr std::int32_t kBadObject = sys::fourCharCode("!obj");
  static constexpr std::int32_t kBadPropertySize = sys::fourCharCode("!siz");

 private:
  // The property's bytes, or an error status; `list` when it is an array of
  // 32-bit items (which a short buffer truncates instead of refusing).
  std::int32_t value(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                     std::vector<std::uint8_t>& bytes, bool& list) const;
  bool hasProcessObjects() const;

  MachineModel& model_;
};

}  // namespace ebbwise::sim
