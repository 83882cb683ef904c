#include "sim/sim_audio_engine.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ebbwise::sim {

namespace {

class SimAudioEngine final : public sys::AudioEngine {
 public:
  explicit SimAudioEngine(MachineModel& model) : model_(model) {}
  ~SimAudioEngine() override { stop(); }

  std::optional<sys::AudioFormat> outputFormat() override { return SimAudioEngines::kOutputFormat; }

  bool attachSource(sys::AudioFormat format, sys::AudioRenderBlock render) override {
    if (!render || format.channels == 0 || !(format.sampleRate > 0)) return false;
    render_ = std::move(render);
    format_ = format;
    return true;
  }

  bool start() override {
    if (running_) return true;
    // An engine with nothing connected has no graph to run.
    if (!render_) return false;
    auto lock = model_.sync();
    if (!model_.scenario().machine.platform.audioEngineStarts || !model_.awake()) return false;
    running_ = true;
    model_.setOwnAudio(rendersSound() ? AudioUse::play : AudioUse::hold);
    return true;
  }

  void stop() override {
    if (!running_) return;
    running_ = false;
    auto lock = model_.sync();
    model_.setOwnAudio(AudioUse::none);
  }

 private:
  // One buffer per channel (non-interleaved floats), handed over full of
  // stale bytes as the audio system's are.
  bool rendersSound() {
    const std::uint32_t bytes = SimAudioEngines::kRenderFrames * sizeof(float);
    std::vector<std::vector<std::uint8_t>> storage(format_.channels,
                                                   std::vector<std::uint8_t>(bytes, 0x5A));
    std::vector<sys::AudioBuffer> buffers;
    for (auto& channel : storage) buffers.push_back({1, bytes, channel.data()});
    if (render_(SimAudioEngines::kRenderFrames, buffers) != 0) return false;
    return std::ranges::any_of(storage, [](const auto& channel) {
      return std::ranges::any_of(channel, [](std::uint8_t b) { return b != 0; });
    });
  }

  MachineModel& model_;
  sys::AudioRenderBlock render_;
  sys::AudioFormat format_;
  bool running_ = false;
};

}  // namespace

std::unique_ptr<sys::AudioEngine> SimAudioEngines::makeEngine() {
  return std::make_unique<SimAudioEngine>(model_);
}

}  // namespace ebbwise::sim
