#pragma once

#include <cstdint>
#include <span>

namespace ebbwise::sys {

using AudioObjectID = std::uint32_t;

// The system audio object.
inline constexpr AudioObjectID kAudioObjectSystemObject = 1;

constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
  return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
         (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

inline constexpr std::uint32_t kAudioObjectPropertyScopeGlobal = fourCharCode("glob");
inline constexpr std::uint32_t kAudioObjectPropertyScopeOutput = fourCharCode("outp");
inline constexpr std::uint32_t kAudioObjectPropertyElementMain = 0;

struct AudioPropertyAddress {
  std::uint32_t selector = 0;
  std::uint32_t scope = kAudioObjectPropertyScopeGlobal;
  std::uint32_t element = kAudioObjectPropertyElementMain;
};

// Core Audio's property calls. Status codes are OSStatus values, 0 on success.
class AudioSystem {
 public:
  virtual ~AudioSystem() = default;

  // AudioObjectGetPropertyDataSize.
  virtual std::int32_t propertyDataSize(AudioObjectID object, AudioPropertyAddress address,
                                        std::uint32_t& size) = 0;

  // AudioObjectGetPropertyData: copies at most `data.size()` bytes and sets
  // `size` to the bytes written.
  virtual std::int32_t propertyData(AudioObjectID object, AudioPropertyAddress address,
                                    std::span<std::uint8_t> data, std::uint32_t& size) = 0;
};

}  // namespace ebbwise::sys
