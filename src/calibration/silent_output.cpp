#include "calibration/silent_output.h"

#include <cstring>

namespace ebbwise {

bool SilentOutput::start() {
  if (!engine_) return false;
  if (!attached_) {
    std::optional<sys::AudioFormat> format = engine_->outputFormat();
    if (!format) return false;
    // Runs on the audio system's real-time thread: it only writes zeros into
    // the buffers it is handed.
    auto silence = [](std::uint32_t, std::span<sys::AudioBuffer> buffers) -> std::int32_t {
      for (sys::AudioBuffer& buffer : buffers) {
        if (buffer.data) std::memset(buffer.data, 0, buffer.byteSize);
      }
      return 0;
    };
    if (!engine_->attachSource(*format, silence)) return false;
    attached_ = true;
  }
  return engine_->start();
}

void SilentOutput::stop() {
  if (engine_) engine_->stop();
}

}  // namespace ebbwise
