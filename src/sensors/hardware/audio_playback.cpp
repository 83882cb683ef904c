#include "sensors/hardware/audio_playback.h"

#include <array>
#include <cstring>
#include <vector>

#include "base/time_left.h"

namespace ebbwise::AudioPlayback {

namespace {

// More process objects than this means a garbled size, not a busy machine.
constexpr std::uint32_t kMaxListBytes = 256 * 1024;

// A 32-bit property in the platform's native byte order; nothing on an error
// or an answer shorter than four bytes.
template <typename T>
std::optional<T> read32(sys::AudioSystem& audio, sys::AudioObjectID object,
                        sys::AudioPropertyAddress address) {
  static_assert(sizeof(T) == 4);
  std::array<std::uint8_t, 4> bytes{};
  std::uint32_t size = bytes.size();
  if (audio.propertyData(object, address, bytes, size) != 0 || size < bytes.size()) {
    return std::nullopt;
  }
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::vector<sys::AudioObjectID> processObjects(sys::AudioSystem& audio) {
  const sys::AudioPropertyAddress address{kProcessObjectList};
  std::uint32_t size = 0;
  if (audio.propertyDataSize(sys::kAudioObjectSystemObject, address, size) != 0) return {};
  if (size < sizeof(sys::AudioObjectID) || size > kMaxListBytes) return {};
  std::vector<std::uint8_t> bytes(size);
  if (audio.propertyData(sys::kAudioObjectSystemObject, address, bytes, size) != 0) return {};
  // The list may have shrunk between the two calls; only whole ids count.
  std::vector<sys::AudioObjectID> objects(std::min<std::size_t>(size, bytes.size()) /
                                          sizeof(sys::AudioObjectID));
  if (objects.empty()) return {};
  std::memcpy(objects.data(), bytes.data(), objects.size() * sizeof(sys::AudioObjectID));
  return objects;
}

// The terminal type of the device's first output stream; nothing when the
// device has no readable stream.
std::optional<std::uint32_t> outputTerminal(sys::AudioSystem& audio, sys::AudioObjectID device) {
  const sys::AudioPropertyAddress address{kDeviceStreams, sys::kAudioObjectPropertyScopeOutput};
  // Only the first stream is needed; a longer list is cut to it.
  auto stream = read32<sys::AudioObjectID>(audio, device, address);
  if (!stream) return std::nullopt;
  return read32<std::uint32_t>(audio, *stream, {kStreamTerminalType});
}

bool isHeadphoneTerminal(std::uint32_t terminal) {
  return terminal == kTerminalHeadphones || terminal == kUSBTerminalHeadphones ||
         terminal == kUSBTerminalHeadset;
}

}  // namespace

std::set<std::int32_t> playingPIDs(sys::AudioSystem& audio, sys::Environment& environment) {
  if (environment.osVersion() < sys::OSVersion{14, 2, 0}) return {};
  std::set<std::int32_t> pids;
  for (sys::AudioObjectID process : processObjects(audio)) {
    auto running = read32<std::uint32_t>(audio, process, {kProcessIsRunningOutput});
    if (running != 1u) continue;
    auto pid = read32<std::int32_t>(audio, process, {kProcessPID});
    if (pid && *pid >= 1) pids.insert(*pid);
  }
  return pids;
}

bool outputIsBuiltInSpeakers(sys::AudioSystem& audio) {
  auto device =
      read32<sys::AudioObjectID>(audio, sys::kAudioObjectSystemObject, {kDefaultOutputDevice});
  if (!device) return false;
  if (read32<std::uint32_t>(audio, *device, {kTransportType}) != kTransportBuiltIn) return false;
  auto source =
      read32<std::uint32_t>(audio, *device, {kDataSource, sys::kAudioObjectPropertyScopeOutput});
  if (source) return *source == kInternalSpeaker;
  // Without a data source, headphones in the jack are a built-in device of
  // their own, told from the speakers by the terminal of its output stream.
  // Anything else built in is the speakers.
  auto terminal = outputTerminal(audio, *device);
  return !terminal || !isHeadphoneTerminal(*terminal);
}

std::string describe(std::optional<sys::Date> since, sys::Date now) {
  std::string text = "Keeping the speakers on";
  if (since && now - *since >= 60) text += " for " + TimeLeft::format((now - *since) / 60);
  text += ", even with no sound. This stops your Mac from sleeping by itself";
  return text;
}

}  // namespace ebbwise::AudioPlayback
