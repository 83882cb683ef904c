#pragma once

#include <vector>

#include "sim/machine_model.h"
#include "sys/audio_system.h"

namespace ebbwise::sim {

// Core Audio's property calls: the system object's process objects (one per
// live process with an audio client, from macOS 14.2 on) with their
// running-output flag and pid, and the default output device: the built-in
// speakers, headphones in the jack, or a Bluetooth headset. Headphones are a
// built-in device of their own ("External Headphones"), told from the
// speakers only by the terminal type of their output stream; on Macs whose
// scenario gives the output a data source, speakers and headphones share one
// device whose data source tells them apart.
class SimAudio final : public sys::AudioSystem {
 public:
  explicit SimAudio(MachineModel& model) : model_(model) {}

  std::int32_t propertyDataSize(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                std::uint32_t& size) override;
  std::int32_t propertyData(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                            std::span<std::uint8_t> data, std::uint32_t& size) override;

  static constexpr sys::AudioObjectID kBuiltInOutput = 60;
  static constexpr sys::AudioObjectID kHeadphonesOutput = 66;
  static constexpr sys::AudioObjectID kBluetoothOutput = 72;
  static constexpr sys::AudioObjectID kStreamOffset = 1;  // a device's output stream: id + 1
  // Output terminal types as built-in devices publish them: the Core Audio
  // code for speakers, the USB audio class number for headphones.
  static constexpr std::uint32_t kTerminalSpeaker = sys::fourCharCode("spkr");
  static constexpr std::uint32_t kTerminalHeadphones = 0x0302;
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
  std::int32_t deviceValue(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                           std::vector<std::uint8_t>& bytes, bool& list) const;

  MachineModel& model_;
};

}  // namespace ebbwise::sim
