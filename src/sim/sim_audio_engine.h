#pragma once

#include "sim/machine_model.h"
#include "sys/audio_engine.h"

namespace ebbwise::sim {

// Audio engines of the monitor's own process. A running engine holds the
// default output open, as any app that plays does: the output path draws its
// power (the speakers', or the headphones'), and the process shows among
// those whose output runs. Its source is rendered once at the start; a
// source that writes anything but zeros plays sound.
class SimAudioEngines final : public sys::AudioEngines {
 public:
  explicit SimAudioEngines(MachineModel& model) : model_(model) {}
  std::unique_ptr<sys::AudioEngine> makeEngine() override;

  static constexpr sys::AudioFormat kOutputFormat{48000, 2};
  static constexpr std::uint32_t kRenderFrames = 512;

 private:
  MachineModel& model_;
};

}  // namespace ebbwise::sim
