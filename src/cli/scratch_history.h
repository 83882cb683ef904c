#pragma once

#include <optional>
#include <string>

#include "sys/environment.h"

namespace ebbwise {

// The history folder of one simulated run. The simulator keeps its history
// away from the real one, in a folder of its own ("simulator" under
// EBBWISE_DATA_DIR, else under the user's cache folder), and each run in a
// fresh folder inside it that is removed when the run ends. A run holds a
// lock on its folder while it lives, so the folder of a run that never ended
// (killed, crashed) is removed by the next run, and the folder of a run still
// going never is.
class ScratchHistory {
 public:
  // Makes the run's folder; none when the host offers no place for one or
  // it cannot be made.
  explicit ScratchHistory(sys::Environment& host);
  ~ScratchHistory();
  ScratchHistory(const ScratchHistory&) = delete;
  ScratchHistory& operator=(const ScratchHistory&) = delete;

  // The run's folder, to serve as the simulated Mac's data folder.
  const std::optional<std::string>& folder() const { return folder_; }

  // Where the runs' folders live for this host; nothing when it has no place.
  static std::optional<std::string> simulatorFolder(sys::Environment& host);

 private:
  std::optional<std::string> folder_;
  int lock_ = -1;  // the open, locked lock file of the run
};

}  // namespace ebbwise
