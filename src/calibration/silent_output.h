#pragma once

#include <memory>

#include "sys/audio_engine.h"

namespace ebbwise {

// Switches the default output's path on without a sound: an audio engine
// plays an endless stream of zeros, so that the system counts the output as
// in use while nothing can be heard.
class SilentOutput {
 public:
  explicit SilentOutput(sys::AudioEngines& engines) : engine_(engines.makeEngine()) {}
  ~SilentOutput() { stop(); }
  SilentOutput(const SilentOutput&) = delete;
  SilentOutput& operator=(const SilentOutput&) = delete;

  // Connects the silent source to the output in the output's own format and
  // starts the engine; false when any step fails (the cause is not kept).
  bool start();
  // Stops the engine; harmless when it never started.
  void stop();

 private:
  std::unique_ptr<sys::AudioEngine> engine_;
  bool attached_ = false;
};

}  // namespace ebbwise
