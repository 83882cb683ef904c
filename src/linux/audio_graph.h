#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ebbwise::linux_host {

// What the sound server says about who plays and where the sound goes: the
// audio streams with the process behind each, and the default output
// device. Read from PipeWire's object dump (`pw-dump`) or, without PipeWire,
// from PulseAudio's JSON listings (`pactl --format=json`).
struct AudioGraph {
  enum class Transport { unknown, builtIn, usb, bluetooth, hdmi, displayPort, virtualDevice };
  enum class Port { unknown, speaker, headphones, headset, line, hdmi, displayPort, spdif };

  struct Stream {
    std::int32_t pid = 0;
    bool output = true;    // playback, else recording
    bool running = false;  // data flowing now, not paused or idle
    friend bool operator==(const Stream&, const Stream&) = default;
  };
  struct Output {
    std::string name;
    Transport transport = Transport::unknown;
    Port port = Port::unknown;  // the active output port (route)
    friend bool operator==(const Output&, const Output&) = default;
  };

  std::vector<Stream> streams;  // only streams whose process is known
  std::optional<Output> defaultOutput;

  // Nothing for text that is not a dump (not JSON, not a list of objects);
  // objects and fields that are missing or of the wrong type are skipped.
  static std::optional<AudioGraph> fromPipeWireDump(std::string_view json);
  // `pactl --format=json list sink-inputs`, `… list sinks` and `… info`.
  static std::optional<AudioGraph> fromPulseAudio(std::string_view sinkInputs,
                                                  std::string_view sinks, std::string_view info);

  // A port by its name and the kind the server gives it ("analog-output-
  // headphones", "[Out] Speaker", "hdmi-output-0").
  static Port portNamed(std::string_view name, std::string_view type = {});
  // A device's transport by its bus and driver ("pci" and "alsa": built in).
  static Transport transportOf(std::string_view bus, std::string_view api,
                               std::string_view formFactor);
};

}  // namespace ebbwise::linux_host
