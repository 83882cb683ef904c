#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace ebbwise::sys {

// The stream format of an engine's node.
struct AudioFormat {
  double sampleRate = 0;
  std::uint32_t channels = 0;
  friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// One buffer the audio system hands a source node to fill.
struct AudioBuffer {
  std::uint32_t channels = 0;
  std::uint32_t byteSize = 0;
  void* data = nullptr;
};

// Fills `buffers` with `frameCount` frames; 0 for success. Runs on the audio
// system's real-time thread: it must not lock or allocate.
using AudioRenderBlock =
    std::function<std::int32_t(std::uint32_t frameCount, std::span<AudioBuffer> buffers)>;

// An audio engine: a graph of nodes ending at the default output device.
class AudioEngine {
 public:
  virtual ~AudioEngine() = default;

  // The format of the output node's input bus 0; nothing without an output device.
  virtual std::optional<AudioFormat> outputFormat() = 0;
  // Attaches a source node rendered by `render` and connects it to the main
  // mixer in `format`; false when the engine refuses.
  virtual bool attachSource(AudioFormat format, AudioRenderBlock render) = 0;
  // Starts the engine, and with it the output device; false on failure.
  virtual bool start() = 0;
  // Stops the engine; harmless when it is not running.
  virtual void stop() = 0;
};

class AudioEngines {
 public:
  virtual ~AudioEngines() = default;
  // A fresh engine; null when the platform has no audio engine.
  virtual std::unique_ptr<AudioEngine> makeEngine() = 0;
};

class NoAudioEngines final : public AudioEngines {
 public:
  std::unique_ptr<AudioEngine> makeEngine() override { return nullptr; }
  static NoAudioEngines& instance() {
    static NoAudioEngines none;
    return none;
  }
};

}  // namespace ebbwise::sys
