#include "sim/sim_audio.h"

#include <algorithm>
#include <cstring>

namespace ebbwise::sim {

namespace {

using sys::fourCharCode;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t b[4];
  std::memcpy(b, &v, 4);  // native order, as Core Audio hands it over
  out.insert(out.end(), b, b + 4);
}

}  // namespace

bool SimAudio::hasProcessObjects() const {
  return model_.scenario().machine.os >= sys::OSVersion{14, 2, 0};
}

std::int32_t SimAudio::value(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                             std::vector<std::uint8_t>& bytes, bool& list) const {
  list = false;
  const std::uint32_t selector = address.selector;
  if (object == sys::kAudioObjectSystemObject) {
    if (selector == fourCharCode("prs#")) {
      if (!hasProcessObjects()) return kUnknownProperty;
      list = true;
      const auto& procs = model_.table().processes;
      for (std::size_t i = 0; i < procs.size(); ++i) {
        if (model_.hasAudioObject(static_cast<int>(i)) && procs[i].aliveAt(model_.time())) {
          put32(bytes, kProcessObjectBase + static_cast<std::uint32_t>(i));
        }
      }
      return 0;
    }
    if (selector == fourCharCode("dOut")) {
      const bool shared = model_.scenario().machine.platform.outputDataSource;
      put32(bytes, model_.output() == AudioOutput::bluetooth               ? kBluetoothOutput
                   : model_.output() == AudioOutput::headphones && !shared ? kHeadphonesOutput
                                                                           : kBuiltInOutput);
      return 0;
    }
    return kUnknownProperty;
  }
  if (std::int32_t status = deviceValue(object, address, bytes, list); status != kBadObject) {
    return status;
  }
  if (object >= kProcessObjectBase && hasProcessObjects()) {
    auto i = static_cast<std::size_t>(object - kProcessObjectBase);
    const auto& procs = model_.table().processes;
    if (i >= procs.size() || !model_.hasAudioObject(static_cast<int>(i)) ||
        !procs[i].aliveAt(model_.time())) {
      return kBadObject;
    }
    if (selector == fourCharCode("piro")) {
      put32(bytes, model_.runningOutput(static_cast<int>(i)) ? 1 : 0);
      return 0;
    }
    if (selector == fourCharCode("ppid")) {
      put32(bytes, static_cast<std::uint32_t>(procs[i].pid));
      return 0;
    }
    return kUnknownProperty;
  }
  return kBadObject;
}

std::int32_t SimAudio::deviceValue(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                   std::vector<std::uint8_t>& bytes, bool& list) const {
  const bool shared = model_.scenario().machine.platform.outputDataSource;
  const bool headphones = model_.output() == AudioOutput::headphones;
  // The headphones' own device exists only while they are plugged in.
  const bool exists = object == kBuiltInOutput || object == kBluetoothOutput ||
                      (object == kHeadphonesOutput && headphones && !shared);
  const bool isStream = object == kBuiltInOutput + kStreamOffset ||
                        (object == kHeadphonesOutput + kStreamOffset && headphones && !shared);
  const std::uint32_t selector = address.selector;
  if (exists) {
    if (selector == fourCharCode("tran")) {
      put32(bytes, object == kBluetoothOutput ? fourCharCode("blue") : fourCharCode("bltn"));
      return 0;
    }
    if (selector == fourCharCode("ssrc") && object == kBuiltInOutput && shared &&
        address.scope == sys::kAudioObjectPropertyScopeOutput) {
      put32(bytes, headphones ? fourCharCode("hdpn") : fourCharCode("ispk"));
      return 0;
    }
    if (selector == fourCharCode("stm#") && object != kBluetoothOutput &&
        address.scope == sys::kAudioObjectPropertyScopeOutput) {
      list = true;
      put32(bytes, object + kStreamOffset);
      return 0;
    }
    return kUnknownProperty;
  }
  if (isStream) {
    if (selector != fourCharCode("term")) return kUnknownProperty;
    const sys::AudioObjectID device = object - kStreamOffset;
    const bool toHeadphones = device == kHeadphonesOutput || (shared && headphones);
    put32(bytes, toHeadphones ? kTerminalHeadphones : kTerminalSpeaker);
    return 0;
  }
  return kBadObject;
}

std::int32_t SimAudio::propertyDataSize(sys::AudioObjectID object,
                                        sys::AudioPropertyAddress address, std::uint32_t& size) {
  auto lock = model_.sync();
  std::vector<std::uint8_t> bytes;
  bool list = false;
  std::int32_t status = value(object, address, bytes, list);
  if (status == 0) size = static_cast<std::uint32_t>(bytes.size());
  return status;
}

std::int32_t SimAudio::propertyData(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                    std::span<std::uint8_t> data, std::uint32_t& size) {
  auto lock = model_.sync();
  std::vector<std::uint8_t> bytes;
  bool list = false;
  std::int32_t status = value(object, address, bytes, list);
  if (status != 0) return status;
  std::size_t n = bytes.size();
  if (data.size() < n) {
    if (!list) return kBadPropertySize;
    n = data.size() / 4 * 4;  // whole items only
  }
  std::copy_n(bytes.begin(), n, data.begin());
  size = static_cast<std::uint32_t>(n);
  return 0;
}

}  // namespace ebbwise::sim
