#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sys/clock.h"

namespace ebbwise {

// One line on a terminal, redrawn in place, that tells how far a long run
// has come: a simulated year takes minutes, and the report comes only at the
// end. Quiet for the first moments, so short runs never flicker; cleared when
// the run ends, so it leaves nothing behind.
class RunProgress {
 public:
  // Draws on `fd`, a terminal; `clock` tells the real time. `verb` says
  // what passes: "simulated" or "watched".
  RunProgress(int fd, const sys::Clock& clock, std::string verb);
  ~RunProgress();
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  // `done` of `total` seconds of the run have passed.
  void update(double done, double total);
  // Takes the line away, if one is shown.
  void clear();

  // The line for `done` of `total` seconds of run, `real` seconds after the
  // start: "simulated 1d4h of 3d · 39 % · 12s, about 19s to go".
  static std::string line(std::string_view verb, double done, double total, double real);

 private:
  double realSeconds() const;

  int fd_;
  const sys::Clock& clock_;
  std::string verb_;
  std::uint64_t startTicks_;
  std::optional<double> drawnAt_;  // real seconds of the last drawing
};

// Lets a run go on to `seconds` into it, in steps of `step`, telling
// `progress` (when there is one) after each and clearing it at the end.
// `runTo(t)` runs until `t` seconds into the run and returns where the run
// stands then: a sleep of the machine may carry it past `t`, and the next step
// starts from there, so that the steps change nothing in what the run does.
void runInSteps(double seconds, double step, RunProgress* progress,
                const std::function<double(double)>& runTo);

}  // namespace ebbwise
