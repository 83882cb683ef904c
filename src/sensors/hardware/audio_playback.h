#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "sys/audio_system.h"
#include "sys/date.h"
#include "sys/environment.h"

namespace ebbwise {

// Which processes keep the audio output running, and where the sound goes.
namespace AudioPlayback {

inline constexpr std::uint32_t kProcessObjectList = sys::fourCharCode("prs#");
inline constexpr std::uint32_t kProcessIsRunningOutput = sys::fourCharCode("piro");
inline constexpr std::uint32_t kProcessPID = sys::fourCharCode("ppid");
inline constexpr std::uint32_t kDefaultOutputDevice = sys::fourCharCode("dOut");
inline constexpr std::uint32_t kTransportType = sys::fourCharCode("tran");
inline constexpr std::uint32_t kTransportBuiltIn = sys::fourCharCode("bltn");
inline constexpr std::uint32_t kDataSource = sys::fourCharCode("ssrc");
inline constexpr std::uint32_t kInternalSpeaker = sys::fourCharCode("ispk");
inline constexpr std::uint32_t kDeviceStreams = sys::fourCharCode("stm#");
inline constexpr std::uint32_t kStreamTerminalType = sys::fourCharCode("term");
// Headphone terminals, as Core Audio spells them and as the USB audio class
// numbers them (headphones, headset).
inline constexpr std::uint32_t kTerminalHeadphones = sys::fourCharCode("hdph");
inline constexpr std::uint32_t kUSBTerminalHeadphones = 0x0302;
inline constexpr std::uint32_t kUSBTerminalHeadset = 0x0402;

// Pids of the processes whose audio output is running; empty before macOS
// 14.2 (which lacks the per-process properties) or when the list is unreadable.
std::set<std::int32_t> playingPIDs(sys::AudioSystem& audio, sys::Environment& environment);

// Whether the default output is the built-in speakers (not headphones in the
// built-in jack, not an external device).
bool outputIsBuiltInSpeakers(sys::AudioSystem& audio);

// The caption of an app that holds the audio output open since `since`.
std::string describe(std::optional<sys::Date> since, sys::Date now);

}  // namespace AudioPlayback

}  // namespace ebbwise
