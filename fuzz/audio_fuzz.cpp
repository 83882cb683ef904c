// Core Audio's answers about process objects and the default output. Each
// property call takes its answer from the input: a status byte (odd: the
// call fails), the size the size call claims, and the bytes the data call
// returns, so a list can shrink or grow between the two calls.

#include <cstdint>

#include "fuzz_input.h"
#include "sensors/hardware/audio_playback.h"
#include "sys/audio_system.h"
#include "sys/environment.h"

using namespace ebbwise;

namespace {

class ScriptedAudio final : public sys::AudioSystem {
 public:
  explicit ScriptedAudio(fuzz::FuzzInput& input) : input_(input) {}
  std::int32_t propertyDataSize(sys::AudioObjectID, sys::AudioPropertyAddress,
                                std::uint32_t& size) override {
    if (input_.take<std::uint8_t>() % 2) return 1852797029;  // kAudioHardwareUnknownPropertyError
    size = input_.take<std::uint32_t>();
    return 0;
  }
  std::int32_t propertyData(sys::AudioObjectID, sys::AudioPropertyAddress,
                            std::span<std::uint8_t> data, std::uint32_t& size) override {
    FUZZ_CHECK(size <= data.size());
    if (input_.take<std::uint8_t>() % 2) return 1852797029;
    auto bytes = input_.bytes(std::min<std::size_t>(input_.take<std::uint16_t>(), data.size()));
    std::copy(bytes.begin(), bytes.end(), data.begin());
    size = static_cast<std::uint32_t>(bytes.size());
    return 0;
  }

 private:
  fuzz::FuzzInput& input_;
};

class Sonoma final : public sys::Environment {
 public:
  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return std::nullopt; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view) override { return std::nullopt; }
  sys::OSVersion osVersion() override { return {14, 2, 0}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  ScriptedAudio audio(input);
  Sonoma environment;
  for (std::int32_t pid : AudioPlayback::playingPIDs(audio, environment)) FUZZ_CHECK(pid >= 1);
  AudioPlayback::outputIsBuiltInSpeakers(audio);
  return 0;
}
