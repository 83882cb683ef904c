#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "linux/audio_graph.h"
#include "sys/audio_system.h"
#include "sys/clock.h"
#include "sys/run_loop.h"
#include "sys/tool_runner.h"

namespace ebbwise::linux_host {

// Core Audio's property calls, answered from the sound server: PipeWire's
// object dump (`pw-dump`), else PulseAudio's listings (`pactl`), both run
// through the tool runner. The objects are the platform's:
// - the system object lists a process object for every process with an
//   audio stream ('prs#') and names the default output device ('dOut');
// - a process object has its pid ('ppid') and whether one of its playback
//   streams runs ('piro');
// - the default output device has its transport ('tran': built in for a
//   card on the machine's own buses, USB, Bluetooth, HDMI…), for a built-in
//   card the data source of its active port ('ssrc': internal speakers,
//   headphones, line out) and one output stream ('stm#') whose terminal
//   ('term') is the port's kind.
// The calls never wait for the server: they answer from the last reading,
// and a call on the system object when that reading is older than
// `refreshSeconds` starts a new one on a queue of the provider's own. Until
// the first reading, and when no sound server answers or the last reading is
// older than `staleSeconds`, the system answers that audio is not running;
// a server that did not answer is asked again after `retrySeconds`.
class SoundServerAudio final : public sys::AudioSystem {
 public:
  struct Options {
    std::string pwDump = "/usr/bin/pw-dump";
    std::string pactl = "/usr/bin/pactl";
    double refreshSeconds = 5;
    double staleSeconds = 90;
    // After a reading that no server answered: starting the tools costs more
    // than anything else the monitor does, and a server seldom appears.
    double retrySeconds = 60;
  };

  // Object ids: process objects by pid, one device and one stream per sink.
  static constexpr sys::AudioObjectID kProcessBase = 0x40000000;
  static constexpr sys::AudioObjectID kDefaultDevice = 0x20000001;
  static constexpr sys::AudioObjectID kDefaultStream = 0x30000001;

  // Core Audio's status codes.
  static constexpr std::int32_t kNotRunning = sys::fourCharCode("stop");
  static constexpr std::int32_t kBadObject = sys::fourCharCode("!obj");
  static constexpr std::int32_t kUnknownProperty = sys::fourCharCode("who?");

  SoundServerAudio(sys::ToolRunner& tools, sys::RunLoop& loop, sys::Clock& clock, Options options);
  SoundServerAudio(sys::ToolRunner& tools, sys::RunLoop& loop, sys::Clock& clock)
      : SoundServerAudio(tools, loop, clock, Options{}) {}
  ~SoundServerAudio() override;

  std::int32_t propertyDataSize(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                                std::uint32_t& size) override;
  std::int32_t propertyData(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                            std::span<std::uint8_t> data, std::uint32_t& size) override;

  // Reads the server now, waiting for it; whether a server answered.
  bool refresh();

  // The graph a reading gives: PipeWire's, else PulseAudio's; nothing
  // when neither answers with something readable.
  static std::optional<AudioGraph> readGraph(sys::ToolRunner& tools, const Options& options);

 private:
  struct Reading {
    std::optional<AudioGraph> graph;
    double at = 0;
  };
  // The property's bytes; the status when there are none.
  std::int32_t answer(sys::AudioObjectID object, sys::AudioPropertyAddress address,
                      std::vector<std::uint8_t>& bytes);
  void refreshIfStale();

  sys::ToolRunner& tools_;
  sys::Clock& clock_;
  Options options_;
  std::mutex mutex_;
  std::optional<Reading> reading_;
  bool pending_ = false;
  std::unique_ptr<sys::SerialQueue> queue_;
};

}  // namespace ebbwise::linux_host
